#include <memory>

#include "cli/commands.h"
#include "cli/mail_source_choice.h"
#include "mailstore/export_summary_text.h"
#include "mailstore/mail_export.h"

namespace quillet::cli {
namespace {

struct ExportArguments {
    MailSourceArguments source;
    std::string outFolder;
    std::string format = "mbox";
    bool salvage = false;
    bool force = false;
    bool keepBytes = false;
};

mailstore::ExportFormat FormatNamed(const std::string& name) {
    if (name == "eml") return mailstore::ExportFormat::kEml;
    if (name == "maildir") return mailstore::ExportFormat::kMaildir;
    return mailstore::ExportFormat::kMbox;
}

int RunExport(const ExportArguments& args, CliContext& context, std::ostream& out,
              std::ostream& err) {
    auto choice = MailSourceChoice::Open(args.source, context, err);
    if (!choice) return kExitNothingDone;
    mailstore::ExportOptions options;
    options.outFolder = args.outFolder;
    options.format = FormatNamed(args.format);
    options.keepBytes = args.keepBytes;
    options.mode = args.salvage ? mailstore::ReadMode::kSalvage : mailstore::ReadMode::kStrict;
    options.force = args.force;
    auto summary = context.withProgress([&](BackupProgress* bar) {
        MailProgressBar progress(bar);
        return mailstore::ExportMail(choice->source(), options, &progress);
    });
    if (!summary) return Fail(err, summary.reason());
    out << mailstore::ExportSummaryText(choice->source().description(), args.outFolder, *summary);
    const bool partial =
        summary->skipped > 0 || !summary->storesLeftOut.empty() || !summary->stopped.empty();
    return partial ? kExitPartial : kExitOk;
}

}  // namespace

void AddExportCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<ExportArguments>();
    CLI::App* command = app.add_subcommand(
        "export",
        "Write the messages of an identity's message stores, of a backup's, or of loose stores "
        "(a .dbx file or a folder of them), as mbox files (one per folder), as a Maildir "
        "(Dovecot's Maildir++ layout) or as .eml files (one per message)");
    AddMailSourceOptions(*command, args->source);
    command->add_option("--out", args->outFolder, "The folder to write into (created if missing)")
        ->required();
    command->add_option("--format", args->format, "mbox (the default), maildir or eml")
        ->check(CLI::IsMember({"mbox", "maildir", "eml"}));
    command->add_flag("--keep-bytes", args->keepBytes,
                      "mbox: write each message's bytes as they are, without the Status, "
                      "X-Status and X-Mozilla-Status lines that carry its read, flagged, "
                      "answered and forwarded state");
    command->add_flag("--salvage", args->salvage,
                      "Go on past damage and recover the messages a damaged store still holds");
    command->add_flag("--force", args->force, "Replace files and folders already in the way");
    command->callback(
        [&run, args] { run.exitCode = RunExport(*args, run.context, run.out, run.err); });
}

}  // namespace quillet::cli
