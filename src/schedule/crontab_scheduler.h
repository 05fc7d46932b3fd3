#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "schedule/cron_line.h"
#include "schedule/scheduler.h"
#include "schedule/system_time_zone.h"

namespace quillet {

// The scheduler of a Linux desktop: the user's crontab, read and written only through the
// `crontab` command. Each job is one line (see cron_line.h); every other line of the crontab is
// kept byte for byte. Every change (an add, a remove, a run-once job removing itself) holds the
// user's crontab lock (an flock on `lockFile`) from its first read to its write, so that Quillet
// processes change the crontab one at a time. Before writing, the crontab is read again; when it
// changed since it was read (by another program), nothing is written and the operation fails
// (kInUse).
class CrontabScheduler : public Scheduler {
  public:
    struct Options {
        std::string crontabProgram = "crontab";  // a name looked up on PATH, or a path
        // The Wine prefix the jobs added by this scheduler back up, named in each line; nullopt for
        // a scheduler that only lists and removes jobs (addJob refuses).
        std::optional<std::string> winePrefix;
        // The system's clock; a run-once job is dated with the next occurrence of its time.
        std::function<std::chrono::system_clock::time_point()> clock;
        // The zone file of the system's time zone, in which cron runs jobs and dates are made.
        std::filesystem::path zoneFile = kSystemZoneFile;
        // The Quillet state folder (see state_folder.h); empty: the one of this process's
        // environment. Jobs' last runs are read from its run log.
        std::filesystem::path stateFolder;
        // The file whose lock every Quillet process of this user takes to change the crontab;
        // empty: CrontabLockFile(stateFolder).
        std::filesystem::path lockFile;
    };

    explicit CrontabScheduler(Options options);

    Result<int> addJob(const JobRecord& record) override;
    Result<std::vector<ScheduledJob>> listJobs() override;
    Status removeJob(int number) override;
    Status removeListedJob(const ScheduledJob& listed) override;
    std::string timeZoneName() override;

  private:
    // Removes, under the crontab lock, every job line whose mark `matches`; fails (kNotFound,
    // with `missing`) when there is none.
    Status removeLines(const std::function<bool(const CronLineMark&)>& matches,
                       const std::string& missing);
    Result<std::string> readCrontab();
    Status writeCrontab(const std::string& readBefore, const std::string& text);

    Options m_options;
};

}  // namespace quillet
