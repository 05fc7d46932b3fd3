#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"
#include "schedule/job_command_line.h"
#include "schedule/job_record.h"
#include "schedule/run_log.h"

namespace quillet {

// One of Quillet's scheduled jobs as the scheduler holds it.
struct ScheduledJob {
    int number = 0;  // the number the user sees; a removed job's number is given to the next
    // The job's identity, never given to another job; empty for a job that an earlier version
    // registered.
    std::string token;
    TimeOfDay startTime;
    std::uint8_t daysOfWeek = 0;  // 0: the job runs once, at the next occurrence of its time
    std::string program;
    JobCommandLine job;
    std::optional<std::string> winePrefix;  // the prefix the job backs up, when not the default
    // The XDG_STATE_HOME of the job's run (its run log and the crontab lock are in its "quillet"
    // folder): the registering program's, so that both use the same files whatever the crontab
    // or cron's environment says; nullopt for a job of an earlier version.
    std::optional<std::string> stateHome;
    std::optional<RunRecord> lastRun;  // the job's last run; nullopt when it has not run yet

    bool runsOnce() const { return daysOfWeek == 0; }
};

// The system's job scheduler: where Quillet registers, lists and removes its backup jobs. Jobs
// that are not Quillet's are never touched. Not thread-safe; processes may use it at once: their
// changes are made one at a time (a change made by another program between reading and writing
// makes an add or remove fail, changing nothing).
class Scheduler {
  public:
    virtual ~Scheduler() = default;

    // Registers `record` as a new job and returns its number (the lowest positive number no job
    // of Quillet's uses). A record whose DaysOfWeek is 0 runs once, at the next occurrence of its
    // start time, and then removes itself. On failure nothing is registered.
    virtual Result<int> addJob(const JobRecord& record) = 0;

    // Quillet's jobs, by number, each with its last run.
    virtual Result<std::vector<ScheduledJob>> listJobs() = 0;

    // Removes job `number`; fails (kNotFound) when there is none of that number.
    virtual Status removeJob(int number) = 0;

    // Removes the job `listed` was listed as: the one of its token, or for a job without one (an
    // earlier version's), the one of its number that has no token either. Fails (kNotFound,
    // saying the job is gone) when that job is no longer there, whatever job has its number now.
    virtual Status removeListedJob(const ScheduledJob& listed) = 0;

    // The name of the time zone the jobs' start times are in (see LocalTimeNote).
    virtual std::string timeZoneName() = 0;
};

}  // namespace quillet
