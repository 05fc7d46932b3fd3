#include <gtest/gtest.h>

#include "thunderbird/filter_rules.h"
#include "thunderbird/prefs_file.h"
#include "thunderbird/profiles_ini.h"

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

}  // namespace
}  // namespace quillet::thunderbird
