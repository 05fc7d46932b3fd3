#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/backup_item.h"
#include "backup/backup_run.h"
#include "backup/opened_backup.h"
#include "backup/restore_run.h"
#include "platform/wine_prefix.h"
#include "support/recording_message_service.h"
#include "support/temp_dir.h"
#include "system/wine_system.h"

namespace quillet::testing {

// The two identities of the sample prefix: the first has its own accounts key, the second not.
inline constexpr char kMainIdentity[] = "{6F1D7A2C-4B3E-4D59-9A61-2C7E8F0B3D41}";
inline constexpr char kZoeIdentity[] = "{B84E2F17-9C05-4A3D-8E72-5D1F6A0C9E28}";

// HKEY_CURRENT_USER\Identities\<identity>\Software\Microsoft\Outlook Express\5.0 + `below`.
std::string SampleVersionKey(const std::string& identity, const std::string& below = "");
// The identity's own accounts key.
std::string SampleIdentityAccountsKey(const std::string& identity);

// A mask from eight "0"/"1" digits or an item list; fails the test on bad text.
ItemMask ItemsOf(std::string_view items);

// A process environment holding only HOME, TMPDIR and USER.
Environment TestEnvironment(const std::filesystem::path& home, const std::filesystem::path& tmp);

// Everything below `root`: relative path -> the file's bytes, "<folder>" or "-> link target",
// each followed by its permission bits. Two equal snapshots mean nothing was written there.
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot SnapshotTree(const std::filesystem::path& root);
// The paths that differ between two snapshots, for a readable failure.
std::vector<std::string> ChangedPaths(const TreeSnapshot& before, const TreeSnapshot& after);

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

// Where the stored (compressed, maybe encrypted) data of the entry named `name` lies in a zip
// file's bytes, found through the central directory.
struct EntryData {
    std::size_t offset = 0;
    std::size_t size = 0;
};
std::optional<EntryData> FindEntryData(const std::string& zipBytes, std::string_view name);

// What one restore through the sample prefix came to.
struct RestoreResult {
    OpenOutcome opened = OpenOutcome::kInvalid;
    RestoreOutcome outcome;
    // The failure of each item, by index ("" for those that ran well or did not run).
    std::string failures() const;
};

// Records the progress and the status texts of a run.
class RecordingProgress : public BackupProgress {
  public:
    void status(const std::string& text) override { statuses.push_back(text); }
    void progress(int value) override { values.push_back(value); }
    std::vector<std::string> statuses;
    std::vector<int> values;
};

// The bundled sample prefix in a temporary folder, with runs over it. Each run opens the prefix
// anew, as a separate program run would, so what it reads was committed to disk before.
class SamplePrefixWorld {
  public:
    SamplePrefixWorld();

    // Whether the prefix was written; check it first in every test.
    bool ready() const { return m_ready; }

    std::unique_ptr<WineSystem> openSystem();

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

    std::filesystem::path storeFolder(const std::string& identity) const;
    std::filesystem::path addressBookFolder() const;
    std::filesystem::path addressBook() const { return addressBookFolder() / "quillet.wab"; }
    std::filesystem::path stationeryFolder() const;
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

// The regular files directly in a folder, name -> bytes.
std::map<std::string, std::string> FilesIn(const std::filesystem::path& folder);

}  // namespace quillet::testing
