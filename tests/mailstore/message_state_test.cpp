#include "mailstore/message_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet::mailstore {
namespace {

// Store flags -> "Status|X-Status|X-Mozilla-Status" and the Maildir info.
struct StateRow {
    std::uint32_t flags;
    MessageEntry::Origin origin;
    std::string mbox, maildir;
};

TEST(MessageStateTest, MapsTheStoreFlagsToEachFormat) {
    constexpr auto kIndex = MessageEntry::Origin::kIndex;
    const std::vector<StateRow> rows = {
        {0x01, kIndex, "O||0000", ":2,"},  // downloaded, unread
        {0x81, kIndex, "RO||0001", ":2,S"},
        {0x20, kIndex, "O|F|0004", ":2,F"},
        {0x80080, kIndex, "RO|A|0003", ":2,RS"},
        {0x100080, kIndex, "RO||1001", ":2,PS"},
        {0x1800A0, kIndex, "RO|FA|1007", ":2,FPRS"},
        {0x4009, kIndex, "O||0000", ":2,"},  // draft, attachment: no state
        // A recovered message's flags are not its own: it arrives unread.
        {0xA0, MessageEntry::Origin::kLostChain, "O||0000", ":2,"},
    };
    for (const StateRow& row : rows) {
        MessageEntry message;
        message.flags = row.flags;
        message.origin = row.origin;
        const MessageState state = MessageState::Of(message);
        const auto fields = MboxStateFields(state);
        EXPECT_EQ(fields[0].value + "|" + fields[1].value + "|" + fields[2].value, row.mbox)
            << std::hex << row.flags;
        EXPECT_EQ(MaildirInfo(state), row.maildir) << std::hex << row.flags;
    }
}

}  // namespace
}  // namespace quillet::mailstore
