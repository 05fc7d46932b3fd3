#include "backup/mail_sources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "backup/restore_test_world.h"
#include "backup/run_environment.h"
#include "support/archive/backup_reader.h"
#include "support/platform/open_files.h"

namespace quillet {
namespace {

using mailstore::MailSource;
using mailstore::StoreBytes;
using testing::FileHolding;
using testing::FindEntryData;
using testing::ItemsOf;
using testing::kSampleMainIdentity;
using testing::OpenFileBytesUnder;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

constexpr char kPassword[] = "mail secret";

std::string AllBytes(const StoreBytes& store) {
    std::string bytes(store.size(), '\0');
    const Status read =
        store.readAt(0, std::as_writable_bytes(std::span(bytes.data(), bytes.size())));
    EXPECT_TRUE(read.ok()) << read.reason();
    return bytes;
}

std::vector<std::string> Names(const MailSource& source) {
    std::vector<std::string> names;
    for (const auto& store : source.stores()) names.push_back(store.fileName);
    return names;
}

// The sample prefix's main identity, backed up with a password to a folder of its own, and the
// folder a backup source spills its stores to.
class MailSourcesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(world.ready());
        world.backup(kSampleMainIdentity, ItemsOf("messages"), backupFile, kPassword);
        std::filesystem::create_directories(work);
        std::filesystem::create_directories(informationWork);
    }

    // The backup file opened, as a restore opens it.
    Status open(OpenedBackup& backup, const std::filesystem::path& file) {
        return backup.open(file, kPassword);
    }

    testing::SamplePrefixWorld world;
    TempDir outside;
    std::filesystem::path backupFile = outside / "mail.qbk";
    std::filesystem::path work = outside / "work";
    std::filesystem::path informationWork = outside / "information";
};

TEST_F(MailSourcesTest, ABackupGivesTheStoresOfTheIdentityItWasMadeFrom) {
    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_NE(system, nullptr);
    auto identity = IdentityMailSource(*system, kSampleMainIdentity);
    ASSERT_TRUE(identity.ok()) << identity.reason();
    EXPECT_EQ((*identity)->description(), "identity Main Identity");
    // The store files directly in the folder, Folders.dbx and any case of the extension included.
    EXPECT_EQ(Names(**identity),
              (std::vector<std::string>{"Deleted Items.dbx", "example.quillet.users.dbx",
                                        "Folders.dbx", "Inbox.dbx", "Inbox1.dbx", "Offline.DBX",
                                        "Projects.dbx", "Sent Items.dbx"}));

    archive::ZipArchive archive;
    OpenedBackup backup(archive, informationWork);
    ASSERT_TRUE(open(backup, backupFile).ok());
    auto fromBackup = BackupMailSource(backup, work);
    ASSERT_TRUE(fromBackup.ok()) << fromBackup.reason();
    EXPECT_EQ((*fromBackup)->description(), "backup mail.qbk");
    ASSERT_EQ(Names(**fromBackup), Names(**identity));

    std::vector<std::unique_ptr<StoreBytes>> open;
    for (const auto& store : (*identity)->stores()) {
        SCOPED_TRACE(store.fileName);
        auto inPlace = (*identity)->openStore(store.fileName);
        auto spilled = (*fromBackup)->openStore(store.fileName);
        ASSERT_TRUE(inPlace.ok()) << inPlace.reason();
        ASSERT_TRUE(spilled.ok()) << spilled.reason();
        const std::string bytes = AllBytes(**inPlace);
        EXPECT_EQ(bytes, ReadFileBytes(world.storeFolder(kSampleMainIdentity) / store.fileName));
        EXPECT_EQ(AllBytes(**spilled), bytes);
        EXPECT_EQ((*spilled)->size(), store.size);
        open.push_back(std::move(spilled.value()));
    }
    // While every store is open, none of their bytes is on the disk in the clear: not in the
    // scratch files, nor in any file near the backup or in the runs' temporary folder.
    const std::vector<std::string> scratch = OpenFileBytesUnder(work);
    EXPECT_EQ(scratch.size(), open.size());
    EXPECT_TRUE(std::filesystem::is_empty(work));
    for (const auto& store : open) {
        const std::string bytes = AllBytes(*store);
        const std::string needle = bytes.substr(bytes.size() / 2, 48);
        for (const std::string& file : scratch) {
            EXPECT_EQ(file.find(needle), std::string::npos) << store->name();
        }
        EXPECT_EQ(FileHolding(outside.path(), needle), "") << store->name();
        EXPECT_EQ(FileHolding(world.tmp, needle), "") << store->name();
    }
    open.clear();
    EXPECT_TRUE(OpenFileBytesUnder(work).empty());
}

// The identity's source knows its accounts' names and the code page of the system, and a backup
// of it keeps the code page.
TEST_F(MailSourcesTest, TheSystemsCodePageReachesTheSourceAndItsBackup) {
    const std::filesystem::path systemReg = world.userReg().parent_path() / "system.reg";
    std::string text = ReadFileBytes(systemReg);
    const std::string western = "\"ACP\"=\"1252\"";
    ASSERT_NE(text.find(western), std::string::npos);
    WriteFileBytes(systemReg, text.replace(text.find(western), western.size(), "\"ACP\"=\"1251\""));

    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_NE(system, nullptr);
    auto identity = IdentityMailSource(*system, kSampleMainIdentity);
    ASSERT_TRUE(identity.ok()) << identity.reason();
    EXPECT_EQ((*identity)->origin().codePage.number(), 1251u);
    EXPECT_EQ((*identity)->origin().accountName("00000002"), "Office Mail");

    const std::filesystem::path cyrillic = outside / "cyrillic.qbk";
    world.backup(kSampleMainIdentity, ItemsOf("messages"), cyrillic, kPassword);
    archive::ZipArchive archive;
    OpenedBackup backup(archive, informationWork);
    ASSERT_TRUE(open(backup, cyrillic).ok());
    auto fromBackup = BackupMailSource(backup, work);
    ASSERT_TRUE(fromBackup.ok()) << fromBackup.reason();
    EXPECT_EQ((*fromBackup)->origin().codePage.number(), 1251u);
}

TEST_F(MailSourcesTest, AStoreTheBackupCannotGiveIsAClearErrorAndLeavesNothing) {
    std::string damaged = ReadFileBytes(backupFile);
    const auto inbox = FindEntryData(damaged, "Inbox.dbx");
    ASSERT_TRUE(inbox.has_value());
    damaged[inbox->offset + inbox->size / 2] ^= 0x01;
    WriteFileBytes(outside / "damaged.qbk", damaged);
    const struct {
        const char* what;
        std::filesystem::path file;
        std::string readPassword;
    } cases[] = {
        {"damaged entry", outside / "damaged.qbk", kPassword},
        {"wrong password", backupFile, "not the password"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        archive::ZipArchive archive;
        OpenedBackup backup(archive, informationWork);
        ASSERT_TRUE(open(backup, c.file).ok());
        archive.ReadPassword(c.readPassword);
        auto source = BackupMailSource(backup, work);
        ASSERT_TRUE(source.ok()) << source.reason();
        auto store = (*source)->openStore("Inbox.dbx");
        ASSERT_FALSE(store.ok());
        EXPECT_TRUE(store.status().is(ErrorKind::kCorrupt)) << store.reason();
        EXPECT_NE(store.reason().find("Inbox.dbx"), std::string::npos) << store.reason();
        EXPECT_TRUE(OpenFileBytesUnder(work).empty());
    }
}

TEST_F(MailSourcesTest, NoStoresAreNotFound) {
    const auto accountsOnly = outside / "accounts.qbk";
    world.backup(kSampleMainIdentity, ItemsOf("accounts"), accountsOnly, kPassword);
    archive::ZipArchive archive;
    OpenedBackup backup(archive, informationWork);
    ASSERT_TRUE(open(backup, accountsOnly).ok());
    EXPECT_TRUE(BackupMailSource(backup, work).status().is(ErrorKind::kNotFound));

    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_NE(system, nullptr);
    EXPECT_TRUE(IdentityMailSource(*system, "{00000000-0000-0000-0000-000000000000}")
                    .status()
                    .is(ErrorKind::kNotFound));
    std::filesystem::remove_all(world.storeFolder(kSampleMainIdentity));
    EXPECT_TRUE(IdentityMailSource(*system, kSampleMainIdentity).status().is(ErrorKind::kNotFound));
}

TEST_F(MailSourcesTest, OnlyListedStoresOpen) {
    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_NE(system, nullptr);
    auto identity = IdentityMailSource(*system, kSampleMainIdentity);
    ASSERT_TRUE(identity.ok()) << identity.reason();
    archive::ZipArchive archive;
    OpenedBackup backup(archive, informationWork);
    ASSERT_TRUE(open(backup, backupFile).ok());
    auto fromBackup = BackupMailSource(backup, work);
    ASSERT_TRUE(fromBackup.ok()) << fromBackup.reason();
    for (MailSource* source : {identity->get(), fromBackup->get()}) {
        for (const std::string name : {"cleanup.log", "Archive/Archive 2019.dbx", "../user.reg"}) {
            EXPECT_TRUE(source->openStore(name).status().is(ErrorKind::kNotFound)) << name;
        }
    }
}

}  // namespace
}  // namespace quillet
