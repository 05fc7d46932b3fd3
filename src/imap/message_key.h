#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "mailstore/message_store.h"

namespace quillet::imap {

// How an upload tells that a message is already in a mailbox without adding anything to it: by
// the size the server gives it (RFC822.SIZE), its internal date (which the upload sets) and a hash
// of its first kKeyPrefixBytes bytes as the server gives them back. Messages that agree in all
// three are taken as the same; the upload counts them, so identical messages in a store are each
// uploaded once. A message is keyed as the server stores it, which is as Dovecot 2.3 does: every
// line end (CRLF, a bare LF, a bare CR) becomes CRLF, and a NUL byte comes back as 0x80.
inline constexpr std::size_t kKeyPrefixBytes = 512;

struct MessageKey {
    std::uint64_t size = 0;
    std::uint64_t prefixHash = 0;
    std::optional<std::int64_t> date;  // seconds since 1970 (UTC); none when the upload sets none

    auto operator<=>(const MessageKey&) const = default;
};

// The 64-bit FNV-1a hash of `bytes`: the same in every run and build.
std::uint64_t Fnv1aHash(std::string_view bytes);

// The key of `message` as the server will see it once uploaded with `date`.
MessageKey KeyOfMessage(std::string_view message, std::optional<std::int64_t> date);

// The key of a message on the server, from what FETCH gives: its RFC822.SIZE, its first bytes
// (BODY.PEEK[]<0.kKeyPrefixBytes>) and its internal date.
MessageKey KeyOfServerMessage(std::uint64_t size, std::string_view prefix, std::int64_t date);

// The internal date a message gets: the time the store says it was received, else the time of
// its Date: header, else none (the server then gives it the time of the upload).
std::optional<std::int64_t> InternalDate(const mailstore::MessageEntry& entry,
                                         std::string_view message);

// The IMAP flags of a store's message state.
struct ImapFlags {
    bool seen = false;
    bool flagged = false;
    bool answered = false;
    bool forwarded = false;  // the keyword "$Forwarded"
};
ImapFlags FlagsOfEntry(const mailstore::MessageEntry& entry);

}  // namespace quillet::imap
