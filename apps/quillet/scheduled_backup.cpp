#include "scheduled_backup.h"

#include <iostream>

#include "backup/exit_status.h"
#include "backup/job_command_line.h"
#include "backup/run_environment.h"
#include "backup/unattended_backup.h"
#include "platform/message_service.h"
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

}  // namespace

int RunScheduledBackup(const std::optional<std::string>& prefix, const std::string& commandLine) {
    auto job = ParseJobCommandLine(commandLine);
    if (!job) return Fail(job.reason() + "; nothing was done");
    const Environment env = Environment::Process();
    auto system = WineSystem::Open(prefix, env);
    if (!system) return Fail(system.reason());
    StderrMessages messages;
    auto run = RunEnvironment::Create(**system, messages, env);
    if (!run) return Fail(run.reason());

    const UnattendedResult result = RunUnattendedBackup((*run)->context(), *job, BackupTimeText());
    for (const std::string& failure : result.failures) std::cerr << "quillet: " << failure << '\n';
    return result.exitCode;
}

}  // namespace quillet
