#include "mailstore/folder_list.h"

#include <gtest/gtest.h>

#include "mailstore/dbx_builder.h"
#include "support/platform/temp_dir.h"

namespace quillet::mailstore {
namespace {

using Strings = std::vector<std::string>;

TEST(FolderListTest, ListsNestedAndNonAsciiFoldersInIdOrder) {
    quillet::testing::TempDir dir;
    std::vector<quillet::testing::DbxFolder> written = quillet::testing::StandardDbxFolders();
    // Added children first: the list comes back in folder id order all the same.
    written.insert(written.begin(), {{8, 7, "Caf\xE9", "Caf\xE9.dbx", 0},
                                     {7, 2, "Projects", "Projects.dbx", 0},
                                     {9, 7,
                                      "\xC3\x9C"
                                      "bersicht",
                                      "", 0}});
    quillet::testing::WriteDbxFolderList(dir / "Folders.dbx", written, {.treeFanOut = 2});
    auto bytes = OpenStoreFile(dir / "Folders.dbx");
    ASSERT_TRUE(bytes.ok());

    auto folders = ReadFolderList(**bytes, ReadMode::kStrict, nullptr);
    ASSERT_TRUE(folders.ok()) << folders.reason();
    ASSERT_EQ(folders->size(), written.size());
    for (std::size_t i = 0; i < folders->size(); ++i) EXPECT_EQ((*folders)[i].id, i);
    const MailFolder& root = folders->front();
    EXPECT_EQ(root.parent, MailFolder::kNoParent);
    EXPECT_EQ((*folders)[1].storeKind, MailFolder::kLocalKind);
    EXPECT_EQ((*folders)[1].accountKey, written[4].accountKey);
    EXPECT_EQ((*folders)[2].special, MailFolder::Special::kInbox);
    EXPECT_EQ((*folders)[2].storeFile, "Inbox.dbx");
    EXPECT_EQ((*folders)[6].special, MailFolder::Special::kDrafts);
    // Windows-1252 converted; UTF-8 kept as it is.
    EXPECT_EQ((*folders)[8].name, "Caf\xC3\xA9");
    EXPECT_EQ((*folders)[8].storeFile, "Caf\xC3\xA9.dbx");
    EXPECT_EQ((*folders)[9].name,
              "\xC3\x9C"
              "bersicht");
    EXPECT_EQ((*folders)[9].storeFile, "");
    EXPECT_EQ(FolderPath(*folders, 8),
              (Strings{"Local Folders", "Inbox", "Projects", "Caf\xC3\xA9"}));

    quillet::testing::WriteDbxStore(dir / "Inbox.dbx", {"x\r\n"});
    auto messages = OpenStoreFile(dir / "Inbox.dbx");
    EXPECT_TRUE(
        ReadFolderList(**messages, ReadMode::kStrict, nullptr).status().is(ErrorKind::kCorrupt));
}

struct PathCase {
    const char* name;
    std::uint32_t id;
    Strings path;
};

class FolderPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(FolderPathTest, PathEndsAtTheRootOrWhereTheChainBreaks) {
    std::vector<MailFolder> folders = {
        {0, MailFolder::kNoParent, "Outlook Express", "", MailFolder::Special::kNone},
        {1, 0, "Inbox", "Inbox.dbx", MailFolder::Special::kInbox},
        {2, 1, "Projects", "Projects.dbx", MailFolder::Special::kNone},
        {3, 4, "Looped A", "", MailFolder::Special::kNone},
        {4, 3, "Looped B", "", MailFolder::Special::kNone},
        {5, 42, "Orphan", "", MailFolder::Special::kNone},
    };
    // 100 at the top, each of 101... below the one before.
    for (std::uint32_t id = 100; id <= 100 + kFolderDepthLimit; ++id) {
        folders.push_back({id, id == 100 ? 0 : id - 1, "Deep", "", MailFolder::Special::kNone});
    }
    EXPECT_EQ(FolderPath(folders, GetParam().id), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Chains, FolderPathTest,
                         ::testing::Values(PathCase{"Root", 0, {}}, PathCase{"Top", 1, {"Inbox"}},
                                           PathCase{"Nested", 2, {"Inbox", "Projects"}},
                                           PathCase{"Loop", 3, {"Looped B", "Looped A"}},
                                           PathCase{"MissingParent", 5, {"Orphan"}},
                                           PathCase{"Unknown", 9, {}},
                                           PathCase{"AtTheDepthLimit", 99 + kFolderDepthLimit,
                                                    Strings(kFolderDepthLimit, "Deep")},
                                           PathCase{"TooDeep", 100 + kFolderDepthLimit, {}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::mailstore
