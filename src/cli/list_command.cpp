#include <iostream>

#include "archive/zip_archive.h"
#include "cli/commands.h"

namespace quillet::cli {

void AddListCommand(CLI::App& app, CliContext& context, int* exitCode) {
    auto file = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand("list", "List a backup's entry names in archive order");
    command->add_option("FILE", *file, "The backup file")->required()->check(CLI::ExistingFile);
    command->callback([&context, exitCode, file] {
        archive::ZipArchive archive;
        Status loaded = archive.LoadArchive(*file);
        if (!loaded) {
            *exitCode = context.fail(loaded.reason());
            return;
        }
        for (const archive::ArchiveEntry& entry : archive.entries()) {
            std::cout << entry.name << '\n';
        }
        *exitCode = kExitOk;
    });
}

}  // namespace quillet::cli
