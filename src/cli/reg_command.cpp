#include "cli/commands.h"
#include "registry/registry_text.h"

namespace quillet::cli {
namespace {

struct RegArguments {
    std::string keyPath;
    std::string file;
};

int RunExport(const RegArguments& args, CliContext& context, std::ostream& err) {
    system::WindowsSystem* system = context.system(err);
    if (system == nullptr) return kExitNothingDone;
    registry::ModReg& modReg = system->modReg();
    // A missing key would export as a lone root line, whose import empties its target: refuse.
    const int shown = context.systemMessagesShown();
    if (!modReg.KeyExists(args.keyPath)) {
        if (context.systemMessagesShown() > shown) return kExitNothingDone;  // said so
        return Fail(err, "no registry key " + args.keyPath + "; nothing was written");
    }
    Status status = registry::ExportKeyTree(modReg, args.keyPath, args.file);
    if (!status) return Fail(err, status.reason());
    return kExitOk;
}

int RunImport(const RegArguments& args, CliContext& context, std::ostream& err) {
    if (context.refuseWindowsDisk(err, "import into a Wine prefix (--prefix DIR)"))
        return kExitNothingDone;
    system::WindowsSystem* system = context.system(err);
    if (system == nullptr) return kExitNothingDone;
    registry::ModReg& modReg = system->modReg();
    const int shown = context.systemMessagesShown();
    Status status = registry::ImportKeyFile(modReg, args.keyPath, args.file);
    if (!status && context.systemMessagesShown() > shown) return kExitNothingDone;  // said so
    if (!status) return Fail(err, status.reason());
    return kExitOk;
}

}  // namespace

void AddRegCommand(CLI::App& app, CommandRun& run) {
    CLI::App* reg = app.add_subcommand("reg", "Export or import a registry key tree in text form");
    reg->require_subcommand(1);

    auto exportArgs = std::make_shared<RegArguments>();
    CLI::App* exportCommand = reg->add_subcommand(
        "export", "Write the key at KEYPATH with all its subkeys to FILE (replacing it)");
    exportCommand->add_option("KEYPATH", exportArgs->keyPath, "e.g. HKEY_CURRENT_USER\\Identities")
        ->required();
    exportCommand->add_option("FILE", exportArgs->file, "the text file to write")->required();
    exportCommand->callback(
        [&run, exportArgs] { run.exitCode = RunExport(*exportArgs, run.context, run.err); });

    auto importArgs = std::make_shared<RegArguments>();
    CLI::App* importCommand = reg->add_subcommand(
        "import", "Rebuild the key tree of FILE below BASEKEYPATH, replacing what is there");
    importCommand->add_option("BASEKEYPATH", importArgs->keyPath, "the key that receives the tree")
        ->required();
    importCommand->add_option("FILE", importArgs->file, "a file written by reg export")
        ->required()
        ->check(CLI::ExistingFile);
    importCommand->callback(
        [&run, importArgs] { run.exitCode = RunImport(*importArgs, run.context, run.err); });
}

}  // namespace quillet::cli
