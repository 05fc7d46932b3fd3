#include "imap/message_key.h"

#include <libetpan/mailimf.h>

#include <ctime>
#include <string>

#include "platform/case_fold.h"

namespace quillet::imap {

namespace {

// The store's state bits of a message.
constexpr std::uint32_t kFlagged = 0x20;
constexpr std::uint32_t kRead = 0x80;
constexpr std::uint32_t kAnswered = 0x80000;
constexpr std::uint32_t kForwarded = 0x100000;

// FILETIME counts 100 ns from 1601; Unix time seconds from 1970.
constexpr std::uint64_t kFileTimePerSecond = 10'000'000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;

// What the server gives back for a NUL byte of a message.
constexpr char kServerNul = '\x80';

// The value of the first Date: header field, unfolded; empty when there is none.
std::string DateField(std::string_view message) {
    constexpr std::string_view kName = "date:";
    std::size_t line = 0;
    while (line < message.size()) {
        std::size_t end = message.find('\n', line);
        if (end == std::string_view::npos) end = message.size();
        std::string_view text = message.substr(line, end - line);
        if (text.ends_with('\r')) text.remove_suffix(1);
        if (text.empty()) return {};  // the end of the header
        if (text.size() >= kName.size() &&
            EqualsIgnoringCase(text.substr(0, kName.size()), kName)) {
            std::string value(text.substr(kName.size()));
            // Folded continuation lines start with a blank.
            for (std::size_t next = end + 1;
                 next < message.size() && (message[next] == ' ' || message[next] == '\t');) {
                std::size_t nextEnd = message.find('\n', next);
                if (nextEnd == std::string_view::npos) nextEnd = message.size();
                std::string_view more = message.substr(next, nextEnd - next);
                if (more.ends_with('\r')) more.remove_suffix(1);
                value += more;
                next = nextEnd + 1;
            }
            return value;
        }
        line = end + 1;
    }
    return {};
}

std::optional<std::int64_t> ParsedDate(const std::string& value) {
    if (value.empty()) return std::nullopt;
    std::size_t at = 0;
    mailimf_date_time* parsed = nullptr;
    if (mailimf_date_time_parse(value.c_str(), value.size(), &at, &parsed) != MAILIMF_NO_ERROR) {
        return std::nullopt;
    }
    std::tm fields{};
    fields.tm_year = parsed->dt_year - 1900;
    fields.tm_mon = parsed->dt_month - 1;
    fields.tm_mday = parsed->dt_day;
    fields.tm_hour = parsed->dt_hour;
    fields.tm_min = parsed->dt_min;
    fields.tm_sec = parsed->dt_sec;
    const int zone = parsed->dt_zone;  // +hhmm as a number
    mailimf_date_time_free(parsed);
    const std::int64_t zoneSeconds = (zone / 100) * 3600 + (zone % 100) * 60;
    const std::time_t local = timegm(&fields);
    if (local == static_cast<std::time_t>(-1) || fields.tm_year < 70) return std::nullopt;
    return static_cast<std::int64_t>(local) - zoneSeconds;
}

}  // namespace

std::uint64_t Fnv1aHash(std::string_view bytes) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ull;
    }
    return hash;
}

MessageKey KeyOfMessage(std::string_view message, std::optional<std::int64_t> date) {
    MessageKey key;
    key.date = date;
    std::string prefix;
    auto add = [&](char c) {
        ++key.size;
        if (prefix.size() < kKeyPrefixBytes) prefix += c;
    };
    for (std::size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
            add('\r');
            add('\n');
        } else {
            add(c == '\0' ? kServerNul : c);
        }
    }
    key.prefixHash = Fnv1aHash(prefix);
    return key;
}

MessageKey KeyOfServerMessage(std::uint64_t size, std::string_view prefix, std::int64_t date) {
    return MessageKey{size, Fnv1aHash(prefix.substr(0, kKeyPrefixBytes)), date};
}

std::optional<std::int64_t> InternalDate(const mailstore::MessageEntry& entry,
                                         std::string_view message) {
    if (entry.receivedTime != 0) {
        return static_cast<std::int64_t>(entry.receivedTime / kFileTimePerSecond) -
               kSecondsFrom1601To1970;
    }
    return ParsedDate(DateField(message));
}

ImapFlags FlagsOfEntry(const mailstore::MessageEntry& entry) {
    return ImapFlags{(entry.flags & kRead) != 0, (entry.flags & kFlagged) != 0,
                     (entry.flags & kAnswered) != 0, (entry.flags & kForwarded) != 0};
}

}  // namespace quillet::imap
