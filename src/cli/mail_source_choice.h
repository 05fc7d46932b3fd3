#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "backup/backup_run.h"
#include "cli/cli_context.h"
#include "mailstore/mail_progress.h"
#include "mailstore/mail_source.h"

namespace quillet::cli {

// Where `export` and `check` read message stores: an identity of the system the run works on
// (--identity), or PATH: a backup file (with --password-file), a store file or a folder of store
// files. Exactly one of the two. What PATH is its content decides (a zip archive, a store's
// magic) or its being a folder, never its name.
struct MailSourceArguments {
    std::optional<std::string> identity;
    std::optional<std::string> path;
    std::optional<std::string> passwordFile;
    std::optional<std::string> codePage;  // loose stores': the ANSI code page of their texts
};

// Adds --identity, PATH, --password-file and --codepage to `command`, the first two excluding each
// other.
void AddMailSourceOptions(CLI::App& command, MailSourceArguments& args);

// The source the arguments name, with everything it reads through kept alive as long as this
// object: the identity's run, or the opened backup and its private work folder (loose stores
// need nothing).
class MailSourceChoice {
  public:
    // Null, with the reason written to `err`: neither or both of --identity and PATH, a system
    // or backup that cannot be opened, a wrong password, no message stores, a PATH that is
    // neither a backup nor a store nor a folder (naming what it holds), --password-file with
    // loose stores, --codepage with anything else or naming no code page this system decodes.
    static std::unique_ptr<MailSourceChoice> Open(const MailSourceArguments& args,
                                                  CliContext& context, std::ostream& err);
    virtual ~MailSourceChoice() = default;

    mailstore::MailSource& source() { return *m_source; }

  protected:
    MailSourceChoice() = default;
    std::unique_ptr<mailstore::MailSource> m_source;
};

// The progress of an export or check drawn as a backup's is: the store being read and the share
// of all stores' bytes read so far.
class MailProgressBar : public mailstore::MailProgress {
  public:
    explicit MailProgressBar(BackupProgress* bar) : m_bar(bar) {}
    void storeStarted(const std::string& fileName, std::size_t position,
                      std::size_t count) override;
    void bytesDone(std::uint64_t done, std::uint64_t total) override;

  private:
    BackupProgress* m_bar;
    int m_percent = -1;
};

}  // namespace quillet::cli
