#include "backup/identity_list.h"
#include "cli/commands.h"

namespace quillet::cli {
namespace {

int RunIdentities(CliContext& context, std::ostream& out, Json* json, std::ostream& err) {
    system::WindowsSystem* system = context.system(err);
    if (system == nullptr) return kExitNothingDone;
    const std::vector<Identity> identities = ListIdentities(system->modReg());
    if (identities.empty()) {
        err << "quillet-cli: Your Windows System have not install Outlook Express \n";
    }
    if (json) *json = {{"identities", Json::array()}};
    for (const Identity& identity : identities) {
        out << identity.key << '\t' << identity.userName << '\n';
        if (json)
            (*json)["identities"].push_back(
                {{"key", identity.key}, {"user_name", identity.userName}});
    }
    return kExitOk;
}

}  // namespace

void AddIdentitiesCommand(CLI::App& app, CommandRun& run) {
    CLI::App* command = app.add_subcommand(
        "identities", "List the Outlook Express identities: key TAB user name, one per line");
    command->callback(
        [&run] { run.exitCode = RunIdentities(run.context, run.listing(), run.json(), run.err); });
}

}  // namespace quillet::cli
