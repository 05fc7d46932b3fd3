#include <iostream>

#include "cli/commands.h"
#include "registry/registry_text.h"

namespace quillet::cli {
namespace {

struct RegArguments {
    std::string keyPath;
    std::string file;
};

int RunExport(CliContext& context, const RegArguments& args) {
    registry::ModReg* modReg = context.modReg();
    if (modReg == nullptr) return kExitNothingDone;
    // A missing key would export as a lone root line, whose import empties its target: refuse.
    if (!modReg->KeyExists(args.keyPath)) {
        return context.fail("no registry key " + args.keyPath + "; nothing was written");
    }
    Status status = registry::ExportKeyTree(*modReg, args.keyPath, args.file);
    if (!status) return context.fail(status.reason());
    return kExitOk;
}

int RunImport(CliContext& context, const RegArguments& args) {
    registry::ModReg* modReg = context.modReg();
    if (modReg == nullptr) return kExitNothingDone;
    Status status = registry::ImportKeyFile(*modReg, args.keyPath, args.file);
    if (!status) return context.fail(status.reason());
    return kExitOk;
}

}  // namespace

void AddRegCommand(CLI::App& app, CliContext& context, int* exitCode) {
    CLI::App* reg = app.add_subcommand("reg", "Export or import a registry key tree in text form");
    reg->require_subcommand(1);

    auto exportArgs = std::make_shared<RegArguments>();
    CLI::App* exportCommand = reg->add_subcommand(
        "export", "Write the key at KEYPATH with all its subkeys to FILE (replacing it)");
    exportCommand->add_option("KEYPATH", exportArgs->keyPath, "e.g. HKEY_CURRENT_USER\\Identities")
        ->required();
    exportCommand->add_option("FILE", exportArgs->file, "the text file to write")->required();
    exportCommand->callback(
        [&context, exitCode, exportArgs] { *exitCode = RunExport(context, *exportArgs); });

    auto importArgs = std::make_shared<RegArguments>();
    CLI::App* importCommand = reg->add_subcommand(
        "import", "Rebuild the key tree of FILE below BASEKEYPATH, replacing what is there");
    importCommand->add_option("BASEKEYPATH", importArgs->keyPath, "the key that receives the tree")
        ->required();
    importCommand->add_option("FILE", importArgs->file, "a file written by reg export")
        ->required()
        ->check(CLI::ExistingFile);
    importCommand->callback(
        [&context, exitCode, importArgs] { *exitCode = RunImport(context, *importArgs); });
}

}  // namespace quillet::cli
