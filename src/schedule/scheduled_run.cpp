#include "schedule/scheduled_run.h"

#include <algorithm>
#include <charconv>
#include <iostream>
#include <string>

#include "backup/exit_status.h"
#include "backup/run_environment.h"
#include "platform/message_service.h"
#include "schedule/cron_line.h"
#include "schedule/crontab_scheduler.h"
#include "schedule/job_command_line.h"
#include "schedule/job_program.h"
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

int Fail(const std::string& reason) {
    std::cerr << "quillet: " << reason << '\n';
    return kExitNothingDone;
}

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

int RunBackup(const ScheduledSystem& where, const std::string& commandLine,
              const Environment& env) {
    auto job = ParseJobCommandLine(commandLine);
    if (!job) return Fail(job.reason() + "; nothing was done");
    StderrMessages messages;
    auto system = OpenSystem(where, env, messages);
    if (!system) return Fail(system.reason() + "; nothing was done");
    auto run = RunEnvironment::Create(**system, env);
    if (!run) return Fail(run.reason());

    const UnattendedResult result = RunUnattendedBackup((*run)->context(), *job, BackupTimeText());
    for (const std::string& failure : result.failures) std::cerr << "quillet: " << failure << '\n';
    return result.exitCode;
}

// A job that runs once removes its own line from the crontab after its run, whatever the run's
// result, so that it does not run again next year.
int RemoveRunOnceJob(const Environment& env, int exitCode) {
    const std::optional<std::string> number = env.get(kRunOnceVariable);
    if (!number) return exitCode;
    CrontabScheduler scheduler({.crontabProgram = "crontab",
                                .winePrefix = {},
                                .now = LocalTimeNow,
                                .lockFile = CrontabLockFile()});
    // The job's token, or the number of a job an earlier version registered (and no token).
    ScheduledJob self;
    const auto [end, error] =
        std::from_chars(number->data(), number->data() + number->size(), self.number);
    if (IsJobToken(*number)) {
        self.token = *number;
    } else if (error != std::errc() || end != number->data() + number->size() || self.number <= 0) {
        std::cerr << "quillet: " << kRunOnceVariable << " names no job: " << *number << '\n';
        return std::max(exitCode, 1);
    }
    if (Status removed = scheduler.removeListedJob(self); !removed) {
        std::cerr << "quillet: the job that ran once could not remove itself from the crontab: "
                  << removed.reason() << '\n';
        return std::max(exitCode, 1);
    }
    return exitCode;
}

}  // namespace

int RunScheduledBackup(const ScheduledSystem& where, const std::string& commandLine) {
    const Environment env = Environment::Process();
    return RemoveRunOnceJob(env, RunBackup(where, commandLine, env));
}

}  // namespace quillet
