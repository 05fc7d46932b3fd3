#include "backup/opened_backup.h"

#include <gtest/gtest.h>

#include <functional>

#include "backup/information_file.h"
#include "backup/restore_run.h"
#include "backup/restore_test_world.h"
#include "backup/run_environment.h"
#include "support/archive/generated_archive.h"
#include "support/platform/faulty_file_operations.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

using Lines = std::vector<std::pair<std::string, std::string>>;

constexpr char kBookBytes[] = "QLTWAB an address book that must never reach the prefix";

class OpenedBackupTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(world.ready()); }

    // A backup holding an address book entry and an information file with these lines.
    fs::path craft(const std::string& name, const Lines& information) {
        const fs::path file = world.temp / name;
        PackArchive(file,
                    {{"quillet.wab", kBookBytes}, {"quillet.dat", InformationText(information)}});
        return file;
    }

    SamplePrefixWorld world;
};

TEST_F(OpenedBackupTest, UnattendedBackupShowsAutoBackupWithEmptyComputerAndUser) {
    const fs::path file = world.temp / "auto.qbk";
    world.backup(kSampleMainIdentity, ItemsOf("accounts,rules"), file, "",
                 UnattendedHeader("01/05/2024 03:00:00"));

    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_TRUE(system);
    auto run = RunEnvironment::Create(*system, world.env);
    ASSERT_TRUE(run.ok()) << run.reason();
    OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
    EXPECT_FALSE(backup.ArchiveHasPassword(file));
    ASSERT_TRUE(backup.open(file, "").ok());
    EXPECT_FALSE(backup.invalid());
    EXPECT_EQ(backup.originText(),
              "Computer:\r\nUser:\r\nIdentity:Auto Backup\r\nDate:01/05/2024 03:00:00");
    EXPECT_EQ(backup.description(), "Auto Backup");
    EXPECT_EQ(backup.itemFlags(), "10100000");
    for (int i = 0; i < kItemCount; ++i) {
        EXPECT_EQ(backup.holds(i), i == kAccounts || i == kRules) << i;
    }
    // The entry names lead to entries the archive really holds.
    EXPECT_TRUE(backup.archive().LookupEntry(backup.entryNames(kAccounts)));
    EXPECT_TRUE(backup.archive().LookupEntry(backup.entryNames(kRules)));
    EXPECT_NE(backup.entryNames(kAccounts), backup.entryNames(kRules));
}

TEST_F(OpenedBackupTest, OriginAndDescriptionShowWhatTheInformationFileSays) {
    struct Case {
        const char* name;
        Lines information;
        std::string origin;
        std::string description;
    };
    const Case cases[] = {
        {"interactive",
         {{"BackupComputer", "desk"},
          {"BackupLogonUser", "me"},
          {"BackupIdentity", "Main Identity"},
          {"BackupTime", "01/05/2024 10:00:00"},
          {"BackupInformation", "aPS$QLBb"},
          {"BackupItem", "01000000"},
          {"BackupAddressBook", "quillet.wab"}},
         "Computer:desk\r\nUser:me\r\nIdentity:Main Identity\r\nDate:01/05/2024 10:00:00",
         "a\r\nb"},
        {"only the items",
         {{"BackupItem", "01000000"}, {"BackupAddressBook", "quillet.wab"}},
         "Computer:\r\nUser:\r\nIdentity:\r\nDate:",
         ""},
        {"markers at both ends",
         {{"BackupInformation", "PS$QLBx=yPS$QLBPS$QLB"},
          {"BackupItem", "01000000"},
          {"BackupAddressBook", "quillet.wab"}},
         "Computer:\r\nUser:\r\nIdentity:\r\nDate:",
         "\r\nx=y\r\n\r\n"},
        {"Windows-1252 text",
         {{"BackupIdentity", "Zo\xeb"},
          {"BackupItem", "01000000"},
          {"BackupAddressBook", "quillet.wab"}},
         "Computer:\r\nUser:\r\nIdentity:Zo\xc3\xab\r\nDate:",
         ""},
    };
    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_TRUE(system);
    auto run = RunEnvironment::Create(*system, world.env);
    ASSERT_TRUE(run.ok()) << run.reason();
    OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
    int number = 0;
    for (const Case& c : cases) {
        const fs::path file = craft("origin" + std::to_string(++number) + ".qbk", c.information);
        ASSERT_TRUE(backup.open(file, "").ok()) << c.name;
        EXPECT_EQ(backup.originText(), c.origin) << c.name;
        EXPECT_EQ(backup.description(), c.description) << c.name;
        EXPECT_EQ(backup.entryNames(kAddressBook), "quillet.wab") << c.name;
    }
}

TEST_F(OpenedBackupTest, UnusableFilesAreInvalidAndNothingIsRestoredFromThem) {
    struct Case {
        const char* name;
        std::function<fs::path()> make;
        std::string origin;  // what could still be read
    };
    const auto book = [](const char* flags) {
        return Lines{
            {"BackupIdentity", "X"}, {"BackupItem", flags}, {"BackupAddressBook", "quillet.wab"}};
    };
    const Case cases[] = {
        {"seven item characters", [&] { return craft("seven.qbk", book("0100000")); },
         "Computer:\r\nUser:\r\nIdentity:X\r\nDate:"},
        {"nine item characters", [&] { return craft("nine.qbk", book("010000000")); },
         "Computer:\r\nUser:\r\nIdentity:X\r\nDate:"},
        {"no item line",
         [&] {
             return craft("noitems.qbk",
                          {{"BackupIdentity", "X"}, {"BackupAddressBook", "quillet.wab"}});
         },
         "Computer:\r\nUser:\r\nIdentity:X\r\nDate:"},
        {"not a zip archive",
         [&] {
             WriteFileBytes(world.temp / "text.qbk", InformationText(book("01000000")));
             return world.temp / "text.qbk";
         },
         ""},
        {"empty file",
         [&] {
             WriteFileBytes(world.temp / "empty.qbk", "");
             return world.temp / "empty.qbk";
         },
         ""},
        {"no information file",
         [&] {
             PackArchive(world.temp / "noinfo.qbk", {{"quillet.wab", kBookBytes}});
             return world.temp / "noinfo.qbk";
         },
         ""},
        {"missing file", [&] { return world.temp / "nowhere.qbk"; }, ""},
    };
    const fs::path good = craft("good.qbk", book("01000000"));
    for (const Case& c : cases) {
        const fs::path file = c.make();
        const TreeSnapshot before = SnapshotTree(world.prefix);

        std::unique_ptr<system::WineSystem> system = world.openSystem();
        ASSERT_TRUE(system);
        auto run = RunEnvironment::Create(*system, world.env);
        ASSERT_TRUE(run.ok()) << run.reason();
        OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
        // A good backup opened before must not make the bad one restorable.
        ASSERT_TRUE(backup.open(good, "").ok());
        EXPECT_TRUE(backup.open(file, "").is(ErrorKind::kCorrupt)) << c.name;
        EXPECT_TRUE(backup.invalid()) << c.name;
        EXPECT_EQ(backup.originText(), c.origin) << c.name;
        for (int i = 0; i < kItemCount; ++i) EXPECT_FALSE(backup.holds(i)) << c.name << " " << i;

        const RestoreOutcome outcome =
            RunRestore((*run)->context(), backup, {kSampleMainIdentity, ItemsOf("all")}, nullptr);
        EXPECT_TRUE(outcome.started.is(ErrorKind::kCorrupt)) << c.name;
        EXPECT_EQ(outcome.report(), "") << c.name;
        EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.prefix)), std::vector<std::string>{})
            << c.name;
    }
    EXPECT_EQ(std::string(kInvalidBackupMessage), "Invalid backup file");
    EXPECT_EQ(std::string(kRestoreInvalidMessage), "Invalid backup file.");
}

TEST_F(OpenedBackupTest, WrongPasswordIsRefusedAndLeavesTheBackupUnrestorable) {
    const fs::path file = world.temp / "locked.qbk";
    world.backup(kSampleMainIdentity, ItemsOf("addressbook,messages"), file, "right horse");
    const fs::path open = world.temp / "open.qbk";
    world.backup(kSampleMainIdentity, ItemsOf("addressbook"), open);
    const std::string original = ReadFileBytes(world.addressBook());
    WriteFileBytes(world.addressBook(), "QLTWAB changed since the backups");
    const TreeSnapshot before = SnapshotTree(world.prefix);

    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_TRUE(system);
    auto run = RunEnvironment::Create(*system, world.env);
    ASSERT_TRUE(run.ok()) << run.reason();
    OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
    EXPECT_TRUE(backup.ArchiveHasPassword(file));
    EXPECT_FALSE(backup.ArchiveHasPassword(open));

    for (const std::string password : {"wrong horse", "", "right hors", "right horse "}) {
        ASSERT_TRUE(backup.open(open, "").ok());
        EXPECT_TRUE(backup.open(file, password).is(ErrorKind::kAccessDenied)) << password;
        EXPECT_TRUE(backup.invalid()) << password;
        const RestoreOutcome outcome =
            RunRestore((*run)->context(), backup, {kSampleMainIdentity, ItemsOf("all")}, nullptr);
        EXPECT_TRUE(outcome.started.is(ErrorKind::kCorrupt)) << password;
        EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.prefix)), std::vector<std::string>{})
            << password;
    }
    EXPECT_EQ(std::string(kWrongPasswordMessage), "Incorect Password or Invalid backup file");

    ASSERT_TRUE(backup.open(file, "right horse").ok());
    EXPECT_EQ(backup.itemFlags(), "01010000");
    const RestoreOutcome outcome = RunRestore(
        (*run)->context(), backup, {kSampleMainIdentity, ItemsOf("addressbook")}, nullptr);
    EXPECT_EQ(outcome.report(), "\r\nRestore Adress Book\tSuccessed!");
    EXPECT_EQ(ReadFileBytes(world.addressBook()), original);
}

TEST_F(OpenedBackupTest, ProtectedBackupWithAPlainEntryIsInvalidEvenWithItsPassword) {
    const fs::path file = world.temp / "planted.qbk";
    const Lines information = {
        {"BackupIdentity", "X"}, {"BackupItem", "01000000"}, {"BackupAddressBook", "quillet.wab"}};
    PackArchive(file, {{"quillet.wab", kBookBytes}, {"quillet.dat", InformationText(information)}},
                "right horse");
    PutEntryWithLibzip(file, "quillet.wab", "QLTWAB planted by whoever could write the file");

    archive::ZipArchive zip;
    OpenedBackup backup(zip, world.temp.path());
    const Status opened = backup.open(file, "right horse");
    EXPECT_TRUE(opened.is(ErrorKind::kCorrupt)) << opened.reason();
    EXPECT_EQ(opened.reason(), kInvalidBackupMessage);
    EXPECT_TRUE(backup.invalid());
}

TEST_F(OpenedBackupTest, EightCharactersOtherThanDigitsAreAcceptedButHoldOnlyTheOnes) {
    const fs::path file = craft("odd.qbk", {{"BackupItem", "0120000x"},
                                            {"BackupAccounts", "quillet.wab"},
                                            {"BackupAddressBook", "quillet.wab"},
                                            {"BackupRules", "quillet.wab"}});
    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_TRUE(system);
    auto run = RunEnvironment::Create(*system, world.env);
    ASSERT_TRUE(run.ok()) << run.reason();
    OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
    ASSERT_TRUE(backup.open(file, "").ok());
    EXPECT_FALSE(backup.invalid());
    EXPECT_EQ(backup.itemFlags(), "0120000x");
    for (int i = 0; i < kItemCount; ++i) EXPECT_EQ(backup.holds(i), i == kAddressBook) << i;

    const RestoreOutcome outcome =
        RunRestore((*run)->context(), backup, {kSampleMainIdentity, ItemsOf("all")}, nullptr);
    EXPECT_TRUE(outcome.started.ok());
    EXPECT_EQ(outcome.report(), "\r\nRestore Adress Book\tSuccessed!");
    EXPECT_EQ(ReadFileBytes(world.addressBook()), kBookBytes);
}

// An information file is bounded by its recorded size, checked before anything is extracted: the
// reader stops any entry that inflates past that size.
TEST_F(OpenedBackupTest, InformationFileBeyondItsBoundIsRefusedBeforeItIsExtracted) {
    const std::string lines = InformationText({{"BackupIdentity", "X"},
                                               {"BackupItem", "01000000"},
                                               {"BackupAddressBook", "quillet.wab"}});
    struct Case {
        const char* name;
        std::uint64_t size;
        std::string refusal;  // empty: opens
    };
    const Case cases[] = {
        {"at the bound", kMaxInformationFileBytes, ""},
        {"a byte larger", kMaxInformationFileBytes + 1,
         "Invalid backup file: its information file quillet.dat holds 16777217 bytes, more than "
         "the 16 MB an information file may hold"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GeneratedEntry information{"quillet.dat", lines, std::string(999, 'x') + "\r\n", c.size};
        const fs::path file = world.temp / "large.qbk";
        ASSERT_TRUE(WriteGeneratedArchive(
            file, {GeneratedEntry::Holding("quillet.wab", kBookBytes), information}));
        FaultyFileOperations files;
        HandBuiltRun run(world, world.temp / "wine-tmp", files);
        OpenedBackup backup(run.archive, run.work.path());
        const Status opened = backup.open(file, "");
        EXPECT_EQ(FolderListing(run.work.path()), std::vector<std::string>{});
        if (c.refusal.empty()) {
            EXPECT_TRUE(opened.ok()) << opened.reason();
            EXPECT_EQ(backup.originText(), "Computer:\r\nUser:\r\nIdentity:X\r\nDate:");
            continue;
        }
        EXPECT_TRUE(opened.is(ErrorKind::kCorrupt));
        EXPECT_EQ(opened.reason(), c.refusal);
        EXPECT_TRUE(backup.invalid());
        EXPECT_EQ(files.callsOf({"open", "write"}), std::vector<FileCall>{})
            << "nothing may be extracted";
    }
}

// A temporary folder without room fails the open with the reason: the backup is sound.
TEST_F(OpenedBackupTest, FullTemporaryFolderSaysSoInsteadOfCallingTheBackupInvalid) {
    const fs::path file = world.temp / "sound.qbk";
    world.backup(kSampleMainIdentity, ItemsOf("addressbook"), file);
    FaultyFileOperations files;
    HandBuiltRun run(world, world.temp / "wine-tmp", files);
    OpenedBackup backup(run.archive, run.work.path());
    files.failWrite(1, kInformationFileName);

    const Status opened = backup.open(file, "");
    EXPECT_TRUE(opened.is(ErrorKind::kDiskFull)) << opened.reason();
    EXPECT_NE(opened.reason().find("the disk is full: no room left in " + run.work.path().string()),
              std::string::npos)
        << opened.reason();
    EXPECT_TRUE(backup.invalid());
    EXPECT_EQ(FolderListing(run.work.path()), std::vector<std::string>{});

    files.clearFaults();
    EXPECT_TRUE(backup.open(file, "").ok());
}

}  // namespace
}  // namespace quillet::testing
