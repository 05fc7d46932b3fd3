#include "mailstore/imap_utf7.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet::mailstore {
namespace {

struct Utf7Case {
    const char* name;
    std::string utf8;
    std::string utf7;
};

class ImapUtf7Test : public ::testing::TestWithParam<Utf7Case> {};

TEST_P(ImapUtf7Test, SpellsNamesAsImapDoes) {
    EXPECT_EQ(ToImapUtf7(GetParam().utf8), GetParam().utf7);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ImapUtf7Test,
    ::testing::Values(
        Utf7Case{"Ascii", "Sent Items (2)", "Sent Items (2)"},
        Utf7Case{"Ampersand", "A&B&", "A&-B&-"},
        Utf7Case{"OneAccent", "Entw\xC3\xBCrfe", "Entw&APw-rfe"},
        // RFC 3501's own example: "/" in a run's base64 is ","
        Utf7Case{"RfcExample",
                 "~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
                 "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        Utf7Case{"OutsideTheBmp", "\xF0\x9F\x98\x80", "&2D3eAA-"},
        Utf7Case{"Control", "a\tb", "a&AAk-b"}, Utf7Case{"NotUtf8", "caf\xE9", "caf&AOk-"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::mailstore
