#include <iostream>

#include "backup/identity_list.h"
#include "cli/commands.h"

namespace quillet::cli {

void AddIdentitiesCommand(CLI::App& app, CliContext& context, int* exitCode) {
    CLI::App* command = app.add_subcommand(
        "identities", "List the Outlook Express identities: key TAB user name, one per line");
    command->callback([&context, exitCode] {
        registry::ModReg* modReg = context.modReg();
        if (modReg == nullptr) {
            *exitCode = kExitNothingDone;
            return;
        }
        const std::vector<Identity> identities = ListIdentities(*modReg);
        if (identities.empty()) {
            std::cerr << "quillet-cli: Your Windows System have not install Outlook Express \n";
        }
        for (const Identity& identity : identities) {
            std::cout << identity.key << '\t' << identity.userName << '\n';
        }
        *exitCode = kExitOk;
    });
}

}  // namespace quillet::cli
