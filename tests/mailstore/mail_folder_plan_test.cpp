#include "mailstore/mail_folder_plan.h"

#include <gtest/gtest.h>

#include <map>

#include "mailstore/dbx_builder.h"
#include "mailstore/folder_mail_source.h"
#include "support/platform/temp_dir.h"

namespace quillet::mailstore {
namespace {

using quillet::testing::DbxFolder;
using Paths = std::map<std::string, std::string>;  // store file -> folder path, "/" between

constexpr std::uint32_t kRoot = 0, kImap = 1, kNews = 0;
const DbxFolder kRootFolder{0, 0xFFFFFFFF, "Outlook Express", "", 0};
const DbxFolder kLocalFolders{1, kRoot, "Local Folders", "", 0};

// The folder list and empty stores of the names `files` (UTF-8) in a folder, planned; each store's
// path, and the Inbox's store (after "=").
Paths Plan(const std::vector<DbxFolder>& folders, const std::vector<std::string>& files,
           const StoreOrigin& origin) {
    quillet::testing::TempDir dir;
    quillet::testing::WriteDbxFolderList(dir / "Folders.dbx", folders);
    std::vector<MailSource::StoreName> stores = {{"Folders.dbx", 0}};
    for (const std::string& file : files) {
        quillet::testing::WriteDbxStore(dir / file, {});
        stores.push_back({file, 0});
    }
    SortStores(stores);
    std::unique_ptr<MailSource> source = MakeFolderMailSource("test", dir.path(), stores);
    source->setOrigin(origin);
    auto plan = PlanMailFolders(*source, {});
    EXPECT_TRUE(plan.ok()) << plan.reason();
    Paths paths;
    for (const PlannedFolder& folder : plan.ok() ? plan->folders : std::vector<PlannedFolder>{}) {
        std::string& path = paths[folder.fileName];
        for (const std::string& name : folder.path) path += (path.empty() ? "" : "/") + name;
        if (folder.inbox && !paths.contains("=")) paths["="] = folder.fileName;
    }
    return paths;
}

struct TreeCase {
    const char* name;
    std::vector<DbxFolder> folders;
    std::vector<std::string> stores;
    Paths paths;
};

class FolderTreeTest : public ::testing::TestWithParam<TreeCase> {};

TEST_P(FolderTreeTest, ContainersAreShownAsTheFolderPaneShowedThem) {
    EXPECT_EQ(Plan(GetParam().folders, GetParam().stores,
                   {.accountNames = {{"00000002", "Office Mail"}}}),
              GetParam().paths);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FolderTreeTest,
    ::testing::Values(
        TreeCase{"NoContainers",
                 {kRootFolder,
                  {1, kRoot, "Inbox", "Inbox.dbx", 1},
                  {2, kRoot, "Archive", "", 0},
                  {3, 2, "2019", "Old.dbx", 0}},
                 {"Inbox.dbx", "Old.dbx", "Orphan.dbx"},
                 {{"Inbox.dbx", "Inbox"},
                  {"Old.dbx", "Archive/2019"},
                  {"Orphan.dbx", "Orphan"},
                  {"=", "Inbox.dbx"}}},
        TreeCase{"LocalFoldersAtTheTop",
                 {kRootFolder,
                  kLocalFolders,
                  {2, 1, "Inbox", "Inbox.dbx", 1},
                  {3, 1, "Archives", "", 0},
                  {4, 3, "Projets", "Projets.dbx", 0}},
                 {"Inbox.dbx", "Projets.dbx"},
                 {{"Inbox.dbx", "Inbox"}, {"Projets.dbx", "Archives/Projets"}, {"=", "Inbox.dbx"}}},
        // The second account has no name in the registry: its container's own.
        TreeCase{"AccountsNamedAfterTheirAccounts",
                 {kRootFolder,
                  kLocalFolders,
                  {2, 1, "Inbox", "Inbox.dbx", 1},
                  {3, kRoot, "imap.example.com", "", 0, kImap, "00000002"},
                  {4, 3, "Inbox", "Inbox1.dbx", 1, kImap, "00000002"},
                  {5, 4, "Projects", "Projects.dbx", 0, kImap, "00000002"},
                  {6, kRoot, "news.example.com", "", 0, kNews, "00000003"},
                  {7, 6, "example.users", "example.users.dbx", 0, kNews, "00000003"}},
                 {"Inbox.dbx", "Inbox1.dbx", "Projects.dbx", "example.users.dbx"},
                 {{"Inbox.dbx", "Inbox"},
                  {"Inbox1.dbx", "Office Mail/Inbox"},
                  {"Projects.dbx", "Office Mail/Inbox/Projects"},
                  {"example.users.dbx", "news.example.com/example.users"},
                  {"=", "Inbox.dbx"}}},
        // Bad input: each is an ordinary folder, and the export goes on.
        TreeCase{"ContainerNamingAStore",
                 {kRootFolder,
                  {1, kRoot, "Local Folders", "Local.dbx", 0},
                  {2, 1, "Inbox", "Inbox.dbx", 1}},
                 {"Inbox.dbx", "Local.dbx"},
                 {{"Inbox.dbx", "Local Folders/Inbox"}, {"Local.dbx", "Local Folders"}}},
        TreeCase{
            "TwoContainersOfOneName",
            {kRootFolder,
             kLocalFolders,
             {2, kRoot, "Local Folders", "", 0},
             {3, 1, "Inbox", "Inbox.dbx", 1},
             {4, 2, "Inbox", "Second.dbx", 1}},
            {"Inbox.dbx", "Second.dbx"},
            {{"Inbox.dbx", "Inbox"}, {"Second.dbx", "Local Folders/Inbox"}, {"=", "Inbox.dbx"}}},
        TreeCase{"UnknownKind",
                 {kRootFolder, {1, kRoot, "Odd", "", 0, 7}, {2, 1, "Inbox", "Inbox.dbx", 1, 7}},
                 {"Inbox.dbx"},
                 {{"Inbox.dbx", "Odd/Inbox"}}},
        TreeCase{"LoopAndMissingParent",
                 {kRootFolder,
                  kLocalFolders,
                  {2, 3, "A", "A.dbx", 0},
                  {3, 2, "B", "B.dbx", 0},
                  {4, 42, "Lost", "Lost.dbx", 0}},
                 {"A.dbx", "B.dbx", "Lost.dbx"},
                 {{"A.dbx", "B/A"}, {"B.dbx", "A/B"}, {"Lost.dbx", "Lost"}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A folder and its subfolder named in the system's code page: the names and the tree (found through
// the store files, which the file system names in UTF-8) survive.
struct CodePageCase {
    unsigned codePage;
    std::string parent, child, parentText, childText;  // as stored, then as UTF-8
};

class FolderCodePageTest : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(FolderCodePageTest, NamesAreReadInTheSourcesCodePage) {
    const CodePageCase& row = GetParam();
    auto codePage = AnsiCodePage::FromNumber(row.codePage);
    ASSERT_TRUE(codePage.has_value());
    const std::string parentFile = row.parentText + ".dbx", childFile = row.childText + ".dbx";
    EXPECT_EQ(
        Plan({kRootFolder,
              kLocalFolders,
              {2, 1, row.parent, row.parent + ".dbx", 0},
              {3, 2, row.child, row.child + ".dbx", 0}},
             {parentFile, childFile}, {.codePage = *codePage}),
        (Paths{{parentFile, row.parentText}, {childFile, row.parentText + "/" + row.childText}}));
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, FolderCodePageTest,
    ::testing::Values(CodePageCase{1252, "Caf\xE9", "Projets \xE9t\xE9", "Caf\xC3\xA9",
                                   "Projets \xC3\xA9t\xC3\xA9"},
                      CodePageCase{1251, "\xD0\xE0\xE1\xEE\xF2\xE0", "\xCF\xF0\xEE\xE5\xEA\xF2\xFB",
                                   "\xD0\xA0\xD0\xB0\xD0\xB1\xD0\xBE\xD1\x82\xD0\xB0",
                                   "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB5\xD0\xBA\xD1\x82\xD1\x8B"},
                      CodePageCase{1250, "\x8Akola", "\xDA\xE8ty", "\xC5\xA0kola",
                                   "\xC3\x9A\xC4\x8Dty"},
                      CodePageCase{1253, "\xC5\xF1\xE3\xE1\xF3\xDF\xE1", "\xD3\xF7\xDD\xE4\xE9\xE1",
                                   "\xCE\x95\xCF\x81\xCE\xB3\xCE\xB1\xCF\x83\xCE\xAF\xCE\xB1",
                                   "\xCE\xA3\xCF\x87\xCE\xAD\xCE\xB4\xCE\xB9\xCE\xB1"},
                      CodePageCase{932, "\x8E\x64\x8E\x96", "\x8C\x8F\x96\xBC",
                                   "\xE4\xBB\x95\xE4\xBA\x8B", "\xE4\xBB\xB6\xE5\x90\x8D"}),
    [](const auto& info) { return "Cp" + std::to_string(info.param.codePage); });

}  // namespace
}  // namespace quillet::mailstore
