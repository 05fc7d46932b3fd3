#include <gtest/gtest.h>
#include <sqlite3.h>

#include "support/platform/temp_dir.h"
#include "thunderbird/address_book_file.h"
#include "thunderbird/filter_rules.h"
#include "thunderbird/prefs_file.h"
#include "thunderbird/profiles_ini.h"
#include "wab/wab_builder.h"
#include "wab/wab_layout.h"

namespace quillet::thunderbird {
namespace {

TEST(PrefsFileTest, NoValueCanEndItsLineOrAddAPreference) {
    const std::string text = PrefsFileText(
        {{"mail.identity.id1.fullName", std::string("x\"); user_pref(\"mail.evil\", \"1")},
         {"a", std::string("back\\slash\r\nline\xE2\x80\xA8sep \xC3\xA9")},
         {"n", 7},
         {"b", true}});
    EXPECT_NE(text.find("user_pref(\"mail.identity.id1.fullName\", "
                        "\"x\\\"); user_pref(\\\"mail.evil\\\", \\\"1\");\n"),
              std::string::npos);
    EXPECT_NE(
        text.find("user_pref(\"a\", \"back\\\\slash\\u000D\\u000Aline\\u2028sep \xC3\xA9\");\n"),
        std::string::npos);
    EXPECT_NE(text.find("user_pref(\"n\", 7);\nuser_pref(\"b\", true);\n"), std::string::npos);
}

struct FilterCase {
    std::string sender;
    std::string term;  // as the condition line holds it
};

class FilterValueTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterValueTest, ValuesAreQuotedAsThunderbirdQuotesThem) {
    EXPECT_EQ(BlockedSendersFilterFile({GetParam().sender}),
              "version=\"9\"\nlogging=\"no\"\nname=\"" + std::string(kBlockedSendersFilterName) +
                  "\"\nenabled=\"yes\"\ntype=\"17\"\naction=\"Delete\"\ncondition=\"OR "
                  "(from,contains," +
                  GetParam().term + ")\"\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, FilterValueTest,
                         ::testing::Values(FilterCase{"spam@example.net", "spam@example.net"},
                                           FilterCase{"a,b", "a,b"},
                                           FilterCase{"x)y", "\\\"x)y\\\""},
                                           FilterCase{" lead", "\\\" lead\\\""},
                                           FilterCase{"say \"hi\"", "say \\\\\"hi\\\\\""},
                                           FilterCase{"line\nbreak", "linebreak"}));

TEST(ProfilesIniTest, AddsTheFirstFreeProfileAndKeepsEveryOtherLine) {
    const std::string current =
        "[Install4F96D1932A9F858E]\r\nDefault=x.default\r\n\r\n[Profile1]\r\nName=b\r\n"
        "[Profile0]\r\nName=a\r\n";
    auto text = ProfilesIniWithProfile(current, "Outlook Express - Me", "/home/me/oe");
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(
        *text,
        current + "\n[Profile2]\nName=Outlook Express - Me\nIsRelative=0\nPath=/home/me/oe\n");
    auto fresh = ProfilesIniWithProfile("", "n", "/p");
    ASSERT_TRUE(fresh.ok());
    EXPECT_EQ(*fresh,
              "[General]\nStartWithLastProfile=1\nVersion=2\n\n[Profile0]\nName=n\nIsRelative=0\n"
              "Path=/p\n");
    EXPECT_FALSE(ProfilesIniWithProfile("", "a\nPath=/etc", "/p").ok());
}

// Each person is one card in the tables and version Thunderbird keeps: its vCard, whose UID is
// the card's id, and the names and addresses Thunderbird searches by; a group is no card.
TEST(AddressBookFileTest, EachPersonIsACardThunderbirdCanSearch) {
    using testing::TextProperty;
    quillet::testing::TempDir dir;
    quillet::testing::WriteFileBytes(
        dir / "book.wab",
        testing::BuildWab(
            {{1,
              {TextProperty(wab::kDisplayName, "Ann Lee"), TextProperty(wab::kGivenName, "Ann"),
               TextProperty(wab::kEmailAddress, "ann@example.org")}},
             {2,
              {TextProperty(wab::kDisplayName, "Club"),
               testing::GroupMembersProperty({"ann@example.org"})}}})
            .bytes);
    auto bytes = wab::OpenBookFile(dir / "book.wab");
    ASSERT_TRUE(bytes.ok()) << bytes.reason();
    auto made = MakeThunderbirdAddressBook(**bytes, wab::ReadMode::kStrict, 1700000000);
    ASSERT_TRUE(made.ok()) << made.reason();
    EXPECT_EQ(made->cards, 1u);
    EXPECT_EQ(made->groupsLeftOut, std::vector<std::string>{"Club"});

    quillet::testing::WriteFileBytes(dir / kAddressBookFileName, made->bytes);
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open_v2((dir / kAddressBookFileName).c_str(), &database, SQLITE_OPEN_READONLY,
                              nullptr),
              SQLITE_OK);
    std::vector<std::string> rows;
    sqlite3_exec(
        database,
        "PRAGMA user_version; SELECT name, instr(value, 'UID:' || card) > 0, value FROM "
        "properties ORDER BY name",
        [](void* into, int columns, char** values, char**) {
            std::string row;
            for (int i = 0; i < columns; ++i) row += std::string(values[i] ? values[i] : "") + "|";
            static_cast<std::vector<std::string>*>(into)->push_back(row);
            return 0;
        },
        &rows, nullptr);
    sqlite3_close(database);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0], "4|");
    EXPECT_EQ(rows[1], "DisplayName|0|Ann Lee|");
    EXPECT_EQ(rows[2], "FirstName|0|Ann|");
    EXPECT_EQ(rows[3], "LastModifiedDate|0|1700000000|");
    EXPECT_EQ(rows[4], "PrimaryEmail|0|ann@example.org|");
    EXPECT_EQ(rows[5].substr(0, 9), "_vCard|1|") << rows[5];
}

}  // namespace
}  // namespace quillet::thunderbird
