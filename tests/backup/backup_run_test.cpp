#include "backup/backup_run.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <random>

#include "archive/zip_archive.h"
#include "backup/exit_status.h"
#include "backup/information_file.h"
#include "backup/run_environment.h"
#include "platform/durable_file.h"
#include "support/archive/backup_reader.h"
#include "support/archive/fake_archive.h"
#include "support/backup/backup_world.h"
#include "support/backup/recording_progress.h"
#include "support/platform/fake_wine_server.h"
#include "support/platform/folder_snapshot.h"
#include "system/wine_system.h"

namespace quillet {
namespace {

using archive::FakeArchive;
using archive::ZipArchive;
using testing::BackupWorld;
using testing::FolderFiles;
using testing::FolderListing;
using testing::JoinNames;
using testing::kSampleMainIdentity;
using testing::kTestIdentity;
using testing::MaskedEntryNames;
using testing::ReadBackupEntries;
using testing::ReadFileBytes;
using testing::RecordingProgress;
using testing::SplitCrLfLines;
using testing::TempDir;
using testing::WriteFileBytes;

using Entries = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

constexpr char kTime[] = "01/02/24 10:11:12";

ItemMask Mask(const std::string& digits) {
    auto mask = ParseItemList(digits);
    EXPECT_TRUE(mask.ok()) << digits;
    return *mask;
}

const std::string* Find(const Entries& entries, const std::string& name) {
    for (const auto& [entryName, content] : entries) {
        if (entryName == name) return &content;
    }
    return nullptr;
}

// The lines of the quillet.dat entry, which must be the last one.
Lines InformationLines(const Entries& entries) {
    if (entries.empty() || entries.back().first != "quillet.dat") {
        ADD_FAILURE() << "quillet.dat is not the last entry";
        return {};
    }
    return SplitCrLfLines(entries.back().second);
}

// The line before the item line: the code page of the system (the test systems' is Western).
const std::string kCodePageLine = std::string(kCodePageKey) + "=1252";

Lines HeaderLines(const std::string& description) {
    return {"BackupComputer=PC-7", "BackupLogonUser=me", "BackupIdentity=Main Identity",
            std::string("BackupTime=") + kTime, "BackupInformation=" + description};
}

Lines Concat(Lines lines, const Lines& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

bool IsDbx(const std::string& name) {
    if (name.size() < 4) return false;
    const std::string extension = name.substr(name.size() - 4);
    return extension == ".dbx" || extension == ".DBX" || extension == ".Dbx";
}
bool AnyName(const std::string&) { return true; }

// A backup of the sample prefix, through the same pieces quillet-cli puts together.
class BackupRunSampleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::MakeSamplePrefix(prefix));
        std::filesystem::create_directories(temp / "tmp");
        std::filesystem::create_directories(temp / "out");
        env = Environment{[this](const std::string& name) -> std::optional<std::string> {
            if (name == "TMPDIR") return (temp / "tmp").string();
            return std::nullopt;
        }};
        auto opened = system::WineSystem::Open(prefix.string(), env, messages);
        ASSERT_TRUE(opened.ok()) << opened.reason();
        system = std::move(*opened);
        auto created = RunEnvironment::Create(*system, env);
        ASSERT_TRUE(created.ok()) << created.reason();
        run = std::move(*created);
    }

    BackupRequest Request(const std::string& mask, const std::filesystem::path& file) {
        BackupRequest request;
        request.identityKey = kSampleMainIdentity;
        request.headerLines =
            InteractiveHeader("PC-7", "me", "Main Identity", kTime, "first\r\nsecond");
        request.items = Mask(mask);
        request.backupFile = file;
        return request;
    }

    std::vector<std::string> WorkFolderNames() { return FolderListing(run->context().workFolder); }

    std::filesystem::path DriveC(const std::string& relative) const {
        return prefix / "drive_c" / relative;
    }

    TempDir temp;
    std::filesystem::path prefix = temp / "prefix";
    Environment env;
    testing::RecordingMessageService messages;
    std::unique_ptr<system::WineSystem> system;
    std::unique_ptr<RunEnvironment> run;
};

TEST_F(BackupRunSampleTest, SystemLooksForTheWineServerBelowTheUsersTemporaryFolder) {
    // Debian's Wine records its server root relative to $TMPDIR.
    WriteFileBytes(prefix / "wineserver", "wine-Ab12Cd");
    const auto serverName = WineServerProbe::ServerFolderName(prefix);
    ASSERT_TRUE(serverName);
    const std::filesystem::path serverFolder = temp / "tmp" / "wine-Ab12Cd" / *serverName;
    std::filesystem::create_directories(serverFolder);
    testing::FakeWineServer server(serverFolder / "lock");
    ASSERT_TRUE(server.locked());
    EXPECT_FALSE(system->checkIdle().ok());
}

TEST_F(BackupRunSampleTest, EveryItemGoesIntoAFlatArchiveInItemOrderWithTheInformationLast) {
    const std::filesystem::path file = temp / "out" / "main.qbk";
    // A dry run lists the entries the backup then holds (all but the information file), with
    // their bytes, and writes nothing.
    BackupRequest dry = Request("11111111", file);
    dry.dryRun = true;
    const BackupOutcome plan = RunBackup(run->context(), dry, nullptr);
    EXPECT_FALSE(plan.written);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(WorkFolderNames().empty());

    const BackupOutcome outcome = RunBackup(run->context(), Request("11111111", file), nullptr);
    ASSERT_TRUE(outcome.written) << outcome.writeFailure;
    EXPECT_TRUE(outcome.writeFailure.empty());
    EXPECT_EQ(outcome.itemResult, "11111111");
    EXPECT_TRUE(outcome.allSucceeded());
    EXPECT_EQ(outcome.report(),
              "\r\nBackup Accounts\tSuccessed!\r\nBackup Adress Book\tSuccessed!"
              "\r\nBackup Rules\tSuccessed!\r\nBackup Messages\tSuccessed!"
              "\r\nBackup Block Senders\tSuccessed!\r\nBackup Signatures\tSuccessed!"
              "\r\nBackup Stationeries\tSuccessed!\r\nBackup Settings\tSuccessed!");
    EXPECT_TRUE(WorkFolderNames().empty());
    EXPECT_EQ(FolderListing(temp / "out"), std::vector<std::string>{"main.qbk"});

    const std::filesystem::path store =
        DriveC(std::string("users/quillet/Local Settings/Application Data/Identities/") +
               kSampleMainIdentity + "/Microsoft/Outlook Express");
    const std::filesystem::path stationery =
        DriveC("Program Files/Common Files/Microsoft Shared/Stationery");
    const std::vector<std::string> messageFiles = FolderFiles(store, IsDbx);
    const std::vector<std::string> stationeryFiles = FolderFiles(stationery, AnyName);
    ASSERT_EQ(messageFiles.size(), 8u);
    ASSERT_EQ(stationeryFiles.size(), 3u);

    const Entries entries = ReadBackupEntries(file);
    ASSERT_EQ(plan.planned.size() + 1, entries.size());
    for (std::size_t i = 0; i < plan.planned.size(); ++i) {
        EXPECT_EQ(plan.planned[i].bytes, entries[i].second.size()) << entries[i].first;
        if (!plan.planned[i].registryText) {
            EXPECT_EQ(plan.planned[i].file.filename().string(), entries[i].first);
        }
    }
    std::vector<std::string> expected{"OBA#.TMP", "quillet.wab", "OBR#.TMP"};
    expected.insert(expected.end(), messageFiles.begin(), messageFiles.end());
    expected.insert(expected.end(), {"OBR#.TMP", "OBR#.TMP"});
    expected.insert(expected.end(), stationeryFiles.begin(), stationeryFiles.end());
    expected.insert(expected.end(), {"OBS#.TMP", "quillet.dat"});
    ASSERT_EQ(MaskedEntryNames(entries), expected);

    const std::string& accounts = entries[0].first;
    const std::string& rules = entries[2].first;
    // Accounts, address book and rules, then the stores, blocked senders, signatures, stationery
    // and settings.
    const std::size_t afterStores = 3 + messageFiles.size();
    const std::string& blockSenders = entries[afterStores].first;
    const std::string& signatures = entries[afterStores + 1].first;
    const std::string& settings = entries[afterStores + 2 + stationeryFiles.size()].first;
    EXPECT_EQ(InformationLines(entries),
              Concat(HeaderLines("firstPS$QLBsecond"),
                     {"BackupAccounts=" + accounts, "BackupAddressBook=quillet.wab",
                      "BackupRules=" + rules, "BackupMails=" + JoinNames(messageFiles),
                      "BackupBlocksenders=" + blockSenders, "BackupSignatures=" + signatures,
                      "BackupStationeries=" + JoinNames(stationeryFiles),
                      "BackupSettings=" + settings, kCodePageLine, "BackupItem=11111111"}));

    // The entries hold what the prefix holds.
    EXPECT_NE(entries[0].second.find("Main Mail"), std::string::npos) << "the identity's own";
    EXPECT_EQ(entries[1].second,
              ReadFileBytes(DriveC("users/quillet/Application Data/Microsoft/Address Book/"
                                   "quillet.wab")));
    for (const std::string& name : messageFiles) {
        ASSERT_NE(Find(entries, name), nullptr) << name;
        EXPECT_EQ(*Find(entries, name), ReadFileBytes(store / name)) << name;
    }
    EXPECT_NE(entries[afterStores + 1].second.find("=xsz:"), std::string::npos)
        << "a multi-line signature";
}

TEST_F(BackupRunSampleTest, OnlyTheTickedItemsRunAndReport) {
    struct Case {
        const char* mask;
        std::string report;
        std::vector<std::string> names;
        const char* informationKey;  // the one item line, or null
    };
    const Case cases[] = {
        {"00000001",
         "\r\nBackup Settings\tSuccessed!",
         {"OBS#.TMP", "quillet.dat"},
         "BackupSettings"},
        {"01000000",
         "\r\nBackup Adress Book\tSuccessed!",
         {"quillet.wab", "quillet.dat"},
         "BackupAddressBook"},
        {"00000100",
         "\r\nBackup Signatures\tSuccessed!",
         {"OBR#.TMP", "quillet.dat"},
         "BackupSignatures"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        const std::filesystem::path file = temp / "out" / (std::string(c.mask) + ".qbk");
        const BackupOutcome outcome = RunBackup(run->context(), Request(c.mask, file), nullptr);
        ASSERT_TRUE(outcome.written) << outcome.writeFailure;
        EXPECT_EQ(outcome.itemResult, c.mask);
        EXPECT_EQ(outcome.report(), c.report);
        for (int i = 0; i < kItemCount; ++i) EXPECT_EQ(outcome.items[i].ran, c.mask[i] == '1');

        const Entries entries = ReadBackupEntries(file);
        EXPECT_EQ(MaskedEntryNames(entries), c.names);
        Lines expected = HeaderLines("firstPS$QLBsecond");
        if (c.informationKey != nullptr) {
            expected.push_back(std::string(c.informationKey) + "=" + entries[0].first);
        }
        expected.push_back(kCodePageLine);
        expected.push_back(std::string("BackupItem=") + c.mask);
        EXPECT_EQ(InformationLines(entries), expected);
        EXPECT_TRUE(WorkFolderNames().empty());
    }
}

TEST_F(BackupRunSampleTest, RunningAgainReplacesTheBackupFile) {
    const std::filesystem::path file = temp / "out" / "main.qbk";
    ASSERT_TRUE(RunBackup(run->context(), Request("01000000", file), nullptr).written);
    ASSERT_TRUE(RunBackup(run->context(), Request("00000001", file), nullptr).written);
    EXPECT_EQ(MaskedEntryNames(ReadBackupEntries(file)),
              (std::vector<std::string>{"OBS#.TMP", "quillet.dat"}));
    EXPECT_EQ(FolderListing(temp / "out"), std::vector<std::string>{"main.qbk"});
}

TEST_F(BackupRunSampleTest, APasswordEncryptsEveryEntryAndIsStoredNowhere) {
    const std::filesystem::path file = temp / "out" / "protected.qbk";
    BackupRequest request = Request("11111111", file);
    request.password = "s3cret pass";
    ASSERT_TRUE(RunBackup(run->context(), request, nullptr).written);

    ZipArchive archive;
    EXPECT_TRUE(archive.ArchiveHasPassword(file));
    ASSERT_TRUE(archive.LoadArchive(file).ok());
    for (const archive::ArchiveEntry& entry : archive.entries()) {
        EXPECT_TRUE(entry.encrypted) << entry.name;
    }
    archive.ReadPassword("s3cret");
    EXPECT_FALSE(archive.CheckReadPassword());
    archive.ReadPassword("s3cret pass");
    EXPECT_TRUE(archive.CheckReadPassword());

    for (const auto& [name, content] : ReadBackupEntries(file, "s3cret pass")) {
        EXPECT_EQ(content.find("s3cret"), std::string::npos) << name;
    }

    const std::filesystem::path plain = temp / "out" / "plain.qbk";
    ASSERT_TRUE(RunBackup(run->context(), Request("11000000", plain), nullptr).written);
    EXPECT_FALSE(archive.ArchiveHasPassword(plain));
}

// Runs on a world built in memory.
class BackupRunTest : public ::testing::Test {
  protected:
    BackupRequest Request(const std::string& mask, const std::filesystem::path& file) {
        BackupRequest request;
        request.identityKey = kTestIdentity;
        request.headerLines = InteractiveHeader("PC-7", "me", "Main Identity", kTime, "");
        request.items = Mask(mask);
        request.backupFile = file;
        return request;
    }
};

TEST_F(BackupRunTest, EveryItemFailingWritesNothing) {
    ZipArchive archive;
    BackupWorld world(archive);  // an empty registry and an empty drive
    const std::filesystem::path file = world.temp / "all-failed.qbk";
    WriteFileBytes(file, "previous");
    const BackupOutcome outcome = RunBackup(world.context, Request("11111111", file), nullptr);
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.writeFailure, kEveryItemFailedReason);
    EXPECT_EQ(outcome.itemResult, "00000000");
    EXPECT_FALSE(outcome.allSucceeded());
    EXPECT_EQ(outcome.report(),
              "\r\nBackup Accounts\tFail!\r\nBackup Adress Book\tFail!\r\nBackup Rules\tFail!"
              "\r\nBackup Messages\tFail!\r\nBackup Block Senders\tFail!"
              "\r\nBackup Signatures\tFail!\r\nBackup Stationeries\tFail!"
              "\r\nBackup Settings\tFail!");
    for (const ItemOutcome& item : outcome.items) {
        EXPECT_TRUE(item.ran);
        EXPECT_FALSE(item.failure.empty());
    }
    EXPECT_EQ(ReadFileBytes(file), "previous");
    EXPECT_FALSE(std::filesystem::exists(IncompleteBackupFile(file)));
    EXPECT_TRUE(world.workFolderNames().empty());
}

TEST_F(BackupRunTest, AFailedItemNeverReplacesAnExistingBackup) {
    ZipArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    std::filesystem::remove_all(world.hostPath("C:\\users\\me\\Store"));
    const std::filesystem::path file = world.temp / "kept.qbk";
    WriteFileBytes(file, "previous");
    const BackupOutcome outcome = RunBackup(world.context, Request("01010000", file), nullptr);
    ASSERT_TRUE(outcome.written) << outcome.writeFailure;
    EXPECT_TRUE(outcome.keptPrevious);
    EXPECT_EQ(outcome.writtenFile, IncompleteBackupFile(file));
    EXPECT_EQ(ReadFileBytes(file), "previous");
    EXPECT_EQ(MaskedEntryNames(ReadBackupEntries(outcome.writtenFile)),
              (std::vector<std::string>{"me.wab", "quillet.dat"}));
    EXPECT_EQ(ExitStatusOf(outcome), kExitPartial);
}

TEST_F(BackupRunTest, TheIncompleteBackupIsNeverWrittenThroughASymbolicLink) {
    for (const bool dangling : {false, true}) {
        SCOPED_TRACE(dangling ? "a dangling link" : "a link to a file");
        ZipArchive archive;
        BackupWorld world(archive);
        world.fillEverything();
        std::filesystem::remove_all(world.hostPath("C:\\users\\me\\Store"));
        const std::filesystem::path file = world.temp / "kept.qbk";
        const std::filesystem::path elsewhere = world.temp / "elsewhere.txt";
        WriteFileBytes(file, "previous");
        if (!dangling) WriteFileBytes(elsewhere, "someone else's");
        std::filesystem::create_symlink(elsewhere, IncompleteBackupFile(file));
        const BackupOutcome outcome = RunBackup(world.context, Request("01010000", file), nullptr);
        EXPECT_FALSE(outcome.written);
        EXPECT_NE(outcome.writeFailure.find(IncompleteBackupFile(file).string() + ": " +
                                            kLinkRefusedReason),
                  std::string::npos)
            << outcome.writeFailure;
        EXPECT_EQ(ReadFileBytes(file), "previous");
        EXPECT_TRUE(std::filesystem::is_symlink(IncompleteBackupFile(file)));
        EXPECT_EQ(std::filesystem::exists(elsewhere), !dangling);
        if (!dangling) {
            EXPECT_EQ(ReadFileBytes(elsewhere), "someone else's");
        }
    }
}

TEST_F(BackupRunTest, TheReportListsTickedItemsInItemOrderWithTheirResult) {
    ZipArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    std::filesystem::remove_all(world.hostPath("C:\\users\\me\\Store"));
    const std::filesystem::path file = world.temp / "mixed.qbk";
    const BackupOutcome outcome = RunBackup(world.context, Request("11010000", file), nullptr);
    ASSERT_TRUE(outcome.written) << outcome.writeFailure;
    EXPECT_EQ(outcome.itemResult, "11000000");
    EXPECT_FALSE(outcome.allSucceeded());
    EXPECT_EQ(outcome.report(),
              "\r\nBackup Accounts\tSuccessed!\r\nBackup Adress Book\tSuccessed!"
              "\r\nBackup Messages\tFail!");
    EXPECT_TRUE(outcome.items[kAccounts].failure.empty());
    EXPECT_FALSE(outcome.items[kMessages].failure.empty());

    const Entries entries = ReadBackupEntries(file);
    EXPECT_EQ(MaskedEntryNames(entries),
              (std::vector<std::string>{"OBA#.TMP", "me.wab", "quillet.dat"}));
    EXPECT_EQ(
        InformationLines(entries),
        Concat(HeaderLines(""), {"BackupAccounts=" + entries[0].first, "BackupAddressBook=me.wab",
                                 kCodePageLine, "BackupItem=11000000"}));
}

TEST_F(BackupRunTest, AnInformationFileLeftInTheWorkFolderIsNotCarriedOver) {
    ZipArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    WriteFileBytes(world.context.informationFile, "BackupItem=11111111\r\nLeftOver=1\r\n");
    const std::filesystem::path file = world.temp / "fresh.qbk";
    ASSERT_TRUE(RunBackup(world.context, Request("01000000", file), nullptr).written);
    EXPECT_EQ(InformationLines(ReadBackupEntries(file)),
              Concat(HeaderLines(""),
                     {"BackupAddressBook=me.wab", kCodePageLine, "BackupItem=01000000"}));
    EXPECT_TRUE(world.workFolderNames().empty());
}

TEST_F(BackupRunTest, ADescriptionInAnotherEncodingDoesNotGarbleTheOtherLines) {
    ZipArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    const std::string identity = "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m";
    BackupRequest request = Request("01000000", world.temp / "b.qbk");
    // A description typed in a Windows-1252 terminal: "café" with a lone 0xE9 byte.
    request.headerLines = InteractiveHeader("PC-7", "me", identity, kTime, "caf\xE9");
    ASSERT_TRUE(RunBackup(world.context, request, nullptr).written);

    const Entries entries = ReadBackupEntries(world.temp / "b.qbk");
    ASSERT_FALSE(entries.empty());
    const std::filesystem::path information = world.temp / "read" / "quillet.dat";
    WriteFileBytes(information, entries.back().second);
    EXPECT_EQ(*GetINI("BackupIdentity", information), identity);
    EXPECT_EQ(*GetINI("BackupInformation", information), "caf\xC3\xA9");
}

TEST_F(BackupRunTest, AStationeryFileNamedLikeTheInformationFileDoesNotCostTheBackup) {
    ZipArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    world.writeFile("C:\\Common Files\\Microsoft Shared\\Stationery\\quillet.dat", "stray");
    const std::filesystem::path file = world.temp / "b.qbk";
    const BackupOutcome outcome = RunBackup(world.context, Request("11111111", file), nullptr);
    ASSERT_TRUE(outcome.written) << outcome.writeFailure;
    const Entries entries = ReadBackupEntries(file);
    ASSERT_FALSE(entries.empty());
    const Lines lines = InformationLines(entries);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "BackupItem=" + outcome.itemResult);
    EXPECT_EQ(outcome.itemResult.substr(0, 6), "111111");
}

TEST_F(BackupRunTest, ProgressGrowsByEveryItemsShareAndStatusNamesTickedItems) {
    FakeArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    RecordingProgress progress;
    const BackupOutcome outcome =
        RunBackup(world.context, Request("00100001", world.temp / "b.qbk"), &progress);
    ASSERT_TRUE(outcome.written) << outcome.writeFailure;
    EXPECT_EQ(progress.values, (std::vector<int>{10, 30, 40, 50, 55, 60, 65, 80, 80, 100}));
    EXPECT_EQ(progress.statuses,
              (std::vector<std::string>{"Copying Rules...", "Copying Settings...",
                                        "Operation complete!"}));
    EXPECT_EQ(progress.saveDone, std::vector<bool>{true}) << "the archive reports to it";
}

TEST_F(BackupRunTest, TheArchiveIsProtectedOnlyWhenAPasswordIsGiven) {
    for (const std::string password : {"", "pw"}) {
        SCOPED_TRACE(password.empty() ? "no password" : "password");
        FakeArchive archive;
        BackupWorld world(archive);
        world.fillEverything();
        BackupRequest request = Request("01000000", world.temp / "b.qbk");
        request.password = password;
        ASSERT_TRUE(RunBackup(world.context, request, nullptr).written);
        const auto& calls = archive.calls();
        const auto save = std::find(calls.begin(), calls.end(), "SaveArchive()");
        ASSERT_NE(save, calls.end());
        const std::string encrypt = password.empty() ? "EncryptOnWrite(0)" : "EncryptOnWrite(1)";
        EXPECT_NE(std::find(calls.begin(), save, encrypt), save);
        EXPECT_EQ(archive.archives().at(world.temp / "b.qbk").password, password);
        EXPECT_EQ(archive.archives().at(world.temp / "b.qbk").entries.back().first, "quillet.dat");
    }
}

TEST_F(BackupRunTest, AFailedWriteIsReportedAndLeavesNoWorkFiles) {
    struct Case {
        const char* name;
        const char* failing;  // the archive operation told to fail
        bool itemsSucceed;
    };
    const Case cases[] = {
        {"save fails", "SaveArchive", true},
        {"create fails", "CreateArchive", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeArchive archive;
        BackupWorld world(archive);
        world.fillEverything();
        const std::filesystem::path file = world.temp / "b.qbk";
        archive.putArchive(file, {{{"quillet.dat", "BackupItem=00000001\r\n"}}, ""});
        archive.failOperation(c.failing, "the disk is full");
        const BackupOutcome outcome = RunBackup(world.context, Request("11111111", file), nullptr);
        EXPECT_FALSE(outcome.written);
        EXPECT_FALSE(outcome.allSucceeded());
        EXPECT_NE(outcome.writeFailure.find("the disk is full"), std::string::npos)
            << outcome.writeFailure;
        EXPECT_EQ(outcome.itemResult, c.itemsSucceed ? "11111111" : "00000000");
        if (!c.itemsSucceed) {
            EXPECT_NE(outcome.items[kRules].failure.find("the disk is full"), std::string::npos);
        }
        EXPECT_EQ(archive.archives().at(file).entries.size(), 1u) << "the old backup stays";
        EXPECT_TRUE(world.workFolderNames().empty());
    }
}

TEST_F(BackupRunTest, AnUnwritableTargetIsReportedAndCreatesNothing) {
    ZipArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    WriteFileBytes(world.temp / "a-file", "not a folder");
    for (const std::filesystem::path& file :
         {world.temp / "a-file" / "b.qbk", world.temp / "missing" / "b.qbk"}) {
        SCOPED_TRACE(file.string());
        const BackupOutcome outcome = RunBackup(world.context, Request("11111111", file), nullptr);
        EXPECT_FALSE(outcome.written);
        EXPECT_FALSE(outcome.writeFailure.empty());
        EXPECT_FALSE(outcome.allSucceeded());
        EXPECT_TRUE(world.workFolderNames().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(world.temp / "missing"));
    EXPECT_EQ(ReadFileBytes(world.temp / "a-file"), "not a folder");
}

// Nothing ticked: the run refuses before it reads, writes or deletes anything.
TEST_F(BackupRunTest, WithoutASelectedItemNothingIsTouched) {
    FakeArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    const std::filesystem::path file = world.temp / "previous.qbk";
    WriteFileBytes(file, "the previous backup");
    const BackupOutcome outcome = RunBackup(world.context, Request("00000000", file), nullptr);
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(outcome.writeFailure, kSelectItemMessage);
    EXPECT_EQ(outcome.report(), "");
    EXPECT_TRUE(archive.calls().empty());
    EXPECT_EQ(ReadFileBytes(file), "the previous backup");
}

// A folder on a small file system of its own, so that a backup can run out of space.
class BackupRunFullDiskTest : public BackupRunTest {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(small);
        if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) {
            GTEST_SKIP() << "cannot mount a small tmpfs here";
        }
        mounted = true;
    }
    void TearDown() override {
        if (mounted) ::umount2(small.c_str(), MNT_DETACH);
    }

    TempDir temp;
    std::filesystem::path small = temp / "small";
    bool mounted = false;
};

TEST_F(BackupRunFullDiskTest, ABackupThatDoesNotFitLeavesThePreviousFileWhole) {
    ZipArchive archive;
    BackupWorld world(archive);
    world.fillEverything();
    std::mt19937 random(7);
    std::string noise(256 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(random() & 0xff);
    world.writeFile("C:\\users\\me\\Store\\Big.dbx", noise);

    const std::filesystem::path file = small / "main.qbk";
    const std::string previous(20 * 1024, 'p');
    WriteFileBytes(file, previous);
    const BackupOutcome outcome = RunBackup(world.context, Request("11111111", file), nullptr);
    EXPECT_FALSE(outcome.written);
    EXPECT_FALSE(outcome.writeFailure.empty());
    EXPECT_EQ(ReadFileBytes(file), previous);
    EXPECT_EQ(FolderListing(small), std::vector<std::string>{"main.qbk"});
    EXPECT_TRUE(world.workFolderNames().empty());
}

}  // namespace
}  // namespace quillet
