#include <memory>

#include "cli/commands.h"
#include "cli/imap_export.h"
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
    bool dryRun = false;
    std::optional<ImapExportArguments> imap;
};

// A dry run's listing: each folder that would be written (or kept) below the output folder, with
// the store it comes from and its size, then each store that would be left out.
int PrintPlan(const mailstore::ExportSummary& plan, const std::string& outFolder, std::ostream& out,
              Json* json) {
    Json folders = Json::array();
    for (const auto& folder : plan.planned) {
        const std::string path = (std::filesystem::path(outFolder) / folder.relative).string();
        out << (folder.kept ? "would keep " : "would write ") << path << " from " << folder.store
            << " (" << folder.bytes << " bytes)\n";
        folders.push_back({{"folder", path},
                           {"store", folder.store},
                           {"bytes", folder.bytes},
                           {"kept", folder.kept}});
    }
    if (json) {
        *json = {{"dry_run", true},
                 {"folders", std::move(folders)},
                 {"stores_left_out", plan.storesLeftOut},
                 {"notes", plan.notes}};
    }
    for (const std::string& note : plan.notes) out << "note: " << note << '\n';
    for (const std::string& store : plan.storesLeftOut) out << "would leave out " << store << '\n';
    return plan.partial() ? kExitPartial : kExitOk;
}

mailstore::ExportFormat FormatNamed(const std::string& name) {
    if (name == "eml") return mailstore::ExportFormat::kEml;
    if (name == "maildir") return mailstore::ExportFormat::kMaildir;
    return mailstore::ExportFormat::kMbox;
}

int RunExport(const ExportArguments& args, CliContext& context, std::ostream& out, Json* json,
              std::ostream& err) {
    const auto mode = args.salvage ? mailstore::ReadMode::kSalvage : mailstore::ReadMode::kStrict;
    if (args.imap) return RunImapExport(args.source, *args.imap, mode, context, out, json, err);
    if (args.outFolder.empty()) return Fail(err, "name the folder to write into (--out) or --imap");
    auto choice = MailSourceChoice::Open(args.source, context, err);
    if (!choice) return kExitNothingDone;
    mailstore::ExportOptions options;
    options.outFolder = args.outFolder;
    options.format = FormatNamed(args.format);
    options.keepBytes = args.keepBytes;
    options.mode = mode;
    options.force = args.force;
    options.dryRun = args.dryRun;
    auto summary = context.withProgress([&](BackupProgress* bar) {
        MailProgressBar progress(bar);
        return mailstore::ExportMail(choice->source(), options, &progress);
    });
    if (!summary) {
        const bool inTheWay = summary.status().is(ErrorKind::kInUse) &&
                              summary.reason().ends_with(mailstore::kAlreadyExistsText);
        return Fail(err, summary.reason() + (inTheWay ? kExportForceHint : ""));
    }
    if (args.dryRun) return PrintPlan(*summary, args.outFolder, out, json);
    out << mailstore::ExportSummaryText(choice->source().description(), args.outFolder, *summary);
    if (json) *json = ExportSummaryJson(choice->source().description(), args.outFolder, *summary);
    return summary->partial() ? kExitPartial : kExitOk;
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
    CLI::Option* out = command->add_option("-o,--out", args->outFolder,
                                           "The folder to write into (created if missing)");
    args->imap.emplace();
    ImapExportArguments& imap = *args->imap;
    CLI::Option* url = command->add_option(
        "--imap", imap.url, "Upload to this IMAP account instead: imaps://USER@HOST[:PORT]");
    url->excludes(out);
    command
        ->add_option("--imap-folder", imap.folder,
                     "The IMAP folder the folders go under (default \"Outlook Express\")")
        ->needs(url);
    command
        ->add_option("--imap-password-file", imap.passwordFile,
                     "The IMAP password on this file's first line (else it is asked)")
        ->needs(url);
    command
        ->add_option("--ca-file", imap.caFile,
                     "Trust the IMAP server's certificate only if these PEM certificates issued it "
                     "(else the system's trust store)")
        ->needs(url)
        ->check(CLI::ExistingFile);
    command->add_flag("--starttls", imap.startTls, "Connect in plain (port 143) and start TLS")
        ->needs(url);
    command->add_option("--format", args->format, "mbox (the default), maildir or eml")
        ->check(CLI::IsMember({"mbox", "maildir", "eml"}));
    command->add_flag("--keep-bytes", args->keepBytes,
                      "mbox: write each message's bytes as they are, without the Status, "
                      "X-Status and X-Mozilla-Status lines that carry its read, flagged, "
                      "answered and forwarded state");
    command->add_flag("--salvage", args->salvage,
                      "Go on past damage and recover the messages a damaged store still holds");
    command->add_flag("--force", args->force,
                      "mbox and eml: replace files and folders already in the way; maildir: add "
                      "the messages to the Maildir folders already there, beside the mail in "
                      "them, replacing only the messages an earlier export wrote");
    command
        ->add_flag("-n,--dry-run", args->dryRun,
                   "List the folders the export would write, each with its store; write nothing")
        ->excludes(url);
    command->callback([&run, args, url] {
        ExportArguments given = *args;
        if (url->count() == 0) given.imap.reset();
        // A dry run's listing is what was asked for: -q does not hide it.
        run.exitCode = RunExport(given, run.context, given.dryRun ? run.listing() : run.report(),
                                 run.json(), run.err);
    });
}

}  // namespace quillet::cli
