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
#include "cli/terminal_progress.h"
#include "disc/disc_engine.h"
#include "platform/environment.h"
#include "platform/message_service.h"
#include "platform/status.h"
#include "schedule/scheduler.h"
#include "system/windows_system.h"

namespace quillet::cli {

// Messages a routine would show in a window go to the error stream, one line each.
class StreamMessageService : public MessageService {
  public:
    explicit StreamMessageService(std::ostream& err) : m_err(err) {}
    MessageAnswer showMessage(const std::string& text, MessageIcon icon,
                              MessageButtons buttons) override;
    // How many messages were shown so far.
    int shown() const { return m_shown; }

  private:
    std::ostream& m_err;
    int m_shown = 0;
};

// What the commands work on. As main() builds it, a run opens the Wine prefix that --prefix (else
// $WINEPREFIX, else ~/.wine) names, reads and writes zip files, asks for passwords on the terminal
// without echo and draws its progress on the terminal. A test gives parts of its own instead
// through the use... calls. Each run (RunCli) starts afresh: the prefix is opened again on first
// use, as in a new process. Not thread-safe.
class CliContext {
  public:
    explicit CliContext(Environment env) : m_env(std::move(env)) {}

    // Work on this system (which must outlive the context) instead of opening a Wine prefix or a
    // Windows disk (--prefix and --windows-root are then ignored).
    void useSystem(system::WindowsSystem& system) { m_givenSystem = &system; }
    // Read and write every backup through this archive (which must outlive the context).
    void useArchive(archive::Archive& archive) { m_givenArchive = &archive; }
    // Answer the password question with this text instead of asking on the terminal.
    void usePassword(std::string password) { m_givenPassword = std::move(password); }
    // Register, list and remove scheduled jobs here instead of in the user's crontab.
    void useScheduler(Scheduler& scheduler) { m_givenScheduler = &scheduler; }
    // Report the progress of backups and restores here instead of on the terminal.
    void useProgress(BackupProgress& progress) { m_givenProgress = &progress; }
    // Write discs and images with this engine (which must outlive the context) instead of the
    // real one.
    void useDiscEngine(disc::DiscEngine& engine) { m_givenDiscEngine = &engine; }

    // Forgets what the previous run opened and its options, and reports the new run's progress
    // on `err`; RunCli calls it first.
    void startRun(std::ostream& err);

    // The --prefix option of the current run.
    std::optional<std::string> prefixOption;
    // The --windows-root and --user options: work on a mounted Windows disk instead.
    std::optional<std::string> windowsRootOption;
    std::optional<std::string> userOption;
    // -q: no progress bar and no report of what was done (listings and errors are printed).
    bool quiet = false;
    // -v: each step of the work as a line on the error stream, in place of the bar.
    bool verbose = false;
    // --progress, --no-progress: the bar on or off; without them, on when stderr is a terminal.
    std::optional<bool> progressOption;
    // --json: what the command reports is one JSON document on stdout instead of text.
    bool json = false;
    // --password-command: the command whose output's first line is the password.
    std::optional<std::string> passwordCommand;

    // True, with the reason and `whatInstead` written to `err`, when the run works on a Windows
    // disk, which is only ever read: a command that would change the system (or cannot work on a
    // disk) asks first.
    bool refuseWindowsDisk(std::ostream& err, const std::string& whatInstead) const;

    const Environment& environment() const { return m_env; }

    // The system of the current run, opened on first call (its key-path access then reports to
    // `err`); null, with the reason written to `err`, when it cannot be opened.
    system::WindowsSystem* system(std::ostream& err);
    // How many messages the opened system's key-path access has shown on the error stream: a
    // command that failed after one was shown adds no second line.
    int systemMessagesShown() const { return m_systemMessages ? m_systemMessages->shown() : 0; }

    // The scheduler of the current run: the one given, else the user's crontab, whose new jobs
    // back up `winePrefix` (nullopt: the default prefix). Valid until the next call or run.
    Scheduler& scheduler(const std::optional<std::string>& winePrefix);

    // The folder of the Wine prefix the current run works on; nullopt for a disk, and before
    // system() opened it.
    std::optional<std::filesystem::path> winePrefix() const;

    // The archive to read or write a backup with: the one given, else a fresh zip archive, valid
    // until the next call or the next run.
    archive::Archive& archive();

    // The disc engine: the one given, else the real one (libburn drives and the image-file
    // device), made on first use and kept across runs.
    disc::DiscEngine& discEngine();

    // The password the user gives for `archiveName`: the one given, else asked on the terminal.
    // Fails when there is no terminal to ask on.
    Result<std::string> askPassword(const std::string& archiveName);

    // Calls work(BackupProgress*) with the progress given, else with the steps as lines (-v),
    // else with a bar drawn on the run's error stream (see progressOption) and ended when the
    // work returns.
    template <class Work>
    auto withProgress(Work&& work) {
        if (m_givenProgress != nullptr) return work(m_givenProgress);
        if (verbose) {
            StepLines lines(*m_err);
            return work(&lines);
        }
        TerminalProgress bar(
            *m_err, !quiet && progressOption.value_or(TerminalProgress::StderrIsTerminal()));
        return work(&bar);
    }

  private:
    Environment m_env;
    std::ostream* m_err = nullptr;
    system::WindowsSystem* m_givenSystem = nullptr;
    archive::Archive* m_givenArchive = nullptr;
    std::optional<std::string> m_givenPassword;
    BackupProgress* m_givenProgress = nullptr;
    Scheduler* m_givenScheduler = nullptr;
    std::unique_ptr<Scheduler> m_crontab;
    disc::DiscEngine* m_givenDiscEngine = nullptr;
    std::unique_ptr<disc::DiscEngine> m_realDiscEngine;

    // What the opened system's key-path access reports through, and the system.
    std::unique_ptr<StreamMessageService> m_systemMessages;
    std::unique_ptr<system::WindowsSystem> m_opened;
    std::unique_ptr<archive::ZipArchive> m_zip;
};

// Writes "quillet-cli: <reason>" to `err` and returns kExitNothingDone.
int Fail(std::ostream& err, const std::string& reason);

// The identity of `identities` named by its key or user name; nullopt, with the reason written to
// `err`, when there is none of that name.
std::optional<Identity> FindIdentityOrSay(const std::vector<Identity>& identities,
                                          const std::string& nameOrKey, std::ostream& err);

}  // namespace quillet::cli
