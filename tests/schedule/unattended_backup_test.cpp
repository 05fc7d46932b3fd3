#include "schedule/unattended_backup.h"

#include <gtest/gtest.h>

#include "archive/zip_archive.h"
#include "backup/information_file.h"
#include "platform/case_fold.h"
#include "support/archive/backup_reader.h"
#include "support/archive/fake_archive.h"
#include "support/backup/backup_world.h"
#include "support/platform/child_process.h"
#include "support/platform/folder_snapshot.h"

namespace quillet {
namespace {

using archive::FakeArchive;
using testing::BackupWorld;
using testing::FolderListing;
using testing::kSampleMainIdentity;
using testing::kTestIdentity;
using testing::MaskedEntryNames;
using testing::ProgramRun;
using testing::ReadBackupEntries;
using testing::ReadFileBytes;
using testing::SplitCrLfLines;
using testing::TempDir;
using testing::WriteFileBytes;

using Lines = std::vector<std::string>;

constexpr char kTime[] = "05/06/24 07:08:09";

Lines SavedInformation(const FakeArchive& archive, const std::filesystem::path& file) {
    const auto& entries = archive.archives().at(file).entries;
    EXPECT_EQ(entries.back().first, "quillet.dat");
    return SplitCrLfLines(entries.back().second);
}

TEST(UnattendedBackupTest, OnlyMaskDigitsOfOneRunTheirItems) {
    FakeArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    const std::filesystem::path file = world.temp / "auto.qbk";
    const JobCommandLine job{kTestIdentity, "12000090", "", file.string()};
    const UnattendedResult result = RunUnattendedBackup(world.context, job, kTime);
    EXPECT_EQ(result.exitCode, kExitOk);
    EXPECT_TRUE(result.failures.empty());
    const Lines lines = SavedInformation(archive, file);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "BackupIdentity=Auto Backup");
    EXPECT_EQ(lines[1], std::string("BackupTime=") + kTime);
    EXPECT_EQ(lines[2], "BackupInformation=Auto Backup");
    EXPECT_EQ(lines[3].rfind("BackupAccounts=OBA", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4].rfind(std::string(kCodePageKey) + "=", 0), 0u) << lines[4];
    EXPECT_EQ(lines[5], "BackupItem=10000000");
    EXPECT_EQ(archive.archives().at(file).password, "");
}

TEST(UnattendedBackupTest, TheExitStatusSaysWhatWasWritten) {
    struct Case {
        const char* name;
        const char* mask;
        const char* failingOperation;  // or null
        int exitCode;
        const char* failure;  // a text in one of the failure lines, or null
    };
    const Case cases[] = {
        {"everything saved", "11111111", nullptr, kExitOk, nullptr},
        {"an item failed", "00010001", nullptr, kExitPartial, "Backup Messages"},
        {"not written", "11111111", "SaveArchive", kExitNothingDone, "no room"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeArchive archive;
        BackupWorld world(archive);
        world.fillEverything();
        std::filesystem::remove_all(world.hostPath("C:\\users\\me\\Store"));
        if (std::string(c.mask) == "11111111") {
            world.writeFile("C:\\users\\me\\Store\\Inbox.dbx", "inbox");
        }
        if (c.failingOperation != nullptr) archive.failOperation(c.failingOperation, "no room");
        const std::filesystem::path file = world.temp / "auto.qbk";
        const UnattendedResult result = RunUnattendedBackup(
            world.context, JobCommandLine{kTestIdentity, c.mask, "pw", file.string()}, kTime);
        EXPECT_EQ(result.exitCode, c.exitCode);
        if (c.failure == nullptr) {
            EXPECT_TRUE(result.failures.empty());
            const Lines lines = SavedInformation(archive, file);
            EXPECT_EQ(lines.back(), std::string("BackupItem=") + c.mask);
            EXPECT_EQ(archive.archives().at(file).password, "pw");
        } else {
            std::string all;
            for (const std::string& line : result.failures) all += line + "\n";
            EXPECT_NE(all.find(c.failure), std::string::npos) << all;
        }
        EXPECT_TRUE(world.workFolderNames().empty());
    }
}

TEST(UnattendedBackupTest, AJobThatTicksNothingOrNamesNoIdentityKeepsThePreviousBackup) {
    struct Case {
        const char* what;
        const char* identityKey;
        const char* mask;
        const char* failure;
    };
    const Case cases[] = {
        {"nothing ticked", kTestIdentity, "00000000", kSelectItemMessage},
        {"no digit is a one", kTestIdentity, "22222222", kSelectItemMessage},
        {"mistyped identity key", "{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E8}", "11111111",
         "is not an identity of this prefix"},
        {"no identity key of the prefix", "Main Identity", "10000001",
         "is not an identity of this prefix"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        archive::ZipArchive archive;
        BackupWorld world(archive);
        world.fillEverything();
        const std::filesystem::path file = world.temp / "backups" / "auto.qbk";
        WriteFileBytes(file, "the previous backup");
        const UnattendedResult result = RunUnattendedBackup(
            world.context, JobCommandLine{c.identityKey, c.mask, "", file.string()}, kTime);
        EXPECT_EQ(result.exitCode, kExitNothingDone);
        EXPECT_EQ(result.failures.size(), 1u);
        const std::string said = result.failures.empty() ? "" : result.failures[0];
        EXPECT_NE(said.find(c.failure), std::string::npos) << said;
        EXPECT_EQ(ReadFileBytes(file), "the previous backup");
        EXPECT_EQ(FolderListing(file.parent_path()), std::vector<std::string>{"auto.qbk"});
        EXPECT_TRUE(world.workFolderNames().empty());
    }
}

TEST(UnattendedBackupTest, TheIdentityKeyIsFoundWhateverItsCase) {
    FakeArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    const std::string key = AsciiLower(kTestIdentity);
    const std::filesystem::path file = world.temp / "auto.qbk";
    const UnattendedResult result = RunUnattendedBackup(
        world.context, JobCommandLine{key, "10000000", "", file.string()}, kTime);
    EXPECT_EQ(result.exitCode, kExitOk);
    EXPECT_TRUE(result.failures.empty());
}

// The desktop program started as a scheduled job would start it: no display, no terminal.
class UnattendedProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::MakeSamplePrefix(prefix));
        for (const char* folder : {"home", "tmp", "backups"}) {
            std::filesystem::create_directories(temp / folder);
        }
        userReg = ReadFileBytes(prefix / "user.reg");
    }

    ProgramRun Quillet(const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{QUILLET_PATH, "--prefix", prefix.string()};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        // No DISPLAY, no WAYLAND_DISPLAY, no WINEPREFIX: as cron starts it.
        const ProgramRun run = testing::RunProgram(
            argv, std::vector<std::string>{"PATH=/usr/bin:/bin", "HOME=" + (temp / "home").string(),
                                           "TMPDIR=" + (temp / "tmp").string(), "LC_ALL=C"});
        if (run.exitCode < 0) ADD_FAILURE() << "cannot start " << QUILLET_PATH;
        return run;
    }

    std::string Line(const std::string& mask, const std::string& password,
                     const std::filesystem::path& file,
                     const std::string& identity = kSampleMainIdentity) {
        return "sf=" + identity + "xm=" + mask + "ps=" + password + "bf=" + file.string();
    }

    void ExpectNoWorkFilesAndRegistryUnchanged() {
        EXPECT_TRUE(FolderListing(temp / "tmp").empty());
        EXPECT_EQ(ReadFileBytes(prefix / "user.reg"), userReg);
    }

    TempDir temp;
    std::filesystem::path prefix = temp / "prefix";
    std::filesystem::path backups = temp / "backups";
    std::string userReg;
};

TEST_F(UnattendedProgramTest, WithoutAJobLineOrADisplayItSaysSoAndExitsWithTwo) {
    const ProgramRun run = Quillet({});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("no display"), std::string::npos) << run.err;
    ExpectNoWorkFilesAndRegistryUnchanged();
}

TEST_F(UnattendedProgramTest, AMalformedCommandLineTouchesNothingAndExitsWithTwo) {
    const std::filesystem::path file = backups / "main.qbk";
    WriteFileBytes(file, "the previous backup");
    const std::string key = kSampleMainIdentity;
    const std::string path = file.string();
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"seven-character mask", {"sf=" + key + "xm=1000001ps=bf=" + path}},
        {"nine-character mask", {"sf=" + key + "xm=100000001ps=bf=" + path}},
        {"a letter in the mask", {"sf=" + key + "xm=1000000xps=bf=" + path}},
        {"missing ps=", {"sf=" + key + "xm=10000001bf=" + path}},
        {"empty sf", {"sf=xm=10000001ps=bf=" + path}},
        {"empty bf", {"sf=" + key + "xm=10000001ps=bf="}},
        {"\"=\" in the password", {"sf=" + key + "xm=10000001ps=a=bbf=" + path}},
        {"\"=\" after the path", {"sf=" + key + "xm=10000001ps=bf=" + path + "=old"}},
        {"fields out of order", {"xm=10000001sf=" + key + "ps=bf=" + path}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgramRun run = Quillet(c.arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_FALSE(run.err.empty());
        EXPECT_EQ(ReadFileBytes(file), "the previous backup");
        EXPECT_EQ(FolderListing(backups), std::vector<std::string>{"main.qbk"});
        ExpectNoWorkFilesAndRegistryUnchanged();
    }
}

TEST_F(UnattendedProgramTest, AMissingPrefixTouchesNothingAndExitsWithTwo) {
    const std::filesystem::path file = backups / "main.qbk";
    WriteFileBytes(file, "the previous backup");
    prefix = temp / "no-such-prefix";
    const ProgramRun run = Quillet({Line("11111111", "", file)});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("no-such-prefix"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(file), "the previous backup");
    EXPECT_EQ(FolderListing(backups), std::vector<std::string>{"main.qbk"});
    EXPECT_TRUE(FolderListing(temp / "tmp").empty());
}

TEST_F(UnattendedProgramTest, AccountsAndSettingsWithoutPasswordMakeAnOpenBackup) {
    const std::filesystem::path file = backups / "main.qbk";
    WriteFileBytes(file, "the previous backup");
    const ProgramRun run = Quillet({Line("10000001", "", file)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(FolderListing(backups), std::vector<std::string>{"main.qbk"});
    ExpectNoWorkFilesAndRegistryUnchanged();

    archive::ZipArchive archive;
    EXPECT_FALSE(archive.ArchiveHasPassword(file));
    const auto entries = ReadBackupEntries(file);
    ASSERT_EQ(MaskedEntryNames(entries),
              (std::vector<std::string>{"OBA#.TMP", "OBS#.TMP", "quillet.dat"}));
    const Lines lines = SplitCrLfLines(entries[2].second);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "BackupIdentity=Auto Backup");
    EXPECT_EQ(lines[1].rfind("BackupTime=", 0), 0u) << lines[1];
    EXPECT_GT(lines[1].size(), std::string("BackupTime=").size());
    EXPECT_EQ(lines[2], "BackupInformation=Auto Backup");
    EXPECT_EQ(lines[3], "BackupAccounts=" + entries[0].first);
    EXPECT_EQ(lines[4], "BackupSettings=" + entries[1].first);
    EXPECT_EQ(lines[6], "BackupItem=10000001");
}

TEST_F(UnattendedProgramTest, APasswordProtectsEveryEntry) {
    const std::filesystem::path file = backups / "protected.qbk";
    const ProgramRun run = Quillet({Line("11111111", "s3cret", file)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    archive::ZipArchive archive;
    EXPECT_TRUE(archive.ArchiveHasPassword(file));
    ASSERT_TRUE(archive.LoadArchive(file).ok());
    for (const archive::ArchiveEntry& entry : archive.entries()) {
        EXPECT_TRUE(entry.encrypted) << entry.name;
    }
    archive.ReadPassword("s3cret");
    EXPECT_TRUE(archive.CheckReadPassword());
    const auto entries = ReadBackupEntries(file, "s3cret");
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(SplitCrLfLines(entries.back().second).back(), "BackupItem=11111111");
    ExpectNoWorkFilesAndRegistryUnchanged();
}

TEST_F(UnattendedProgramTest, FailuresGoToStderrWithTheirExitStatus) {
    // An identity key that names no identity: refused, the previous backup kept.
    const std::filesystem::path file = backups / "main.qbk";
    WriteFileBytes(file, "the previous backup");
    const ProgramRun unknown =
        Quillet({Line("00100001", "", file, "{00000000-0000-0000-0000-000000000000}")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("not an identity"), std::string::npos) << unknown.err;
    EXPECT_EQ(ReadFileBytes(file), "the previous backup");

    // An item whose data is missing fails; the backup is written all the same.
    std::filesystem::remove_all(testing::SampleStationeryFolder(prefix));
    const std::filesystem::path partial = backups / "partial.qbk";
    const ProgramRun failedItems = Quillet({Line("00000011", "", partial)});
    EXPECT_EQ(failedItems.exitCode, 1);
    EXPECT_NE(failedItems.err.find("Backup Stationeries"), std::string::npos) << failedItems.err;
    const auto entries = ReadBackupEntries(partial);
    EXPECT_EQ(SplitCrLfLines(entries.back().second).back(), "BackupItem=00000001");

    // A backup file that cannot be written.
    WriteFileBytes(backups / "a-file", "x");
    const ProgramRun notWritten = Quillet({Line("11111111", "", backups / "a-file" / "b.qbk")});
    EXPECT_EQ(notWritten.exitCode, 2);
    EXPECT_NE(notWritten.err.find("not written"), std::string::npos) << notWritten.err;
    EXPECT_EQ(FolderListing(backups),
              (std::vector<std::string>{"a-file", "main.qbk", "partial.qbk"}));
    ExpectNoWorkFilesAndRegistryUnchanged();
}

}  // namespace
}  // namespace quillet
