#include "mailstore/message_state.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace quillet::mailstore {
namespace {

TEST(MessageStateTest, MapsTheStoreFlagsToEachFormat) {
    // Store flags -> "Status|X-Status|X-Mozilla-Status" and the Maildir info.
    const std::vector<std::tuple<std::uint32_t, std::string, std::string>> rows = {
        {0x01, "O||0000", ":2,"},  // downloaded, unread
        {0x81, "RO||0001", ":2,S"},      {0x20, "O|F|0004", ":2,F"},
        {0x80080, "RO|A|0003", ":2,RS"}, {0x1800A0, "RO|FA|1007", ":2,FPRS"},
        {0x4009, "O||0000", ":2,"},  // draft, attachment: no state
    };
    for (const auto& [flags, mbox, maildir] : rows) {
        const MessageState state = MessageState::Of({.flags = flags, .subject = {}});
        const auto fields = MboxStateFields(state);
        EXPECT_EQ(fields[0].value + "|" + fields[1].value + "|" + fields[2].value, mbox) << flags;
        EXPECT_EQ(MaildirInfo(state), maildir) << flags;
    }
    // A recovered message's flags are not its own: it arrives unread.
    EXPECT_EQ(MaildirInfo(MessageState::Of(
                  {.origin = MessageEntry::Origin::kLostChain, .flags = 0xA0, .subject = {}})),
              MaildirInfo({}));
}

}  // namespace
}  // namespace quillet::mailstore
