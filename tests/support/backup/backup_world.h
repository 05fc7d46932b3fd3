#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "backup/item_context.h"
#include "registry/mod_reg.h"
#include "support/platform/recording_message_service.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"
#include "support/registry/memory_registry_store.h"
#include "support/system/fake_windows_system.h"

namespace quillet::testing {

// Subkey paths below HKEY_CURRENT_USER for kTestIdentity.
std::string TestOutlookExpressKey();  // Identities\{id}\Software\Microsoft\Outlook Express
std::string TestVersionKey();         // ... \Outlook Express\5.0
std::string TestAccountsKey();        // Identities\{id}\...\Internet Account Manager\Accounts

// What an item handler works on, built in memory: a system with its registry in memory, whose
// drive C: is `prefix/drive_c` of a temporary folder and whose profile is kTestProfile, a work
// folder holding the information file, and the archive given. Everything starts empty.
class BackupWorld {
  public:
    explicit BackupWorld(archive::Archive& archive);

    // Sets a string value (a name of "" sets the key's unnamed value), creating the key.
    void setText(registry::HKey root, const std::string& subkey, const std::string& name,
                 std::string_view text, std::uint32_t type = registry::kRegSz);
    void createKey(registry::HKey root, const std::string& subkey);
    bool keyExists(const std::string& keyPath) { return modReg.KeyExists(keyPath); }

    // The host path of a Windows path on drive C: (no case folding: write it as it should be).
    std::filesystem::path hostPath(const std::string& windowsPath) const;
    // Writes a file at a Windows path on drive C:, creating its folders.
    void writeFile(const std::string& windowsPath, std::string_view bytes) const;

    // Gives kTestIdentity every item: own accounts, address book, rules, two message stores,
    // blocked senders, a signature, one stationery file and settings.
    void fillEverything();

    // The information file's lines (without their CR LF); empty when there is no file.
    // Fails the current test when the file holds text after its last CR LF.
    std::vector<std::string> informationLines() const;
    // Names in the work folder.
    std::vector<std::string> workFolderNames() const;

    TempDir temp;
    std::filesystem::path prefix;
    RecordingMessageService messages;
    FakeWindowsSystem system;
    registry::MemoryRegistryStore& store = system.memoryStore;
    registry::ModReg& modReg = system.modReg();
    ItemContext context;
};

// The names in a folder in the order the file system lists them, keeping those `wanted` accepts
// that are regular files.
std::vector<std::string> FolderFiles(const std::filesystem::path& folder,
                                     bool (*wanted)(const std::string& name));
// Joins with ";".
std::string JoinNames(const std::vector<std::string>& names);

}  // namespace quillet::testing
