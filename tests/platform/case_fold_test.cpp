#include "platform/case_fold.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet {
namespace {

TEST(CaseFoldTest, ComparesNamesWithoutRegardToCase) {
    struct Case {
        std::string left;
        std::string right;
        bool equal;
    };
    const Case cases[] = {
        {"Inbox.dbx", "INBOX.DBX", true},
        {"Outlook Express", "outlook express", true},
        {"", "", true},
        {"abc", "abd", false},
        {"abc", "abcd", false},
        {"\xC3\x84pfel", "\xC3\xA4PFEL", true},            // Äpfel / äPFEL
        {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", true},  // Été / éTÉ
        {"\xC3\x9E", "\xC3\xBE", true},                    // Þ / þ
        {"\xC3\x97", "\xC3\xB7", false},                   // × and ÷ are not a pair
        {"\xC5\xB8", "\xC3\xBF", true},                    // Ÿ / ÿ
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "\xC5\x82\xC3\x93"
         "D\xC5\xB9",
         true},                          // Łódź / łÓDŹ
        {"\xC4\x8C", "\xC4\x8D", true},  // Č / č
        {"\xC5\x92", "\xC5\x93", true},  // Œ / œ
        {"\xC3\x9F", "ss", false},       // ß has no simple folding
        {"\xCE\xA3", "\xCF\x82", true},  // Σ / ς
        {"\xD0\x96", "\xD0\xB6", true},  // Ж / ж
        {"\xD0\x81", "\xD1\x91", true},  // Ё / ё
        {"caf\xE9", "CAF\xE9", true},    // not UTF-8: bytes kept
        {"caf\xE9", "CAF\xC9", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EqualsIgnoringCase(c.left, c.right), c.equal) << c.left << " / " << c.right;
        EXPECT_EQ(EqualsIgnoringCase(c.right, c.left), c.equal) << c.right << " / " << c.left;
    }
}

TEST(CaseFoldTest, FoldsToLowerCase) {
    EXPECT_EQ(FoldCase("Mail \xC3\x84"
                       "B"),
              "mail \xC3\xA4"
              "b");
    EXPECT_EQ(FoldCaseChar(U'Z'), U'z');
    EXPECT_EQ(FoldCaseChar(U'\u0100'), U'\u0101');
    EXPECT_EQ(FoldCaseChar(U'\u0101'), U'\u0101');
    EXPECT_EQ(FoldCaseChar(U'\u0139'), U'\u013A');
    EXPECT_EQ(FoldCaseChar(U'\u017F'), U's');
    EXPECT_EQ(FoldCaseChar(U'\u0130'), U'\u0130');  // dotted I folds only in Turkish
    EXPECT_EQ(FoldCaseChar(U'\u4E2D'), U'\u4E2D');
}

TEST(CaseFoldTest, AsciiCaseChangesOnlyAsciiLetters) {
    const std::string text = "Az@[`{09 \xC3\x84";  // the neighbours of both letter ranges, Ä
    EXPECT_EQ(AsciiLower(text), "az@[`{09 \xC3\x84");
    EXPECT_EQ(AsciiUpper(text), "AZ@[`{09 \xC3\x84");
}

}  // namespace
}  // namespace quillet
