#include "backup_world.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <regex>

#include "archive/zip_archive.h"
#include "support/child_process.h"

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
      modReg(store, messages),
      paths(prefix),
      context{modReg, archive, paths, kTestProfile, temp / "work", temp / "work" / "quillet.dat",
              {},     {}} {
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

std::vector<std::string> SplitCrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR LF: " << text.substr(start);
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
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

std::vector<std::pair<std::string, std::string>> ReadBackup(const std::filesystem::path& file,
                                                            const std::string& password) {
    std::vector<std::pair<std::string, std::string>> contents;
    archive::ZipArchive archive;
    const Status loaded = archive.LoadArchive(file);
    if (!loaded) {
        ADD_FAILURE() << file << ": " << loaded.reason();
        return contents;
    }
    archive.ReadPassword(password);
    TempDir extracted;
    for (const archive::ArchiveEntry& entry : archive.entries()) {
        const Status written = archive.ExtractEntryTo(entry.name, extracted / entry.name);
        EXPECT_TRUE(written.ok()) << entry.name << ": " << written.reason();
        contents.emplace_back(entry.name, ReadFileBytes(extracted / entry.name));
    }
    return contents;
}

std::vector<std::string> EntryNamePattern(
    const std::vector<std::pair<std::string, std::string>>& entries) {
    static const std::regex workFile("(OBA|OBR|OBS)[0-9A-F]{1,4}\\.TMP");
    std::vector<std::string> names;
    for (const auto& [name, content] : entries) {
        names.push_back(std::regex_match(name, workFile) ? name.substr(0, 3) + "*" : name);
    }
    return names;
}

std::vector<std::string> FolderListing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeSamplePrefix(const std::filesystem::path& folder) {
    const std::string script = QUILLET_SOURCE_DIR "/examples/make-sample-prefix.sh";
    const pid_t child = ForkChild([&] {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, 1);
        ::dup2(quiet, 2);
        ::execl("/bin/bash", "bash", script.c_str(), folder.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
    if (child < 0) return false;
    const int status = WaitForChild(child);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace quillet::testing
