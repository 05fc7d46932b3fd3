#include "backup/restore_test_world.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "archive/zip_archive.h"
#include "backup/run_environment.h"
#include "registry/registry_text.h"

extern char** environ;

namespace quillet::testing {
namespace fs = std::filesystem;

namespace {

bool WriteSamplePrefix(const fs::path& folder) {
    const std::string script = QUILLET_SOURCE_DIR "/examples/make-sample-prefix.sh";
    std::vector<std::string> argv{"/bin/bash", script, folder.string()};
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child;
    const int spawned = posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::uint32_t Little(const std::string& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    }
    return value;
}

}  // namespace

std::string SampleVersionKey(const std::string& identity, const std::string& below) {
    return "HKEY_CURRENT_USER\\Identities\\" + identity +
           "\\Software\\Microsoft\\Outlook Express\\5.0" + below;
}

std::string SampleIdentityAccountsKey(const std::string& identity) {
    return "HKEY_CURRENT_USER\\Identities\\" + identity +
           "\\Software\\Microsoft\\Internet Account Manager\\Accounts";
}

ItemMask ItemsOf(std::string_view items) {
    Result<ItemMask> mask = ParseItemList(items);
    EXPECT_TRUE(mask.ok()) << mask.reason();
    return mask.ok() ? *mask : ItemMask{};
}

Environment TestEnvironment(const fs::path& home, const fs::path& tmp) {
    const std::map<std::string, std::string> variables{
        {"HOME", home.string()}, {"TMPDIR", tmp.string()}, {"USER", "quillet"}};
    return Environment{[variables](const std::string& name) -> std::optional<std::string> {
        const auto found = variables.find(name);
        if (found == variables.end()) return std::nullopt;
        return found->second;
    }};
}

TreeSnapshot SnapshotTree(const fs::path& root) {
    TreeSnapshot snapshot;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path& path = it->path();
        std::string what;
        const fs::file_status status = fs::symlink_status(path);
        if (fs::is_symlink(status)) {
            what = "-> " + fs::read_symlink(path).string();
        } else if (fs::is_directory(status)) {
            what = "<folder>";
        } else {
            what = ReadFileBytes(path);
        }
        char mode[16];
        std::snprintf(mode, sizeof mode, " %04o", static_cast<unsigned>(status.permissions()));
        snapshot[fs::relative(path, root).string()] = what + mode;
    }
    EXPECT_FALSE(error) << root << ": " << error.message();
    return snapshot;
}

std::vector<std::string> ChangedPaths(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::vector<std::string> changed;
    for (const auto& [path, what] : before) {
        const auto found = after.find(path);
        if (found == after.end()) {
            changed.push_back("removed " + path);
        } else if (found->second != what) {
            changed.push_back("changed " + path);
        }
    }
    for (const auto& [path, what] : after) {
        if (!before.contains(path)) changed.push_back("added " + path);
    }
    return changed;
}

std::string InformationText(const std::vector<std::pair<std::string, std::string>>& lines) {
    std::string text;
    for (const auto& [key, value] : lines) text += key + "=" + value + "\r\n";
    return text;
}

void PackArchive(const fs::path& file,
                 const std::vector<std::pair<std::string, std::string>>& entries,
                 const std::string& password) {
    TempDir staging;
    archive::ZipArchive zip;
    ASSERT_TRUE(zip.CreateArchive(file).ok());
    for (const auto& [name, bytes] : entries) {
        WriteFileBytes(staging / name, bytes);
        Result<int> added = zip.AddFileEntry(staging / name);
        ASSERT_TRUE(added.ok()) << name << ": " << added.reason();
    }
    zip.WritePassword(password);
    zip.EncryptOnWrite(!password.empty());
    const Status saved = zip.SaveArchive();
    ASSERT_TRUE(saved.ok()) << saved.reason();
}

int PatchFileBytes(const fs::path& file, std::string_view from, std::string_view to) {
    EXPECT_EQ(from.size(), to.size());
    std::string bytes = ReadFileBytes(file);
    int count = 0;
    for (std::size_t at = bytes.find(from); at != std::string::npos;
         at = bytes.find(from, at + to.size())) {
        bytes.replace(at, from.size(), to);
        ++count;
    }
    WriteFileBytes(file, bytes);
    return count;
}

std::optional<EntryData> FindEntryData(const std::string& zipBytes, std::string_view name) {
    const std::size_t end = zipBytes.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos) return std::nullopt;
    const std::size_t records = Little(zipBytes, end + 10, 2);
    std::size_t at = Little(zipBytes, end + 16, 4);
    for (std::size_t i = 0; i < records; ++i) {
        if (zipBytes.compare(at, 4, std::string("PK\x01\x02", 4)) != 0) return std::nullopt;
        const std::size_t compressed = Little(zipBytes, at + 20, 4);
        const std::size_t nameLength = Little(zipBytes, at + 28, 2);
        const std::size_t extraLength = Little(zipBytes, at + 30, 2);
        const std::size_t commentLength = Little(zipBytes, at + 32, 2);
        const std::size_t local = Little(zipBytes, at + 42, 4);
        if (zipBytes.compare(at + 46, nameLength, name) == 0 && nameLength == name.size()) {
            const std::size_t localName = Little(zipBytes, local + 26, 2);
            const std::size_t localExtra = Little(zipBytes, local + 28, 2);
            return EntryData{local + 30 + localName + localExtra, compressed};
        }
        at += 46 + nameLength + extraLength + commentLength;
    }
    return std::nullopt;
}

std::string RestoreResult::failures() const {
    std::string text;
    for (int i = 0; i < kItemCount; ++i) {
        if (!outcome.items[i].failure.empty()) {
            text += std::string(kItems[i].commandName) + ": " + outcome.items[i].failure + "\n";
        }
    }
    return text + outcome.refusal;
}

SamplePrefixWorld::SamplePrefixWorld() : env(TestEnvironment(home, tmp)) {
    fs::create_directories(tmp);
    fs::create_directories(home);
    m_ready = WriteSamplePrefix(prefix);
}

std::unique_ptr<WineSystem> SamplePrefixWorld::openSystem() {
    auto system = WineSystem::Open(prefix.string(), env);
    EXPECT_TRUE(system.ok()) << system.reason();
    return system.ok() ? std::move(system.value()) : nullptr;
}

BackupOutcome SamplePrefixWorld::backup(const std::string& identity, const ItemMask& items,
                                        const fs::path& file, const std::string& password) {
    return backup(identity, items, file, password,
                  InteractiveHeader("host", "me", "Main Identity", "2024-05-01 10:00:00", ""));
}

BackupOutcome SamplePrefixWorld::backup(
    const std::string& identity, const ItemMask& items, const fs::path& file,
    const std::string& password, const std::vector<std::pair<std::string, std::string>>& header) {
    std::unique_ptr<WineSystem> system = openSystem();
    if (!system) return {};
    auto run = RunEnvironment::Create(*system, messages, env);
    EXPECT_TRUE(run.ok()) << run.reason();
    if (!run) return {};
    BackupRequest request{identity, header, items, password, file};
    BackupOutcome outcome = RunBackup((*run)->context(), request, nullptr);
    EXPECT_TRUE(outcome.written) << outcome.writeFailure;
    return outcome;
}

RestoreResult SamplePrefixWorld::restore(const fs::path& file, const std::string& identity,
                                         const ItemMask& ticked, const std::string& password,
                                         BackupProgress* progress) {
    RestoreResult result;
    std::unique_ptr<WineSystem> system = openSystem();
    if (!system) return result;
    auto run = RunEnvironment::Create(*system, messages, env);
    EXPECT_TRUE(run.ok()) << run.reason();
    if (!run) return result;
    OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
    result.opened = backup.open(file, password);
    result.outcome = RunRestore((*run)->context(), backup, {identity, ticked}, progress);
    return result;
}

std::string SamplePrefixWorld::exportKey(const std::string& keyPath) {
    std::unique_ptr<WineSystem> system = openSystem();
    if (!system) return {};
    registry::ModReg modReg(system->registry(), messages);
    TempDir exported;
    const Status status = registry::ExportKeyTree(modReg, keyPath, exported / "export.txt");
    EXPECT_TRUE(status.ok()) << status.reason();
    return ReadFileBytes(exported / "export.txt");
}

bool SamplePrefixWorld::keyExists(const std::string& keyPath) {
    std::unique_ptr<WineSystem> system = openSystem();
    if (!system) return false;
    registry::ModReg modReg(system->registry(), messages);
    return modReg.KeyExists(keyPath);
}

void SamplePrefixWorld::editUserReg(std::string_view from, std::string_view to) {
    std::string text = ReadFileBytes(userReg());
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    WriteFileBytes(userReg(), text);
}

fs::path SamplePrefixWorld::storeFolder(const std::string& identity) const {
    return prefix / "drive_c/users/quillet/Local Settings/Application Data/Identities" / identity /
           "Microsoft/Outlook Express";
}

fs::path SamplePrefixWorld::addressBookFolder() const {
    return prefix / "drive_c/users/quillet/Application Data/Microsoft/Address Book";
}

fs::path SamplePrefixWorld::stationeryFolder() const {
    return prefix / "drive_c/Program Files/Common Files/Microsoft Shared/Stationery";
}

std::map<std::string, std::string> FilesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().filename().string()] = ReadFileBytes(entry.path());
        }
    }
    return files;
}

}  // namespace quillet::testing
