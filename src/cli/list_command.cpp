#include "cli/commands.h"

namespace quillet::cli {
namespace {

int RunList(const std::string& file, CliContext& context, std::ostream& out, Json* json,
            std::ostream& err) {
    archive::Archive& archive = context.archive();
    Status loaded = archive.LoadArchive(file);
    if (!loaded) return Fail(err, loaded.reason());
    if (json) *json = {{"file", file}, {"entries", Json::array()}};
    for (const archive::ArchiveEntry& entry : archive.entries()) {
        out << entry.name << '\n';
        if (json) (*json)["entries"].push_back({{"name", entry.name}, {"size", entry.size}});
    }
    return kExitOk;
}

}  // namespace

void AddListCommand(CLI::App& app, CommandRun& run) {
    auto file = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand("list", "List a backup's entry names in archive order");
    command->add_option("FILE", *file, "The backup file")->required()->check(CLI::ExistingFile);
    command->callback([&run, file] {
        run.exitCode = RunList(*file, run.context, run.listing(), run.json(), run.err);
    });
}

}  // namespace quillet::cli
