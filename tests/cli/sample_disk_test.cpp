// The sample Windows disk (examples/make-sample-disk.sh) and quillet-cli over it: a backup of an
// identity holds what the same identity's backup from the sample prefix holds and restores into
// the prefix, no command writes or touches the disk, and a disk whose hives or profile cannot be
// read is refused.

#include "cli/sample_disk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "backup/backup_item.h"
#include "backup/information_file.h"
#include "cli/sample_prefix_cli.h"
#include "platform/case_fold.h"
#include "schedule/scheduled_run.h"
#include "support/archive/backup_reader.h"
#include "support/platform/fake_environment.h"
#include "support/platform/folder_snapshot.h"

namespace quillet::testing {
namespace {

namespace fs = std::filesystem;

// The information file's lines that say where and when a backup was made.
bool IsOriginLine(const std::string& line) {
    for (const char* key : {"BackupComputer=", "BackupLogonUser=", "BackupTime="}) {
        if (line.starts_with(key)) return true;
    }
    return false;
}

// The message stores directly in a store folder (".dbx" in any case), name -> bytes.
std::map<std::string, std::string> StoreFiles(const fs::path& folder) {
    std::map<std::string, std::string> stores = FilesIn(folder);
    std::erase_if(stores, [](const auto& file) {
        return AsciiLower(fs::path(file.first).extension().string()) != ".dbx";
    });
    return stores;
}

TEST(SampleDiskMakerTest, WritesTheSameBytesAndTimesOnEveryRun) {
    TempDir temp;
    ASSERT_TRUE(MakeSampleDisk(temp / "first"));
    ASSERT_TRUE(MakeSampleDisk(temp / "second"));
    const TreeSnapshot first = SnapshotTreeWithTimes(temp / "first");
    EXPECT_TRUE(first.contains("Documents and Settings/quillet/NTUSER.DAT"));
    EXPECT_EQ(ChangedPaths(first, SnapshotTreeWithTimes(temp / "second")),
              std::vector<std::string>{});
}

class SampleDiskCliTest : public SamplePrefixCliTest {
  protected:
    void SetUp() override {
        SamplePrefixCliTest::SetUp();
        ASSERT_TRUE(MakeSampleDisk(disk));
    }
    // The command line with "--windows-root <the sample disk>" in front.
    CliRun runOnDisk(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--windows-root", disk.string()});
        return runAsGiven(arguments);
    }
    // The registry text of a key, exported from the disk or the prefix; the export must succeed.
    std::string exportKey(bool fromDisk, const std::string& key) {
        const std::string file = (temp / "export.txt").string();
        const std::vector<std::string> arguments{"reg", "export", key, file};
        const CliRun result = fromDisk ? runOnDisk(arguments) : run(arguments);
        EXPECT_EQ(result.exitCode, 0) << key << ": " << result.err;
        return ReadFileBytes(file);
    }

    fs::path disk = temp / "disk";
};

// ---------------------------------------------------------------------------------------------
// Each identity of the disk, and the prefix's other identity to restore it into.

struct IdentityCase {
    const char* name;
    const char* identity;
    const char* otherIdentity;
};

void PrintTo(const IdentityCase& identityCase, std::ostream* out) { *out << identityCase.name; }

class SampleDiskIdentityTest : public SampleDiskCliTest,
                               public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(SampleDiskIdentityTest, BackupHoldsWhatThePrefixBackupHoldsAndRestoresIntoThePrefix) {
    const std::string identity = GetParam().identity;
    const fs::path fromDisk = temp / "disk.qbk";
    const fs::path fromPrefix = temp / "prefix.qbk";
    const CliRun diskRun =
        runOnDisk({"backup", "--identity", identity, "--out", fromDisk.string()});
    ASSERT_EQ(diskRun.exitCode, 0) << diskRun.err;
    const CliRun prefixRun = run({"backup", "--identity", identity, "--out", fromPrefix.string()});
    ASSERT_EQ(prefixRun.exitCode, 0) << prefixRun.err;

    const BackupEntries diskEntries = ReadBackupEntries(fromDisk);
    const BackupEntries prefixEntries = ReadBackupEntries(fromPrefix);
    ASSERT_EQ(MaskedEntryNames(diskEntries), MaskedEntryNames(prefixEntries));
    for (std::size_t i = 0; i < diskEntries.size(); ++i) {
        const auto& [name, diskBytes] = diskEntries[i];
        if (name != kInformationFileName) {
            EXPECT_EQ(diskBytes, prefixEntries[i].second) << name;
            continue;
        }
        std::vector<std::string> diskLines = SplitCrLfLines(MaskWorkFileNames(diskBytes));
        std::vector<std::string> prefixLines =
            SplitCrLfLines(MaskWorkFileNames(prefixEntries[i].second));
        EXPECT_EQ(INIValue("BackupComputer", diskBytes), kSampleDiskComputer);
        std::erase_if(diskLines, IsOriginLine);
        std::erase_if(prefixLines, IsOriginLine);
        EXPECT_EQ(diskLines, prefixLines);
    }

    // Restored into the prefix's other identity, which then holds the disk identity's data.
    const std::string target = GetParam().otherIdentity;
    const CliRun restored = run({"restore", fromDisk.string(), "--identity", target});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    for (const ItemDescription& item : kItems) {
        if (item.place != ItemPlace::kVersionSubkey) continue;
        const std::string below = "\\" + std::string(item.versionSubkey);
        EXPECT_EQ(exportKey(false, SampleVersionKey(target, below)),
                  exportKey(true, SampleVersionKey(identity, below)))
            << item.versionSubkey;
    }
    // Every store of the disk's identity, byte for byte; the target's own other stores stay.
    std::map<std::string, std::string> restoredStores =
        StoreFiles(SampleStoreFolder(prefix, target));
    for (const auto& [name, bytes] : StoreFiles(SampleDiskStoreFolder(disk, identity))) {
        EXPECT_EQ(restoredStores[name], bytes) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachIdentity, SampleDiskIdentityTest,
    ::testing::Values(IdentityCase{"Main", kSampleMainIdentity, kSampleZoeIdentity},
                      IdentityCase{"Zoe", kSampleZoeIdentity, kSampleMainIdentity}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

TEST_F(SampleDiskCliTest, NoCommandWritesOrTouchesTheDisk) {
    const std::string backup = (temp / "main.qbk").string();
    const std::string exported = (temp / "identities.txt").string();
    const std::vector<std::vector<std::string>> commands{
        {"identities"},
        {"--user", kSampleDiskUser, "identities"},
        {"backup", "--identity", kSampleMainUserName, "--out", backup},
        {"reg", "export", "HKEY_CURRENT_USER\\Identities", exported},
        {"restore", backup, "--identity", kSampleMainUserName},
        {"reg", "import", "HKEY_CURRENT_USER\\Identities", exported},
    };
    const TreeSnapshot before = SnapshotTreeWithTimes(disk);
    for (const auto& command : commands) {
        runOnDisk(command);
        EXPECT_EQ(ChangedPaths(before, SnapshotTreeWithTimes(disk)), std::vector<std::string>{})
            << command.front() << " " << command.back();
    }
    EXPECT_TRUE(fs::exists(backup));
    EXPECT_TRUE(fs::exists(exported));
}

// The link rule itself is WindowsDiskSystemTest's; here a backup is refused by it.
TEST_F(SampleDiskCliTest, AStoreLinkedOutsideTheDiskIsNotRead) {
    const fs::path store = SampleDiskStoreFolder(disk, kSampleMainIdentity) / "Inbox.dbx";
    WriteFileBytes(temp / "host secret", "host secret");
    fs::remove(store);
    fs::create_symlink(temp / "host secret", store);
    const fs::path backup = temp / "linked.qbk";
    EXPECT_EQ(runOnDisk({"backup", "--identity", kSampleMainUserName, "--items", "messages",
                         "--out", backup.string()})
                  .exitCode,
              2);
    EXPECT_FALSE(fs::exists(backup));
}

TEST_F(SampleDiskCliTest, AScheduledJobOnADiskReadsTheDiskAndNoOtherSystem) {
    const fs::path file = temp / "scheduled.qbk";
    // No prefix is there to fall back on: the backup can come from the disk only.
    EXPECT_EQ(RunScheduledBackup(
                  {.prefix = (temp / "no prefix").string(),
                   .windowsRoot = disk.string(),
                   .user = std::nullopt},
                  std::string("sf=") + kSampleMainIdentity + "xm=01000000ps=bf=" + file.string(),
                  FakeEnvironment({{"HOME", (temp / "home").string()}})),
              0);
    EXPECT_EQ(MaskedEntryNames(ReadBackupEntries(file)),
              (std::vector<std::string>{"quillet.wab", kInformationFileName}));
}

// ---------------------------------------------------------------------------------------------
// Disks that cannot be backed up: each is refused with a reason naming what is wrong, exit
// status 2, and nothing written.

struct BrokenDiskCase {
    const char* name;
    std::vector<std::string> makerOptions;
    std::vector<std::string> userOption;
    std::function<void(const fs::path& disk)> breakDisk;
    std::vector<std::string> reasonNames;  // each appears in the reason
};

void PrintTo(const BrokenDiskCase& broken, std::ostream* out) { *out << broken.name; }

void OverwriteStart(const fs::path& file, const std::string& bytes) {
    std::string content = ReadFileBytes(file);
    content.replace(0, bytes.size(), bytes);
    WriteFileBytes(file, content);
}

std::vector<BrokenDiskCase> BrokenDiskCases() {
    return {
        {"DamagedHeader",
         {},
         {},
         [](const fs::path& disk) { OverwriteStart(SampleDiskUserHive(disk), "XXXX"); },
         {"NTUSER.DAT"}},
        {"TruncatedHive",
         {},
         {},
         [](const fs::path& disk) { fs::resize_file(SampleDiskSoftwareHive(disk), 6000); },
         {"software"}},
        {"ProfileWithoutUserHive",
         {},
         {"--user", kSampleDiskUser},
         [](const fs::path& disk) { fs::remove(SampleDiskUserHive(disk)); },
         {"NTUSER.DAT"}},
        {"TwoCandidateProfiles",
         {"--second-profile", "former"},
         {},
         [](const fs::path&) {},
         {kSampleDiskUser, "former"}},
    };
}

class BrokenDiskTest : public ::testing::TestWithParam<BrokenDiskCase> {
  protected:
    TempDir temp;
    cli::CliContext context{FakeEnvironment({{"HOME", (temp / "home").string()},
                                             {"TMPDIR", (temp / "tmp").string()},
                                             {"USER", "quillet"}})};
};

TEST_P(BrokenDiskTest, BackupIsRefusedWithTheReasonAndWritesNothing) {
    const BrokenDiskCase& broken = GetParam();
    const fs::path disk = temp / "disk";
    const fs::path out = temp / "out";
    fs::create_directories(temp / "home");
    fs::create_directories(temp / "tmp");
    fs::create_directories(out);
    ASSERT_TRUE(MakeSampleDisk(disk, broken.makerOptions));
    broken.breakDisk(disk);
    const TreeSnapshot before = SnapshotTreeWithTimes(disk);

    std::vector<std::string> arguments{"--windows-root", disk.string()};
    arguments.insert(arguments.end(), broken.userOption.begin(), broken.userOption.end());
    for (const char* word : {"backup", "--identity", kSampleMainUserName, "--out"}) {
        arguments.push_back(word);
    }
    arguments.push_back((out / "main.qbk").string());
    const CliRun result = RunCliInProcess(context, arguments);

    EXPECT_EQ(result.exitCode, 2) << result.err;
    for (const std::string& name : broken.reasonNames) {
        EXPECT_NE(result.err.find(name), std::string::npos) << result.err;
    }
    EXPECT_EQ(FolderListing(out), std::vector<std::string>{});
    EXPECT_EQ(FolderListing(temp / "tmp"), std::vector<std::string>{});
    EXPECT_EQ(ChangedPaths(before, SnapshotTreeWithTimes(disk)), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(EachBrokenDisk, BrokenDiskTest, ::testing::ValuesIn(BrokenDiskCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::testing
