#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillet::mailstore {

// The "From " line that opens a message in an mbox file: "From <sender> <date>", the sender
// and the date taken from the message's own header block. Pure functions; safe from any thread.

// The sender written when the message names none (or none fit to stand in the line).
inline constexpr std::string_view kUnknownSender = "MAILER-DAEMON";
// The date written when the message has no Date: field, or one that cannot be read.
inline constexpr std::string_view kUnknownDate = "Thu Jan  1 00:00:00 1970";

// The unfolded value of the first field called `name` (any case) in `headerBlock`, without the
// blanks around it; nullopt when there is none. The block ends at its first empty line (or at the
// end of the text).
std::optional<std::string> HeaderField(std::string_view headerBlock, std::string_view name);

// The address of Return-Path, else of From: the part in angle brackets, else the first word that
// holds an "@", else the whole value; kUnknownSender when none is left or it holds a blank or a
// control character.
std::string SenderAddress(std::string_view headerBlock);

// An RFC 2822 date ("Tue, 8 Dec 2026 19:30:05 +0100", with the obsolete zone names and two-digit
// years) as seconds since 1970-01-01 00:00:00 UTC; nullopt when it cannot be read.
std::optional<std::int64_t> ParseMailDate(std::string_view value);

// The time in the asctime form "Www Mmm dd hh:mm:ss yyyy", UTC, the day padded with a blank.
// Years outside 1..9999 give kUnknownDate.
std::string AsctimeUtc(std::int64_t seconds);

// "From <SenderAddress> <the Date: field as AsctimeUtc, else kUnknownDate>", without a line end.
std::string MboxFromLine(std::string_view headerBlock);

}  // namespace quillet::mailstore
