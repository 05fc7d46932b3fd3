#include "backup/restore_test_world.h"

#include <gtest/gtest.h>

#include "archive/zip_archive.h"
#include "backup/run_environment.h"
#include "registry/registry_text.h"
#include "support/platform/fake_environment.h"

namespace quillet::testing {
namespace fs = std::filesystem;

ItemMask ItemsOf(std::string_view items) {
    Result<ItemMask> mask = ParseItemList(items);
    EXPECT_TRUE(mask.ok()) << mask.reason();
    return mask.ok() ? *mask : ItemMask{};
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

std::string RestoreResult::failures() const {
    std::string text;
    for (int i = 0; i < kItemCount; ++i) {
        if (!outcome.items[i].failure.empty()) {
            text += std::string(kItems[i].commandName) + ": " + outcome.items[i].failure + "\n";
        }
    }
    return text + outcome.started.reason();
}

SamplePrefixWorld::SamplePrefixWorld()
    : env(FakeEnvironment(
          {{"HOME", home.string()}, {"TMPDIR", tmp.string()}, {"USER", "quillet"}})) {
    fs::create_directories(tmp);
    fs::create_directories(home);
    m_ready = MakeSamplePrefix(prefix);
}

std::unique_ptr<system::WineSystem> SamplePrefixWorld::openSystem() {
    auto system = system::WineSystem::Open(prefix.string(), env, messages);
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
    std::unique_ptr<system::WineSystem> system = openSystem();
    if (!system) return {};
    auto run = RunEnvironment::Create(*system, env);
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
    std::unique_ptr<system::WineSystem> system = openSystem();
    if (!system) return result;
    auto run = RunEnvironment::Create(*system, env);
    EXPECT_TRUE(run.ok()) << run.reason();
    if (!run) return result;
    OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
    result.opened = backup.open(file, password);
    result.outcome = RunRestore((*run)->context(), backup, {identity, ticked}, progress);
    return result;
}

std::string SamplePrefixWorld::exportKey(const std::string& keyPath) {
    std::unique_ptr<system::WineSystem> system = openSystem();
    if (!system) return {};
    registry::ModReg& modReg = system->modReg();
    TempDir exported;
    const Status status = registry::ExportKeyTree(modReg, keyPath, exported / "export.txt");
    EXPECT_TRUE(status.ok()) << status.reason();
    return ReadFileBytes(exported / "export.txt");
}

bool SamplePrefixWorld::keyExists(const std::string& keyPath) {
    std::unique_ptr<system::WineSystem> system = openSystem();
    if (!system) return false;
    registry::ModReg& modReg = system->modReg();
    return modReg.KeyExists(keyPath);
}

void SamplePrefixWorld::editUserReg(std::string_view from, std::string_view to) {
    std::string text = ReadFileBytes(userReg());
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    WriteFileBytes(userReg(), text);
}

HandBuiltRun::HandBuiltRun(SamplePrefixWorld& world,
                           const std::filesystem::path& wineTemporaryFolder, FileOperations& files)
    : probe{wineTemporaryFolder},
      lock{world.prefix},
      store{world.prefix, probe, lock},
      system{store, world.prefix, world.messages},
      archive{files},
      // A work folder that cannot be made ends the test at once (Result refuses its value).
      work{std::move(WorkFolder::CreateIn(world.tmp).value())},
      context{.system = system,
              .archive = archive,
              .workFolder = work.path(),
              .informationFile = work.path() / "quillet.dat",
              .yield = {}} {
    system.idleCheck = [this, &world] { return RefuseWhileWineRuns(probe, world.prefix); };
    system.prefixLock = &lock;
}

}  // namespace quillet::testing
