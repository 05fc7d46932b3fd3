#include "schedule/scheduled_run.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "backup/exit_status.h"
#include "backup/run_environment.h"
#include "platform/message_service.h"
#include "schedule/cron_line.h"
#include "schedule/crontab_scheduler.h"
#include "schedule/job_command_line.h"
#include "schedule/job_program.h"
#include "schedule/run_log.h"
#include "schedule/state_folder.h"
#include "schedule/system_time_zone.h"
#include "schedule/unattended_backup.h"
#include "system/windows_disk_system.h"
#include "system/wine_system.h"

namespace quillet {
namespace {

// Nobody is there to read a message box: each message becomes a line on stderr.
class StderrMessages : public MessageService {
  public:
    MessageAnswer showMessage(const std::string& text, MessageIcon, MessageButtons) override {
        std::cerr << "quillet: " << text << '\n';
        return MessageAnswer::Cancel;
    }
};

// What a run ended with: its exit status and its failures, one line each.
struct RunOutcome {
    int exitCode = kExitOk;
    std::vector<std::string> failures;
};

RunOutcome Fail(const std::string& reason) { return {kExitNothingDone, {reason}}; }

// The disk when one is named, never another system in its place.
Result<std::unique_ptr<system::WindowsSystem>> OpenSystem(const ScheduledSystem& where,
                                                          const Environment& env,
                                                          MessageService& messages) {
    if (where.windowsRoot) {
        auto disk = system::WindowsDiskSystem::Open(*where.windowsRoot, where.user, messages);
        if (!disk) return disk.status();
        return std::unique_ptr<system::WindowsSystem>(std::move(*disk));
    }
    auto prefix = system::WineSystem::Open(where.prefix, env, messages);
    if (!prefix) return prefix.status();
    return std::unique_ptr<system::WindowsSystem>(std::move(*prefix));
}

RunOutcome RunBackup(const ScheduledSystem& where, const std::string& commandLine,
                     const Environment& env) {
    auto job = ParseJobCommandLine(commandLine);
    if (!job) return Fail(job.reason() + "; nothing was done");
    StderrMessages messages;
    auto system = OpenSystem(where, env, messages);
    if (!system) return Fail(system.reason() + "; nothing was done");
    auto run = RunEnvironment::Create(**system, env);
    if (!run) return Fail(run.reason());

    UnattendedResult result = RunUnattendedBackup((*run)->context(), *job, BackupTimeText());
    return {result.exitCode, std::move(result.failures)};
}

// A job that runs once removes its own line from the crontab after its run, whatever the run's
// result, so that it does not run again next year.
void RemoveRunOnceJob(const Environment& env, const std::filesystem::path& stateFolder,
                      RunOutcome& outcome) {
    const std::optional<std::string> number = env.get(kRunOnceVariable);
    if (!number) return;
    CrontabScheduler scheduler({.crontabProgram = "crontab",
                                .winePrefix = {},
                                .clock = {},
                                .zoneFile = kSystemZoneFile,
                                .stateFolder = stateFolder,
                                .lockFile = {}});
    // The job's token, or the number of a job an earlier version registered (and no token).
    ScheduledJob self;
    const auto [end, error] =
        std::from_chars(number->data(), number->data() + number->size(), self.number);
    if (IsJobToken(*number)) {
        self.token = *number;
    } else if (error != std::errc() || end != number->data() + number->size() || self.number <= 0) {
        outcome.failures.push_back(std::string(kRunOnceVariable) + " names no job: " + *number);
        outcome.exitCode = std::max(outcome.exitCode, 1);
        return;
    }
    if (Status removed = scheduler.removeListedJob(self); !removed) {
        outcome.failures.push_back(
            "the job that ran once could not remove itself from the crontab: " + removed.reason());
        outcome.exitCode = std::max(outcome.exitCode, 1);
    }
}

// Records the run in the run log, where the job lists show it: a run that fails from cron is
// otherwise seen by nobody. A job of an earlier version names no token; its run is recorded
// without one.
void RecordRun(const Environment& env, const std::filesystem::path& stateFolder,
               const RunOutcome& outcome) {
    RunRecord record;
    record.time =
        SystemTimeZone::Load().format("%Y-%m-%dT%H:%M:%S%Ez", std::chrono::system_clock::now());
    record.token = env.get(kTokenVariable).value_or("");
    if (const auto once = env.get(kRunOnceVariable);
        record.token.empty() && once && IsJobToken(*once)) {
        record.token = *once;
    }
    record.exitCode = outcome.exitCode;
    for (const std::string& failure : outcome.failures) {
        record.reason += (record.reason.empty() ? "" : "; ") + failure;
    }
    const std::filesystem::path log = stateFolder / kRunLogName;
    if (Status recorded = AppendRunRecord(log, record); !recorded) {
        std::cerr << "quillet: the run was not recorded in " << log.string() << ": "
                  << recorded.reason() << '\n';
    }
}

}  // namespace

int RunScheduledBackup(const ScheduledSystem& where, const std::string& commandLine,
                       const Environment& env) {
    const std::filesystem::path stateFolder = QuilletStateFolder(env);
    RunOutcome outcome = RunBackup(where, commandLine, env);
    RemoveRunOnceJob(env, stateFolder, outcome);
    for (const std::string& failure : outcome.failures) std::cerr << "quillet: " << failure << '\n';
    RecordRun(env, stateFolder, outcome);
    return outcome.exitCode;
}

}  // namespace quillet
