#include "mailstore/imap_utf7.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace quillet::mailstore {
namespace {

TEST(ImapUtf7Test, SpellsNamesAsImapDoes) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Sent Items (2)", "Sent Items (2)"},
        {"A&B&", "A&-B&-"},
        {"Entw\xC3\xBCrfe", "Entw&APw-rfe"},
        // RFC 3501's own example: "/" in a run's base64 is ","
        {"~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
         "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"\xF0\x9F\x98\x80", "&2D3eAA-"},  // outside the BMP: a surrogate pair
        {"a\tb", "a&AAk-b"},
        {"caf\xE9", "caf&AOk-"},  // not UTF-8: Windows-1252
    };
    for (const auto& [utf8, utf7] : names) EXPECT_EQ(ToImapUtf7(utf8), utf7) << utf8;
}

}  // namespace
}  // namespace quillet::mailstore
