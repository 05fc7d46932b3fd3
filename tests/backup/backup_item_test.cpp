// The item table: every entry complete for the shape of its data, and the item lists and file
// filters read from it.
#include "backup/backup_item.h"

#include <gtest/gtest.h>

#include <set>

namespace quillet {
namespace {

TEST(ItemTable, EveryItemCarriesWhatItsShapeNeeds) {
    std::set<std::string_view> informationKeys, commandNames;
    for (int i = 0; i < kItemCount; ++i) {
        const ItemDescription& item = kItems[i];
        SCOPED_TRACE(item.commandName);
        EXPECT_EQ(item.index, i);
        EXPECT_FALSE(item.backupCaption.empty());
        EXPECT_FALSE(item.restoreCaption.empty());
        EXPECT_TRUE(informationKeys.insert(item.informationKey).second);
        EXPECT_TRUE(commandNames.insert(item.commandName).second);
        EXPECT_EQ(item.exportPrefix.size(), item.data == ItemData::kKeyTree ? 3u : 0u);
        EXPECT_EQ(item.filter != FileFilter::kNone, item.data == ItemData::kFolderFiles);
        EXPECT_EQ(!item.versionSubkey.empty(), item.place == ItemPlace::kVersionSubkey);
        const bool keyPlace =
            item.place == ItemPlace::kAccountsKey || item.place == ItemPlace::kVersionSubkey;
        EXPECT_EQ(keyPlace, item.data == ItemData::kKeyTree);
    }
}

TEST(ItemTable, ItemListsNameItemsByTheirCommandNames) {
    for (const ItemDescription& item : kItems) {
        auto mask = ParseItemList(item.commandName);
        ASSERT_TRUE(mask) << mask.reason();
        std::string expected(kItemCount, '0');
        expected[item.index] = '1';
        EXPECT_EQ(MaskText(*mask), expected);
    }
    auto all = ParseItemList("all");
    ASSERT_TRUE(all);
    EXPECT_EQ(MaskText(*all), std::string(kItemCount, '1'));
    auto blanks = ParseItemList(" accounts, rules\t,settings ");
    ASSERT_TRUE(blanks) << blanks.reason();
    EXPECT_EQ(MaskText(*blanks), "10100001");
    auto unknown = ParseItemList("accounts,mail");
    ASSERT_FALSE(unknown);
    // The refusal lists every name the table knows.
    for (const ItemDescription& item : kItems) {
        EXPECT_NE(unknown.reason().find(item.commandName), std::string::npos);
    }
}

TEST(ItemTable, FiltersTakeTheirFiles) {
    struct Case {
        FileFilter filter;
        const char* name;
        bool taken;
    };
    const Case cases[] = {
        {FileFilter::kMessageStores, "Inbox.dbx", true},
        {FileFilter::kMessageStores, "FOLDERS.DBX", true},
        {FileFilter::kMessageStores, "Inbox.dbx.bak", false},
        {FileFilter::kMessageStores, "dbx", false},
        {FileFilter::kAnyFile, "Ivy.htm", true},
        {FileFilter::kAnyFile, "", false},
        {FileFilter::kNone, "Inbox.dbx", false},
    };
    for (const Case& c : cases) EXPECT_EQ(FilterTakes(c.filter, c.name), c.taken) << c.name;
}

}  // namespace
}  // namespace quillet
