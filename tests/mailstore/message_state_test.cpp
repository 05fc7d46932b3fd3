#include "mailstore/message_state.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet::mailstore {
namespace {

struct StateCase {
    const char* name;
    std::uint32_t flags;
    MessageEntry::Origin origin;
    std::string status, xStatus, mozillaStatus, maildirInfo;
};

class MessageStateTest : public ::testing::TestWithParam<StateCase> {};

TEST_P(MessageStateTest, MapsTheStoreFlagsToEachFormat) {
    const StateCase& c = GetParam();
    MessageEntry message;
    message.flags = c.flags;
    message.origin = c.origin;
    const MessageState state = MessageState::Of(message);
    const auto fields = MboxStateFields(state);
    EXPECT_EQ(fields[0].name, "Status");
    EXPECT_EQ(fields[0].value, c.status);
    EXPECT_EQ(fields[1].name, "X-Status");
    EXPECT_EQ(fields[1].value, c.xStatus);
    EXPECT_EQ(fields[2].name, "X-Mozilla-Status");
    EXPECT_EQ(fields[2].value, c.mozillaStatus);
    EXPECT_EQ(MaildirInfo(state), c.maildirInfo);
}

constexpr auto kIndex = MessageEntry::Origin::kIndex;
constexpr std::uint32_t kDownloaded = 0x01;
constexpr std::uint32_t kDraft = 0x08;
constexpr std::uint32_t kAttachment = 0x4000;

INSTANTIATE_TEST_SUITE_P(
    Flags, MessageStateTest,
    ::testing::Values(StateCase{"Unread", kDownloaded, kIndex, "O", "", "0000", ":2,"},
                      StateCase{"Read", kDownloaded | 0x80, kIndex, "RO", "", "0001", ":2,S"},
                      StateCase{"Flagged", 0x20, kIndex, "O", "F", "0004", ":2,F"},
                      StateCase{"Answered", 0x80 | 0x80000, kIndex, "RO", "A", "0003", ":2,RS"},
                      StateCase{"Forwarded", 0x80 | 0x100000, kIndex, "RO", "", "1001", ":2,PS"},
                      StateCase{"Everything", 0x80 | 0x20 | 0x80000 | 0x100000, kIndex, "RO", "FA",
                                "1007", ":2,FPRS"},
                      StateCase{"OthersCarryNothing", kDownloaded | kDraft | kAttachment, kIndex,
                                "O", "", "0000", ":2,"},
                      // A recovered message's flags are not its own: it arrives unread.
                      StateCase{"RecoveredArrivesUnread", 0x80 | 0x20,
                                MessageEntry::Origin::kLostChain, "O", "", "0000", ":2,"},
                      StateCase{"DeletedArrivesUnread", 0x80, MessageEntry::Origin::kDeletedChain,
                                "O", "", "0000", ":2,"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::mailstore
