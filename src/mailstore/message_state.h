#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "mailstore/message_store.h"

namespace quillet::mailstore {

// The bits of a message's flags (its index entry's) that an export carries.
inline constexpr std::uint32_t kMessageFlagged = 0x20;
inline constexpr std::uint32_t kMessageRead = 0x80;
inline constexpr std::uint32_t kMessageAnswered = 0x80000;
inline constexpr std::uint32_t kMessageForwarded = 0x100000;

// What the store knows of a message's state. A recovered message has no index entry of its own:
// its state is unknown, and it arrives unread and unmarked.
struct MessageState {
    bool read = false;
    bool flagged = false;
    bool answered = false;
    bool forwarded = false;

    static MessageState Of(const MessageEntry& message);
};

// A header field an mbox export writes at the end of a message's header block, in place of any
// field of the same name the message has. An empty value is written as no field at all (the
// message's own one is still left out).
struct StateField {
    std::string_view name;
    std::string value;
};

// The fields that readers of mbox files take a message's state from:
//   "Status": "RO" read, "O" unread ("O": seen by a mail program before, so not new);
//   "X-Status": "F" flagged, "A" answered, in that order ("FA"), empty for neither;
//   "X-Mozilla-Status": four hex digits of Thunderbird's bits, 0001 read, 0002 replied,
//   0004 marked, 1000 forwarded.
// Python's mailbox.mboxMessage and mutt read the first two, Thunderbird the third first.
std::array<StateField, 3> MboxStateFields(const MessageState& state);

// A Maildir file name's info: ":2," and the flags in ASCII order, "F" flagged, "P" passed
// (forwarded), "R" replied, "S" seen ("S" alone for a read message, ":2," for an unread one).
std::string MaildirInfo(const MessageState& state);

}  // namespace quillet::mailstore
