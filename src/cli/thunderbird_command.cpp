#include <memory>

#include "cli/backup_reading.h"
#include "cli/commands.h"
#include "cli/identity_run.h"
#include "cli/mail_source_choice.h"
#include "thunderbird/profile_sources.h"
#include "thunderbird/profiles_ini.h"

namespace quillet::cli {
namespace {

struct ThunderbirdArguments {
    std::optional<std::string> identity;
    std::optional<std::string> backupFile;
    std::optional<std::string> passwordFile;
    std::string profile;
    std::string name;
    bool noRegister = false;
};

// The source the arguments name, kept alive with what it reads through.
struct ChosenSource {
    std::unique_ptr<IdentityRun> run;
    std::unique_ptr<BackupReading> reading;
    std::unique_ptr<thunderbird::ProfileSource> source;

    ~ChosenSource() { source.reset(); }  // before the backup it reads
};

std::unique_ptr<ChosenSource> OpenSource(const ThunderbirdArguments& args, CliContext& context,
                                         std::ostream& err) {
    auto chosen = std::make_unique<ChosenSource>();
    if (args.identity.has_value() == args.backupFile.has_value()) {
        Fail(err, "name either an identity (--identity) or a backup FILE");
        return nullptr;
    }
    if (args.identity) {
        chosen->run = IdentityRun::Open(context, *args.identity, err);
        if (!chosen->run) return nullptr;
        chosen->source =
            thunderbird::IdentityProfileSource(chosen->run->system(), chosen->run->identity());
        return chosen;
    }
    chosen->reading = BackupReading::Open(*args.backupFile, args.passwordFile, context, err);
    if (!chosen->reading) return nullptr;
    auto source =
        thunderbird::BackupProfileSource(chosen->reading->backup(), chosen->reading->workFolder());
    if (!source) {
        Fail(err, source.reason());
        return nullptr;
    }
    chosen->source = std::move(source.value());
    return chosen;
}

Json ReportJson(const thunderbird::ProfileReport& report) {
    Json mail;
    if (report.mail) {
        mail = ExportSummaryJson("the identity's message stores",
                                 (report.folder / "Mail" / "Local Folders").string(), *report.mail);
    }
    const auto orNull = [](const std::string& text) { return text.empty() ? Json() : Json(text); };
    return {{"profile", report.folder.string()},
            {"registered_as", orNull(report.registeredAs)},
            {"not_registered", orNull(report.notRegistered)},
            {"carried", report.carried},
            {"not_carried", report.notCarried},
            {"mail", std::move(mail)},
            {"partial", report.partial}};
}

int RunThunderbird(const ThunderbirdArguments& args, CliContext& context, std::ostream& out,
                   Json* json, std::ostream& err) {
    std::filesystem::path profilesIni;
    if (!args.noRegister) {
        const std::optional<std::string> home = context.environment().get("HOME");
        if (!home || home->empty()) {
            return Fail(err,
                        "HOME is not set, so Thunderbird's list of profiles cannot be "
                        "found; give --no-register");
        }
        profilesIni = thunderbird::ProfilesIniIn(*home);
    }
    auto chosen = OpenSource(args, context, err);
    if (!chosen) return kExitNothingDone;
    thunderbird::ProfileOptions options{args.profile, args.name, profilesIni};
    auto report = context.withProgress([&](BackupProgress* bar) {
        MailProgressBar progress(bar);
        return thunderbird::MakeThunderbirdProfile(*chosen->source, options, &progress);
    });
    if (!report) return Fail(err, report.reason() + "; no profile was made");
    out << thunderbird::ProfileReportText(*report);
    if (json) *json = ReportJson(*report);
    return report->partial ? kExitPartial : kExitOk;
}

}  // namespace

void AddThunderbirdCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<ThunderbirdArguments>();
    CLI::App* command = app.add_subcommand(
        "thunderbird",
        "Make a Thunderbird profile of an identity or of a backup: its mail, POP3, IMAP and news "
        "accounts, signature and blocked senders, ready to open in Thunderbird");
    CLI::Option* identity =
        command->add_option("-i,--identity", args->identity, "The identity to move (name or key)");
    CLI::Option* file = command
                            ->add_option("FILE", args->backupFile,
                                         "Move the identity this backup file holds instead")
                            ->check(CLI::ExistingFile);
    identity->excludes(file);
    command
        ->add_option("--password-file", args->passwordFile,
                     "The backup's password on this file's first line (else it is asked)")
        ->needs(file);
    command->add_option("--profile", args->profile, "The profile's folder: new, or an empty folder")
        ->required();
    command->add_option("--name", args->name,
                        "The profile's name in Thunderbird's profile manager (default "
                        "\"Outlook Express - IDENTITY\")");
    command->add_flag("--no-register", args->noRegister,
                      "Leave ~/.thunderbird/profiles.ini alone (start Thunderbird with "
                      "--profile DIR)");
    command->callback([&run, args] {
        run.exitCode = RunThunderbird(*args, run.context, run.report(), run.json(), run.err);
    });
}

}  // namespace quillet::cli
