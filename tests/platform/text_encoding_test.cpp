#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet {
namespace {

TEST(TextEncodingTest, RecognisesValidAndInvalidUtf8) {
    struct Case {
        std::string bytes;
        bool valid;
    };
    const Case cases[] = {
        {"", true},
        {"plain ASCII", true},
        {"caf\xC3\xA9", true},           // é
        {"\xE2\x82\xAC", true},          // €
        {"\xF0\x9F\x98\x80", true},      // 😀, four bytes
        {"\xF4\x8F\xBF\xBF", true},      // U+10FFFF, the last code point
        {"caf\xE9", false},              // Windows-1252 é
        {"\xC3", false},                 // truncated sequence
        {"\x80", false},                 // lone continuation byte
        {"\xC0\x80", false},             // overlong NUL
        {"\xE0\x80\xAF", false},         // overlong '/'
        {"\xED\xA0\x80", false},         // encoded surrogate
        {"\xF4\x90\x80\x80", false},     // past U+10FFFF
        {"\xF5\x80\x80\x80", false},     // invalid lead byte
        {"\xF0\x9F\x98", false},         // emoji cut short
        {std::string("a\0b", 3), true},  // NUL is a character
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << "bytes: " << c.bytes;
    }
}

TEST(TextEncodingTest, RoundTripsThroughUtf16IncludingSurrogatePairs) {
    struct Case {
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"", u""},
        {"Inbox", u"Inbox"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"\xE2\x82\xAC 5", u"\u20AC 5"},
        {"\xF0\x9F\x98\x80", std::u16string{char16_t(0xD83D), char16_t(0xDE00)}},
        {"a\xF0\x9F\x93\xA7z", std::u16string{u'a', char16_t(0xD83D), char16_t(0xDCE7), u'z'}},
        {"\xF4\x8F\xBF\xBF", std::u16string{char16_t(0xDBFF), char16_t(0xDFFF)}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    }
}

TEST(TextEncodingTest, TurnsLoneSurrogatesIntoReplacementCharacter) {
    EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', char16_t(0xD83D)}), "a\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDE00), u'b'}),
              "\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)}),
              "\xEF\xBF\xBD\xF0\x9F\x98\x80");
}

TEST(TextEncodingTest, FallsBackToWindows1252ForBytesThatAreNotUtf8) {
    EXPECT_EQ(Utf8ToUtf16("caf\xE9"), u"caf\u00E9");
    EXPECT_EQ(Utf8ToUtf16("\x80\x9F"), u"\u20AC\u0178");
    // Valid sequences keep their meaning next to invalid bytes.
    EXPECT_EQ(Utf8ToUtf16("\xC3\xA9\xE9"), u"\u00E9\u00E9");

    EXPECT_EQ(Cp1252ToUtf8("caf\xE9 \x80 \x93quoted\x94"),
              "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D");
    // Undefined codes become the C1 control of the same number rather than being dropped.
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xC2\x81");

    EXPECT_EQ(DecodeTextFileBytes("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(DecodeTextFileBytes("caf\xE9"), "caf\xC3\xA9");
    // One invalid byte makes the whole file Windows-1252, as a file has one encoding.
    EXPECT_EQ(DecodeTextFileBytes("\xC3\xA9 \xE9"), "\xC3\x83\xC2\xA9 \xC3\xA9");
}

}  // namespace
}  // namespace quillet
