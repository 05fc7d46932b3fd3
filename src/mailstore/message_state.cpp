#include "mailstore/message_state.h"

#include <cstdio>

namespace quillet::mailstore {

namespace {

// Thunderbird's X-Mozilla-Status bits.
constexpr unsigned kMozillaRead = 0x0001;
constexpr unsigned kMozillaReplied = 0x0002;
constexpr unsigned kMozillaMarked = 0x0004;
constexpr unsigned kMozillaForwarded = 0x1000;

}  // namespace

MessageState MessageState::Of(const MessageEntry& message) {
    if (message.origin != MessageEntry::Origin::kIndex) return {};
    return {(message.flags & kMessageRead) != 0, (message.flags & kMessageFlagged) != 0,
            (message.flags & kMessageAnswered) != 0, (message.flags & kMessageForwarded) != 0};
}

std::array<StateField, 3> MboxStateFields(const MessageState& state) {
    std::string xStatus;
    if (state.flagged) xStatus += 'F';
    if (state.answered) xStatus += 'A';
    const unsigned mozilla =
        (state.read ? kMozillaRead : 0) | (state.answered ? kMozillaReplied : 0) |
        (state.flagged ? kMozillaMarked : 0) | (state.forwarded ? kMozillaForwarded : 0);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04X", mozilla);
    return {StateField{"Status", state.read ? "RO" : "O"}, StateField{"X-Status", xStatus},
            StateField{"X-Mozilla-Status", digits}};
}

std::string MaildirInfo(const MessageState& state) {
    std::string info = ":2,";
    if (state.flagged) info += 'F';
    if (state.forwarded) info += 'P';
    if (state.answered) info += 'R';
    if (state.read) info += 'S';
    return info;
}

}  // namespace quillet::mailstore
