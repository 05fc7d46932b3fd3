#include "support/backup/backup_world.h"

#include <gtest/gtest.h>

#include "support/archive/backup_reader.h"

namespace quillet::testing {

using registry::kHkeyCurrentUser;
using registry::kHkeyLocalMachine;

std::string TestOutlookExpressKey() {
    return std::string("Identities\\") + kTestIdentity + "\\Software\\Microsoft\\Outlook Express";
}

std::string TestVersionKey() { return TestOutlookExpressKey() + "\\5.0"; }

std::string TestAccountsKey() {
    return std::string("Identities\\") + kTestIdentity +
           "\\Software\\Microsoft\\Internet Account Manager\\Accounts";
}

BackupWorld::BackupWorld(archive::Archive& archive)
    : prefix(temp / "prefix"),
      system(prefix, messages),
      context{system, archive, temp / "work", temp / "work" / "quillet.dat", {}} {
    system.facts.userProfile = kTestProfile;
    std::filesystem::create_directories(prefix / "drive_c");
    std::filesystem::create_directories(prefix / "dosdevices");
    std::filesystem::create_symlink("../drive_c", prefix / "dosdevices" / "c:");
    std::filesystem::create_directories(context.workFolder);
}

void BackupWorld::setText(registry::HKey root, const std::string& subkey, const std::string& name,
                          std::string_view text, std::uint32_t type) {
    registry::HKey key;
    ASSERT_EQ(store.RegCreateKey(root, subkey, &key), registry::kErrorSuccess) << subkey;
    const std::string data(text);
    ASSERT_EQ(
        store.RegSetValueEx(key, name, type, reinterpret_cast<const std::uint8_t*>(data.c_str()),
                            static_cast<std::uint32_t>(data.size() + 1)),
        registry::kErrorSuccess)
        << subkey << " " << name;
    store.RegCloseKey(key);
    ASSERT_TRUE(store.Commit().ok());
}

void BackupWorld::createKey(registry::HKey root, const std::string& subkey) {
    registry::HKey key;
    ASSERT_EQ(store.RegCreateKey(root, subkey, &key), registry::kErrorSuccess) << subkey;
    store.RegCloseKey(key);
    ASSERT_TRUE(store.Commit().ok());
}

std::filesystem::path BackupWorld::hostPath(const std::string& windowsPath) const {
    std::string relative = windowsPath.substr(3);  // after "C:\"
    for (char& c : relative) {
        if (c == '\\') c = '/';
    }
    return prefix / "drive_c" / relative;
}

void BackupWorld::writeFile(const std::string& windowsPath, std::string_view bytes) const {
    WriteFileBytes(hostPath(windowsPath), bytes);
}

void BackupWorld::fillEverything() {
    setText(kHkeyCurrentUser, std::string("Identities\\") + kTestIdentity, "Username", "Tester");
    setText(kHkeyCurrentUser, TestAccountsKey() + "\\00000001", "Account Name", "Own Mail");
    setText(kHkeyCurrentUser, "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "",
            "C:\\users\\me\\Address Book\\me.wab");
    writeFile("C:\\users\\me\\Address Book\\me.wab", "address book bytes");
    setText(kHkeyCurrentUser, TestVersionKey(), "Store Root", "%UserProfile%\\Store",
            registry::kRegExpandSz);
    writeFile("C:\\users\\me\\Store\\Inbox.dbx", "inbox messages");
    writeFile("C:\\users\\me\\Store\\Folders.dbx", "folder list");
    setText(kHkeyCurrentUser, TestVersionKey() + "\\Rules\\Mail\\000", "Name", "Rule one");
    setText(kHkeyCurrentUser, TestVersionKey() + "\\Block Senders\\Mail\\Criteria\\0", "Value",
            "spam@example.com");
    setText(kHkeyCurrentUser, TestVersionKey() + "\\signatures\\00000000", "name", "Work");
    setText(kHkeyCurrentUser, TestVersionKey() + "\\Mail", "Warn on Delete", "yes");
    setText(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
            "C:\\Common Files");
    writeFile("C:\\Common Files\\Microsoft Shared\\Stationery\\Ivy.htm", "<html>ivy</html>");
}

std::vector<std::string> BackupWorld::informationLines() const {
    if (!std::filesystem::exists(context.informationFile)) return {};
    return SplitCrLfLines(ReadFileBytes(context.informationFile));
}

std::vector<std::string> BackupWorld::workFolderNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(context.workFolder)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

std::vector<std::string> FolderFiles(const std::filesystem::path& folder,
                                     bool (*wanted)(const std::string& name)) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && wanted(name)) names.push_back(name);
    }
    return names;
}

std::string JoinNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        if (!joined.empty()) joined += ';';
        joined += name;
    }
    return joined;
}

}  // namespace quillet::testing
