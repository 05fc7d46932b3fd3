#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/zip_archive.h"
#include "backup/backup_item.h"
#include "backup/backup_run.h"
#include "backup/item_context.h"
#include "backup/opened_backup.h"
#include "backup/restore_run.h"
#include "platform/environment.h"
#include "platform/file_operations.h"
#include "platform/prefix_lock.h"
#include "platform/wine_server_probe.h"
#include "platform/work_folder.h"
#include "registry/mod_reg.h"
#include "registry/wine_prefix_registry.h"
#include "support/archive/backup_reader.h"
#include "support/backup/recording_progress.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/recording_message_service.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"
#include "support/system/fake_windows_system.h"
#include "system/wine_system.h"

namespace quillet::testing {

// A mask from eight "0"/"1" digits or an item list; fails the test on bad text.
ItemMask ItemsOf(std::string_view items);

// An information file with these lines, each ended by CR LF.
std::string InformationText(const std::vector<std::pair<std::string, std::string>>& lines);

// Writes a backup file with the archive adapter: these entries (name, bytes) in order, protected
// when a password is given. Fails the test when it cannot be written.
void PackArchive(const std::filesystem::path& file,
                 const std::vector<std::pair<std::string, std::string>>& entries,
                 const std::string& password = "");

// Replaces every occurrence of `from` in a file's bytes by `to` (same length): renames entries
// of a zip file in its local headers and its central directory alike. Returns how many.
int PatchFileBytes(const std::filesystem::path& file, std::string_view from, std::string_view to);

// What one restore through the sample prefix came to.
struct RestoreResult {
    Status opened = Status::Error("not opened");
    RestoreOutcome outcome;
    // The failure of each item, by index ("" for those that ran well or did not run).
    std::string failures() const;
};

// The bundled sample prefix in a temporary folder, with runs over it. Each run opens the prefix
// anew, as a separate program run would, so what it reads was committed to disk before.
class SamplePrefixWorld {
  public:
    SamplePrefixWorld();

    // Whether the prefix was written; check it first in every test.
    bool ready() const { return m_ready; }

    std::unique_ptr<system::WineSystem> openSystem();

    // Backs up `items` of `identity` into `file`.
    BackupOutcome backup(const std::string& identity, const ItemMask& items,
                         const std::filesystem::path& file, const std::string& password = "");
    BackupOutcome backup(const std::string& identity, const ItemMask& items,
                         const std::filesystem::path& file, const std::string& password,
                         const std::vector<std::pair<std::string, std::string>>& header);

    // Opens `file` and runs the restore of the ticked items into `identity` (also when the open
    // failed, so that the run's own refusal shows).
    RestoreResult restore(const std::filesystem::path& file, const std::string& identity,
                          const ItemMask& ticked, const std::string& password = "",
                          BackupProgress* progress = nullptr);

    // The registry text export of a key tree, read from the files on disk.
    std::string exportKey(const std::string& keyPath);
    bool keyExists(const std::string& keyPath);

    // Replaces text in user.reg (which must hold it), before a run reads it.
    void editUserReg(std::string_view from, std::string_view to);

    std::filesystem::path storeFolder(const std::string& identity) const {
        return SampleStoreFolder(prefix, identity);
    }
    std::filesystem::path addressBookFolder() const { return SampleAddressBookFolder(prefix); }
    std::filesystem::path addressBook() const { return SampleAddressBook(prefix); }
    std::filesystem::path stationeryFolder() const { return SampleStationeryFolder(prefix); }
    std::filesystem::path userReg() const { return prefix / "user.reg"; }

    TempDir temp;
    std::filesystem::path prefix = temp / "prefix";
    std::filesystem::path tmp = temp / "tmp";    // TMPDIR of the runs: their work folders
    std::filesystem::path home = temp / "home";  // HOME of the runs
    Environment env;
    RecordingMessageService messages;

  private:
    bool m_ready = false;
};

// A run over the world's prefix put together from its parts, for tests that choose one of them:
// where the Wine server's folder is looked for, and the file operations the archive uses.
struct HandBuiltRun {
    HandBuiltRun(SamplePrefixWorld& world, const std::filesystem::path& wineTemporaryFolder,
                 FileOperations& files = RealFileOperations());

    WineServerProbe probe;
    PrefixLock lock;
    registry::WinePrefixRegistry store;
    FakeWindowsSystem system;
    archive::ZipArchive archive;
    WorkFolder work;
    ItemContext context;
};

}  // namespace quillet::testing
