#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "registry/wine_prefix_registry.h"
#include "support/platform/faulty_file_operations.h"
#include "support/platform/temp_dir.h"

namespace quillet::registry {
namespace {

namespace fs = std::filesystem;
using quillet::testing::FaultyFileOperations;
using quillet::testing::FileCall;
using quillet::testing::ReadFileBytes;
using quillet::testing::TempDir;
using quillet::testing::TestDataDir;
using quillet::testing::WriteFileBytes;

constexpr char kKey[] = "Software\\Committed";

bool IsTemporaryOf(const fs::path& file, const std::string& target) {
    return file.filename().string().starts_with("." + target + ".quillet-");
}

// A prefix holding two registry files that Wine wrote, and a store over it whose file
// operations a test can make fail.
class WinePrefixCommitTest : public ::testing::Test {
  protected:
    WinePrefixCommitTest() {
        fs::create_directories(prefix);
        WriteFileBytes(prefix / "user.reg", userBefore);
        WriteFileBytes(prefix / "system.reg", systemBefore);
    }

    // Creates a key in each file, so that a commit has both to write.
    void changeBothFiles() {
        for (HKey root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
            HKey key;
            ASSERT_EQ(store.RegCreateKey(root, kKey, &key), kErrorSuccess);
            store.RegCloseKey(key);
        }
    }

    bool keyExists(HKey root) {
        HKey key;
        if (store.RegOpenKeyEx(root, kKey, kKeyRead, &key) != kErrorSuccess) return false;
        store.RegCloseKey(key);
        return true;
    }

    std::vector<std::string> prefixListing() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(prefix)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir temp;
    fs::path prefix = temp / "prefix";
    fs::path userReg = prefix / "user.reg";
    fs::path systemReg = prefix / "system.reg";
    const std::string userBefore = ReadFileBytes(TestDataDir() / "wine-user.reg");
    const std::string systemBefore = ReadFileBytes(TestDataDir() / "wine-userdef.reg");
    const std::vector<std::string> bothFiles{"system.reg", "user.reg"};
    WineServerProbe probe{temp / "tmp"};
    PrefixLock lock{prefix};
    FaultyFileOperations files;
    WinePrefixRegistry store{prefix, probe, lock, [] { return std::uint64_t{0x1dd86ae1c8fb512}; },
                             files};
};

// Both new files are on the disk before either is renamed; each rename is followed by a flush of
// the folder, which makes the rename itself durable.
TEST_F(WinePrefixCommitTest, FlushesBothNewFilesBeforeRenamingAndTheFolderAfterEachRename) {
    changeBothFiles();
    files.skipSyncs();
    const Status committed = store.Commit();
    ASSERT_TRUE(committed.ok()) << committed.reason();

    const std::vector<FileCall> flushes = files.callsOf({"fsync"});
    ASSERT_EQ(flushes.size(), 2u);
    const fs::path userTemporary = flushes[0].path;
    const fs::path systemTemporary = flushes[1].path;
    EXPECT_TRUE(IsTemporaryOf(userTemporary, "user.reg")) << userTemporary;
    EXPECT_TRUE(IsTemporaryOf(systemTemporary, "system.reg")) << systemTemporary;
    const std::vector<FileCall> expected{
        {"fsync", userTemporary, {}, "skipped"},    {"fsync", systemTemporary, {}, "skipped"},
        {"rename", userTemporary, userReg, ""},     {"syncFolder", prefix, {}, "skipped"},
        {"rename", systemTemporary, systemReg, ""}, {"syncFolder", prefix, {}, "skipped"},
    };
    EXPECT_EQ(files.callsOf({"fsync", "rename", "syncFolder"}), expected);
    EXPECT_NE(ReadFileBytes(userReg), userBefore);
    EXPECT_NE(ReadFileBytes(systemReg), systemBefore);
}

struct FullDiskCase {
    const char* name;
    const char* file;  // the file whose writing meets the full disk
    int write;         // at its n-th write
};
void PrintTo(const FullDiskCase& test, std::ostream* out) { *out << test.name; }

class WinePrefixFullDiskTest : public WinePrefixCommitTest,
                               public ::testing::WithParamInterface<FullDiskCase> {};

// Whichever write meets the full disk, the commit writes nothing: the files keep their bytes, no
// temporary stays, and the store drops the changes (they are read again from the files).
TEST_P(WinePrefixFullDiskTest, FullDiskInACommitChangesNeitherFile) {
    const FullDiskCase& fullDisk = GetParam();
    changeBothFiles();
    files.limitWriteSize(1024);
    files.failWrite(fullDisk.write, fullDisk.file);

    const Status committed = store.Commit();
    EXPECT_EQ(committed.reason(), "Cannot write " + (prefix / fullDisk.file).string() +
                                      ": No space left on device; nothing was written.");
    EXPECT_EQ(ReadFileBytes(userReg), userBefore);
    EXPECT_EQ(ReadFileBytes(systemReg), systemBefore);
    EXPECT_EQ(prefixListing(), bothFiles);
    EXPECT_FALSE(store.HasChanges());
    EXPECT_FALSE(keyExists(kHkeyCurrentUser));
    EXPECT_FALSE(keyExists(kHkeyLocalMachine));
}

INSTANTIATE_TEST_SUITE_P(Writes, WinePrefixFullDiskTest,
                         ::testing::Values(FullDiskCase{"FirstWriteOfUserReg", "user.reg", 1},
                                           FullDiskCase{"MidUserReg", "user.reg", 5},
                                           FullDiskCase{"MidSystemReg", "system.reg", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// user.reg is replaced, then system.reg's rename fails: user.reg's change is committed, and
// system.reg's stays in memory for the next commit instead of being lost.
TEST_F(WinePrefixCommitTest, SecondFileFailingAfterTheFirstKeepsItsChangesForTheNextCommit) {
    changeBothFiles();
    files.failRenameTo("system.reg", EIO);

    const Status committed = store.Commit();
    EXPECT_EQ(committed.reason(), "Cannot write " + systemReg.string() + ": Input/output error. " +
                                      userReg.string() + " was written, " + systemReg.string() +
                                      " was not.");
    const std::string userAfter = ReadFileBytes(userReg);
    EXPECT_NE(userAfter, userBefore);
    EXPECT_NE(userAfter.find("[Software\\\\Committed]"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(systemReg), systemBefore);
    EXPECT_EQ(prefixListing(), bothFiles);
    EXPECT_TRUE(store.HasChanges());
    EXPECT_TRUE(keyExists(kHkeyCurrentUser));
    EXPECT_TRUE(keyExists(kHkeyLocalMachine));

    files.clearFaults();
    const std::size_t callsBefore = files.calls().size();
    const Status retried = store.Commit();
    ASSERT_TRUE(retried.ok()) << retried.reason();
    EXPECT_NE(ReadFileBytes(systemReg).find("[Software\\\\Committed]"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(userReg), userAfter);
    const std::vector<FileCall> later(files.calls().begin() + callsBefore, files.calls().end());
    EXPECT_EQ(std::count_if(later.begin(), later.end(),
                            [](const FileCall& call) { return call.operation == "rename"; }),
              1)
        << "only system.reg is written again";
    EXPECT_FALSE(store.HasChanges());
}

}  // namespace
}  // namespace quillet::registry
