#include "backup/identity_list.h"
#include "cli/commands.h"

namespace quillet::cli {
namespace {

int RunIdentities(CliContext& context, std::ostream& out, std::ostream& err) {
    system::WindowsSystem* system = context.system(err);
    if (system == nullptr) return kExitNothingDone;
    const std::vector<Identity> identities = ListIdentities(system->modReg());
    if (identities.empty()) {
        err << "quillet-cli: Your Windows System have not install Outlook Express \n";
    }
    for (const Identity& identity : identities) {
        out << identity.key << '\t' << identity.userName << '\n';
    }
    return kExitOk;
}

}  // namespace

void AddIdentitiesCommand(CLI::App& app, CommandRun& run) {
    CLI::App* command = app.add_subcommand(
        "identities", "List the Outlook Express identities: key TAB user name, one per line");
    command->callback([&run] { run.exitCode = RunIdentities(run.context, run.out, run.err); });
}

}  // namespace quillet::cli
