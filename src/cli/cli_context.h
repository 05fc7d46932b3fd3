#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "archive/archive.h"
#include "archive/zip_archive.h"
#include "backup/backup_run.h"
#include "backup/exit_status.h"
#include "backup/identity_list.h"
#include "backup/run_environment.h"
#include "cli/terminal_progress.h"
#include "disc/disc_engine.h"
#include "platform/message_service.h"
#include "platform/status.h"
#include "platform/wine_prefix.h"
#include "system/wine_system.h"

namespace quillet::cli {

// Messages a routine would show in a window go to the error stream, one line each.
class StreamMessageService : public MessageService {
  public:
    explicit StreamMessageService(std::ostream& err) : m_err(err) {}
    MessageAnswer showMessage(const std::string& text, MessageIcon icon,
                              MessageButtons buttons) override;

  private:
    std::ostream& m_err;
};

// What the commands work on. As main() builds it, a run opens the Wine prefix that --prefix (else
// $WINEPREFIX, else ~/.wine) names, reads and writes zip files, asks for passwords on the terminal
// without echo and draws its progress on the terminal. A test gives parts of its own instead
// through the use... calls. Each run (RunCli) starts afresh: the prefix is opened again on first
// use, as in a new process. Not thread-safe.
class CliContext {
  public:
    explicit CliContext(Environment env) : m_env(std::move(env)) {}

    // Work on these parts instead of opening a Wine prefix (--prefix is then ignored).
    void useSystem(RunSystem system) { m_givenSystem.emplace(std::move(system)); }
    // Read and write every backup through this archive (which must outlive the context).
    void useArchive(archive::Archive& archive) { m_givenArchive = &archive; }
    // Answer the password question with this text instead of asking on the terminal.
    void usePassword(std::string password) { m_givenPassword = std::move(password); }
    // Report the progress of backups and restores here instead of on the terminal.
    void useProgress(BackupProgress& progress) { m_givenProgress = &progress; }
    // Write discs and images with this engine (which must outlive the context) instead of the
    // real one.
    void useDiscEngine(disc::DiscEngine& engine) { m_givenDiscEngine = &engine; }

    // Forgets what the previous run opened and its options; RunCli calls it first.
    void startRun();

    // The --prefix option of the current run.
    std::optional<std::string> prefixOption;

    const Environment& environment() const { return m_env; }

    // The system of the current run, opened on first call; null, with the reason written to
    // `err`, when it cannot be opened.
    const RunSystem* system(std::ostream& err);

    // The archive to read or write a backup with: the one given, else a fresh zip archive, valid
    // until the next call or the next run.
    archive::Archive& archive();

    // The disc engine: the one given, else the real one (libburn drives and the image-file
    // device), made on first use and kept across runs.
    disc::DiscEngine& discEngine();

    // The password the user gives for `archiveName`: the one given, else asked on the terminal.
    // Fails when there is no terminal to ask on.
    Result<std::string> askPassword(const std::string& archiveName);

    // Calls work(BackupProgress*) with the progress given, else with a bar drawn on the real
    // terminal's stderr (when that is a terminal) and ended when the work returns.
    template <class Work>
    auto withProgress(Work&& work) {
        if (m_givenProgress != nullptr) return work(m_givenProgress);
        TerminalProgress bar;
        return work(&bar);
    }

  private:
    Environment m_env;
    std::optional<RunSystem> m_givenSystem;
    archive::Archive* m_givenArchive = nullptr;
    std::optional<std::string> m_givenPassword;
    BackupProgress* m_givenProgress = nullptr;
    disc::DiscEngine* m_givenDiscEngine = nullptr;
    std::unique_ptr<disc::DiscEngine> m_realDiscEngine;

    std::unique_ptr<WineSystem> m_wine;
    std::optional<RunSystem> m_wineParts;
    std::unique_ptr<archive::ZipArchive> m_zip;
};

// Writes "quillet-cli: <reason>" to `err` and returns kExitNothingDone.
int Fail(std::ostream& err, const std::string& reason);

// The identity of `identities` named by its key or user name; nullopt, with the reason written to
// `err`, when there is none of that name.
std::optional<Identity> FindIdentityOrSay(const std::vector<Identity>& identities,
                                          const std::string& nameOrKey, std::ostream& err);

}  // namespace quillet::cli
