#include "cli/mail_source_choice.h"

#include "archive/zip_signature.h"
#include "backup/mail_sources.h"
#include "cli/backup_reading.h"
#include "cli/identity_run.h"
#include "mailstore/loose_mail_source.h"

namespace quillet::cli {
namespace {

enum class PathHolds { kBackup, kStoreFile, kStoreFolder };

Result<PathHolds> WhatPathHolds(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return PathHolds::kStoreFolder;
    auto start = mailstore::ReadFileStart(path);
    if (!start) return start.status();
    if (archive::StartsAsZip(start->bytes)) return PathHolds::kBackup;
    if (mailstore::StartsAsStore(*start)) return PathHolds::kStoreFile;
    return Status::Error(path.string() +
                             " is neither a backup file nor an Outlook Express message store: " +
                             mailstore::DescribeFileStart(*start),
                         ErrorKind::kBadInput);
}

// Loose stores are read in place; nothing else needs keeping.
class LooseChoice : public MailSourceChoice {
  public:
    static std::unique_ptr<MailSourceChoice> Open(const MailSourceArguments& args, PathHolds holds,
                                                  std::ostream& err) {
        const bool folder = holds == PathHolds::kStoreFolder;
        if (args.passwordFile) {
            Fail(err, "--password-file is for a backup file, and " + *args.path + " is " +
                          (folder ? "a folder of message stores" : "a message store"));
            return nullptr;
        }
        std::optional<AnsiCodePage> codePage =
            AnsiCodePage::FromText(args.codePage.value_or(std::to_string(AnsiCodePage::kWestern)));
        if (!codePage) {
            Fail(err, "--codepage " + *args.codePage +
                          " names no Windows code page this system can read (1252, 1251, 932...)");
            return nullptr;
        }
        auto source = folder ? mailstore::LooseStoreFolder(*args.path, *codePage)
                             : mailstore::LooseStoreFile(*args.path, *codePage);
        if (!source) {
            Fail(err, source.reason());
            return nullptr;
        }
        std::unique_ptr<LooseChoice> choice(new LooseChoice());
        choice->m_source = std::move(source.value());
        return choice;
    }
};

class IdentityChoice : public MailSourceChoice {
  public:
    static std::unique_ptr<MailSourceChoice> Open(const std::string& nameOrKey, CliContext& context,
                                                  std::ostream& err) {
        std::unique_ptr<IdentityChoice> choice(new IdentityChoice());
        choice->m_run = IdentityRun::Open(context, nameOrKey, err);
        if (!choice->m_run) return nullptr;
        auto source = IdentityMailSource(choice->m_run->system(), choice->m_run->identity().key);
        if (!source) {
            Fail(err, source.reason());
            return nullptr;
        }
        choice->m_source = std::move(source.value());
        return choice;
    }

  private:
    std::unique_ptr<IdentityRun> m_run;
};

class BackupChoice : public MailSourceChoice {
  public:
    static std::unique_ptr<MailSourceChoice> Open(const MailSourceArguments& args,
                                                  CliContext& context, std::ostream& err) {
        auto reading = BackupReading::Open(*args.path, args.passwordFile, context, err);
        if (!reading) return nullptr;
        std::unique_ptr<BackupChoice> choice(new BackupChoice(std::move(reading)));
        auto source =
            BackupMailSource(choice->m_reading->backup(), choice->m_reading->workFolder());
        if (!source) {
            Fail(err, source.reason());
            return nullptr;
        }
        choice->m_source = std::move(source.value());
        return choice;
    }

    ~BackupChoice() override { m_source.reset(); }  // before the backup it reads

  private:
    explicit BackupChoice(std::unique_ptr<BackupReading> reading) : m_reading(std::move(reading)) {}

    std::unique_ptr<BackupReading> m_reading;
};

}  // namespace

void AddMailSourceOptions(CLI::App& command, MailSourceArguments& args) {
    CLI::Option* identity = command.add_option(
        "-i,--identity", args.identity, "The identity whose message stores are read (name or key)");
    CLI::Option* path =
        command
            .add_option("PATH", args.path,
                        "Read the message stores of this instead: a backup file, a message store "
                        "(.dbx) or a folder of them (named and nested by its Folders.dbx, if any)")
            ->check(CLI::ExistingPath);
    identity->excludes(path);
    command
        .add_option("--password-file", args.passwordFile,
                    "The backup's password on this file's first line (else it is asked)")
        ->needs(path);
    command
        .add_option("--codepage", args.codePage,
                    "The Windows code page loose stores hold their folder names in, as the "
                    "system that wrote them had it (default 1252; 1251 Cyrillic, 1250 Central "
                    "European, 932 Japanese...); an identity or a backup knows its own")
        ->needs(path);
}

std::unique_ptr<MailSourceChoice> MailSourceChoice::Open(const MailSourceArguments& args,
                                                         CliContext& context, std::ostream& err) {
    if (args.identity.has_value() == args.path.has_value()) {
        Fail(err,
             "name either an identity (--identity) or a PATH (a backup file, a message store "
             "or a folder of them)");
        return nullptr;
    }
    if (args.identity) return IdentityChoice::Open(*args.identity, context, err);
    auto holds = WhatPathHolds(*args.path);
    if (!holds) {
        Fail(err, holds.reason());
        return nullptr;
    }
    if (*holds != PathHolds::kBackup) return LooseChoice::Open(args, *holds, err);
    if (args.codePage) {
        Fail(err, "--codepage is for loose message stores; the backup " + *args.path +
                      " records the code page of the system it was made on");
        return nullptr;
    }
    return BackupChoice::Open(args, context, err);
}

void MailProgressBar::storeStarted(const std::string& fileName, std::size_t position,
                                   std::size_t count) {
    if (m_bar == nullptr) return;
    m_bar->status(fileName + " (" + std::to_string(position + 1) + "/" + std::to_string(count) +
                  ")");
}

void MailProgressBar::bytesDone(std::uint64_t done, std::uint64_t total) {
    if (m_bar == nullptr || total == 0) return;
    const int percent = static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
    if (percent == m_percent) return;  // redraw only when the bar moves
    m_percent = percent;
    m_bar->progress(percent);
}

}  // namespace quillet::cli
