// A test-only program that runs one operation over a Wine prefix and kills itself with SIGKILL
// just before the n-th step it takes through the file-system seam or the archive's events, so
// that a test can look at what a crash at that moment leaves behind.
//
//   quillet_crash_child <kill-at> backup <prefix> <backup file>
//   quillet_crash_child <kill-at> commit <prefix>
//   quillet_crash_child <kill-at> restore <prefix> <backup file>
//   quillet_crash_child <kill-at> export <prefix> <output folder>   (the mail, as a Maildir)
//   quillet_crash_child <kill-at> thunderbird <prefix> <profile folder>   (not registered)
//
// <kill-at> 0 never kills. A run that ends prints "steps <count>" and exits 0, or exits 3 with the
// reason on stderr; usage errors exit 2. Work folders go to $TMPDIR.
#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "backup/backup_run.h"
#include "backup/crash_child_protocol.h"
#include "backup/opened_backup.h"
#include "backup/restore_run.h"
#include "backup/run_environment.h"
#include "mailstore/folder_mail_source.h"
#include "mailstore/mail_export.h"
#include "platform/file_operations.h"
#include "platform/message_service.h"
#include "support/platform/forwarding_file_operations.h"
#include "support/platform/sample_prefix.h"
#include "system/wine_system.h"
#include "thunderbird/profile_sources.h"

namespace quillet::testing {
namespace {

// Counts steps and ends the process with SIGKILL before step `killAt`.
class KillSwitch {
  public:
    explicit KillSwitch(long killAt) : m_killAt(killAt) {}
    void step() {
        if (++m_steps == m_killAt) raise(SIGKILL);
    }
    long steps() const { return m_steps; }

  private:
    long m_killAt;
    long m_steps = 0;
};

// The real file operations, each call that changes something a step. Calls that only look (status,
// readLink, listFolder, processExists) are no steps: a kill before one of them leaves the files as
// a kill before the next call that changes something does.
class KillingFileOperations : public ForwardingFileOperations {
  public:
    explicit KillingFileOperations(KillSwitch& killSwitch) : m_switch(killSwitch) {}

    int open(const std::filesystem::path& file, int flags, mode_t mode, int* fd) override {
        m_switch.step();
        return ForwardingFileOperations::open(file, flags, mode, fd);
    }
    int write(int fd, std::string_view data, std::size_t* written) override {
        m_switch.step();
        // Short writes, so that a kill can also come in the middle of a file's content.
        return ForwardingFileOperations::write(fd, data.substr(0, kCrashWriteSize), written);
    }
    // Flushes are steps but flush nothing: what a killed process wrote stays in the page cache
    // all the same, and flushing to the disk would only make the test slow.
    int fsync(int) override {
        m_switch.step();
        return 0;
    }
    int close(int fd) override {
        m_switch.step();
        return ForwardingFileOperations::close(fd);
    }
    int fchmod(int fd, mode_t mode) override {
        m_switch.step();
        return ForwardingFileOperations::fchmod(fd, mode);
    }
    int fchown(int fd, uid_t owner, gid_t group) override {
        m_switch.step();
        return ForwardingFileOperations::fchown(fd, owner, group);
    }
    int rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
        m_switch.step();
        return ForwardingFileOperations::rename(from, to);
    }
    int unlink(const std::filesystem::path& file) override {
        m_switch.step();
        return ForwardingFileOperations::unlink(file);
    }
    int syncFolder(const std::filesystem::path&) override {
        m_switch.step();
        return 0;
    }
    int makeFolder(const std::filesystem::path& folder, mode_t mode) override {
        m_switch.step();
        return ForwardingFileOperations::makeFolder(folder, mode);
    }
    int removeFolder(const std::filesystem::path& folder) override {
        m_switch.step();
        return ForwardingFileOperations::removeFolder(folder);
    }
    int removeTree(const std::filesystem::path& path) override {
        m_switch.step();
        return ForwardingFileOperations::removeTree(path);
    }
    int exchange(const std::filesystem::path& first, const std::filesystem::path& second) override {
        m_switch.step();
        return ForwardingFileOperations::exchange(first, second);
    }

  private:
    KillSwitch& m_switch;
};

// The archive's events are steps too: a kill while libzip writes its own temporary.
class KillingProgress : public BackupProgress {
  public:
    explicit KillingProgress(KillSwitch& killSwitch) : m_switch(killSwitch) {}
    void EntryAdding(const std::string&) override { m_switch.step(); }
    void EntryExtracting(const std::string&) override { m_switch.step(); }
    void SaveProgress(int) override { m_switch.step(); }

  private:
    KillSwitch& m_switch;
};

class SilentMessages : public MessageService {
  public:
    MessageAnswer showMessage(const std::string& text, MessageIcon, MessageButtons) override {
        std::cerr << text << '\n';
        return MessageAnswer::Cancel;
    }
};

int Failed(const std::string& reason) {
    std::cerr << "quillet_crash_child: " << reason << '\n';
    return 3;
}

int Backup(RunEnvironment& run, KillingProgress& progress, const std::string& file) {
    BackupRequest request;
    request.identityKey = kSampleMainIdentity;
    request.headerLines = UnattendedHeader("crash test");
    request.items.fill(true);
    request.password = kCrashPassword;
    request.backupFile = file;
    const BackupOutcome outcome = RunBackup(run.context(), request, &progress);
    if (!outcome.written) return Failed(outcome.writeFailure);
    return outcome.allSucceeded() ? 0 : Failed("an item failed: " + outcome.report());
}

int Commit(system::WineSystem& system) {
    registry::RegistryStore& store = system.registry();
    for (const registry::HKey root : {registry::kHkeyCurrentUser, registry::kHkeyLocalMachine}) {
        registry::HKey key = 0;
        if (store.RegCreateKey(root, kCrashKey, &key) != registry::kErrorSuccess) {
            return Failed("cannot create the key");
        }
        const std::string text = kCrashNewValue;
        const registry::RegResult set =
            store.RegSetValueEx(key, kCrashValueName, registry::kRegSz,
                                reinterpret_cast<const std::uint8_t*>(text.c_str()),
                                static_cast<std::uint32_t>(text.size() + 1));
        (void)store.RegCloseKey(key);
        if (set != registry::kErrorSuccess) return Failed("cannot set the value");
    }
    if (Status committed = store.Commit(); !committed) return Failed(committed.reason());
    return 0;
}

int Restore(RunEnvironment& run, KillingProgress& progress, const std::string& file) {
    OpenedBackup backup(run.archive(), run.context().workFolder);
    if (Status opened = backup.open(file, kCrashPassword); !opened) return Failed(opened.reason());
    RestoreRequest request;
    request.identityKey = kSampleMainIdentity;
    request.ticked[kMessages] = true;
    request.ticked[kAddressBook] = true;
    request.ticked[kStationeries] = true;
    const RestoreOutcome outcome = RunRestore(run.context(), backup, request, &progress);
    if (!outcome.started) return Failed(outcome.started.reason());
    return outcome.allSucceeded() ? 0 : Failed("an item failed: " + outcome.report());
}

// The main identity's mail, exported as a Maildir without --force: a run after a killed one goes
// on from what the killed one completed.
int ExportMailOf(const std::string& prefix, const std::string& out, FileOperations& files) {
    const std::filesystem::path folder = SampleStoreFolder(prefix, kSampleMainIdentity);
    std::vector<mailstore::MailSource::StoreName> stores;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".dbx") {
            stores.push_back({entry.path().filename().string(), entry.file_size()});
        }
    }
    auto source = mailstore::MakeFolderMailSource("stores", folder, stores);
    mailstore::ExportOptions options;
    options.outFolder = out;
    options.format = mailstore::ExportFormat::kMaildir;
    auto exported = mailstore::ExportMail(*source, options, nullptr, files);
    if (!exported) return Failed(exported.reason());
    return exported->partial() ? Failed("partial: " + exported->stopped) : 0;
}

// The main identity made into a Thunderbird profile in `folder`.
int MakeProfile(system::WindowsSystem& system, const std::string& folder, FileOperations& files) {
    auto source =
        thunderbird::IdentityProfileSource(system, {kSampleMainUserName, kSampleMainIdentity});
    auto made = thunderbird::MakeThunderbirdProfile(*source, {folder, "", ""}, nullptr, files);
    if (!made) return Failed(made.reason());
    return made->partial ? Failed("partial") : 0;
}

int Run(int argc, char** argv) {
    if (argc < 4) return 2;
    const long killAt = std::strtol(argv[1], nullptr, 10);
    const std::string operation = argv[2];
    KillSwitch killSwitch(killAt);
    KillingFileOperations files(killSwitch);
    KillingProgress progress(killSwitch);
    if (operation == "export" && argc == 5) {
        const int result = ExportMailOf(argv[3], argv[4], files);
        if (result == 0) std::cout << "steps " << killSwitch.steps() << '\n';
        return result;
    }
    const Environment env = Environment::Process();
    SilentMessages messages;
    auto system = system::WineSystem::Open(std::string(argv[3]), env, messages, files);
    if (!system) return Failed(system.reason());

    int result = 2;
    if (operation == "commit") {
        result = Commit(**system);
    } else if (operation == "thunderbird" && argc == 5) {
        result = MakeProfile(**system, argv[4], files);
    } else if ((operation == "backup" || operation == "restore") && argc == 5) {
        auto run = RunEnvironment::Create(**system, env);
        if (!run) return Failed(run.reason());
        result = operation == "backup" ? Backup(**run, progress, argv[4])
                                       : Restore(**run, progress, argv[4]);
    }
    if (result == 0) std::cout << "steps " << killSwitch.steps() << '\n';
    return result;
}

}  // namespace
}  // namespace quillet::testing

int main(int argc, char** argv) { return quillet::testing::Run(argc, argv); }
