// The health check of one store and of every store of a source.
#include "mailstore/store_health.h"

#include <gtest/gtest.h>

#include <map>

#include "mailstore/salvage_test_store.h"

namespace quillet::mailstore {
namespace {

using testing::DbxDamage;
using testing::PatchUint32;

class StoreHealthTest : public SalvageTestStore {
  protected:
    static constexpr std::uint32_t kFreed = 0x1234;
    StoreHealthTest() {
        PatchUint32(m_file, kHeaderSpaceFreed, kFreed);
        reopen();
    }
};

TEST_F(StoreHealthTest, ReportsASoundStore) {
    // A leftover chain that breaks off is no damage to the messages the store holds.
    PatchUint32(m_file, deleted().chunks.front() + kChunkNext, indexed().infoOffset);
    reopen();
    const StoreHealth health = CheckStore(bytes());

    EXPECT_EQ(health.name, m_file.filename().string());
    EXPECT_EQ(health.kind, DbxHeader::Kind::kMessages);
    EXPECT_EQ(health.size, m_layout.fileSize);
    EXPECT_EQ(health.messages, 2u);
    EXPECT_EQ(health.reclaimable, kFreed);
    EXPECT_DOUBLE_EQ(health.shareOfLimit,
                     static_cast<double>(m_layout.fileSize) / static_cast<double>(kStoreSizeLimit));
    EXPECT_FALSE(health.damaged());
}

class DamagedStoreHealthTest : public StoreHealthTest,
                               public ::testing::WithParamInterface<DbxDamage> {};

TEST_P(DamagedStoreHealthTest, ReportsTheDamageAndStillCounts) {
    (void)testing::DamageDbxStore(m_file, m_layout, GetParam());
    reopen();
    const StoreHealth health = CheckStore(bytes());

    EXPECT_TRUE(health.damaged());
    EXPECT_EQ(health.reclaimable, kFreed);
    // Damage to a message's data leaves the tree whole.
    if (!testing::DbxDamageFoundOnOpen(GetParam())) {
        EXPECT_EQ(health.messages, 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedStoreHealthTest,
                         ::testing::ValuesIn(testing::kAllDbxDamages),
                         [](const auto& info) { return testing::DbxDamageName(info.param); });

TEST(StoreHealth, ReportsAFolderListWithoutDamageAndAnyOtherFileWithOne) {
    testing::TempDir dir;
    testing::WriteDbxFolderList(dir / "Folders.dbx", testing::StandardDbxFolders());
    testing::WriteFileBytes(dir / "notes.dbx", std::string(kHeaderSize, '\0'));

    auto folders = OpenStoreFile(dir / "Folders.dbx");
    ASSERT_TRUE(folders);
    const StoreHealth folderList = CheckStore(**folders);
    EXPECT_EQ(folderList.kind, DbxHeader::Kind::kFolderList);
    EXPECT_FALSE(folderList.damaged());

    auto notes = OpenStoreFile(dir / "notes.dbx");
    ASSERT_TRUE(notes);
    EXPECT_EQ(CheckStore(**notes).damages.size(), 1u);

    // A store of the POP3 list's kind holds no messages; one of no known kind is damaged.
    for (const std::uint8_t first : {kPop3ListClassIdStart[0], std::uint8_t{0xC8}}) {
        testing::WriteDbxStore(dir / "other.dbx", {});
        PatchUint32(dir / "other.dbx", kClassIdOffset,
                    first | std::uint32_t{kMessageStoreClassId[1]} << 8 |
                        std::uint32_t{kMessageStoreClassId[2]} << 16 |
                        std::uint32_t{kMessageStoreClassId[3]} << 24);
        auto other = OpenStoreFile(dir / "other.dbx");
        ASSERT_TRUE(other);
        const StoreHealth health = CheckStore(**other);
        EXPECT_EQ(health.damaged(), first != kPop3ListClassIdStart[0]) << int{first};
        EXPECT_EQ(health.kind,
                  health.damaged() ? DbxHeader::Kind::kUnknown : DbxHeader::Kind::kOther);
    }
}

// Stores of a folder; a name listed without a file fails to open with `m_missing`.
class FolderSource : public MailSource {
  public:
    FolderSource(std::filesystem::path folder, std::vector<std::string> names)
        : m_folder(std::move(folder)), m_names(std::move(names)) {}
    std::string description() const override { return "test folder"; }
    std::vector<StoreName> stores() const override {
        std::vector<StoreName> stores;
        for (const std::string& name : m_names) stores.push_back({name, 1});
        return stores;
    }
    Result<std::unique_ptr<StoreBytes>> openStore(const std::string& fileName) override {
        if (!std::filesystem::exists(m_folder / fileName)) return m_missing;
        return OpenStoreFile(m_folder / fileName);
    }
    Status m_missing = Status::Error("gone", ErrorKind::kNotFound);

  private:
    std::filesystem::path m_folder;
    std::vector<std::string> m_names;
};

class CountingProgress : public MailProgress {
  public:
    void storeStarted(const std::string& fileName, std::size_t, std::size_t) override {
        started.push_back(fileName);
    }
    void bytesDone(std::uint64_t done, std::uint64_t total) override { lastDone = {done, total}; }
    bool cancelRequested() override { return started.size() == cancelAfter; }

    std::vector<std::string> started;
    std::pair<std::uint64_t, std::uint64_t> lastDone;
    std::size_t cancelAfter = SIZE_MAX;
};

TEST_F(StoreHealthTest, CheckMailReportsEveryStoreAndAnUnreadableOneWithItsReason) {
    FolderSource source(m_dir.path(), {"Inbox.dbx", "Missing.dbx"});
    CountingProgress progress;
    auto report = CheckMail(source, &progress);

    ASSERT_TRUE(report) << report.reason();
    ASSERT_EQ(report->size(), 2u);
    EXPECT_EQ((*report)[0].messages, 2u);
    ASSERT_EQ((*report)[1].damages.size(), 1u);
    EXPECT_EQ((*report)[1].damages[0].what, source.m_missing.reason());
    EXPECT_EQ(progress.started, (std::vector<std::string>{"Inbox.dbx", "Missing.dbx"}));
    EXPECT_EQ(progress.lastDone, std::make_pair(std::uint64_t{2}, std::uint64_t{2}));

    progress = {};
    progress.cancelAfter = 1;
    EXPECT_TRUE(CheckMail(source, &progress).status().is(ErrorKind::kCancelled));
}

}  // namespace
}  // namespace quillet::mailstore
