#include "imap/imap_mailbox_name.h"

#include <cstdint>

namespace quillet::imap {

namespace {

constexpr std::string_view kBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
constexpr char32_t kReplacement = 0xFFFD;

// The code point at text[at], advancing `at`; U+FFFD for a byte that starts no valid sequence.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = lead < 0x80         ? 1
                         : (lead >> 5) == 6  ? 2
                         : (lead >> 4) == 14 ? 3
                         : (lead >> 3) == 30 ? 4
                                             : 0;
    if (length == 0 || at + length > text.size()) {
        ++at;
        return lead < 0x80 ? lead : kReplacement;
    }
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        point = (point << 6) | (byte(at + i) & 0x3F);
    }
    at += length;
    const bool overlong = (length == 2 && point < 0x80) || (length == 3 && point < 0x800) ||
                          (length == 4 && point < 0x10000);
    if (overlong || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return kReplacement;
    return point;
}

// Appends "&<base64 of the UTF-16 units>-".
void AppendShifted(std::string& out, const std::u16string& units) {
    out += '&';
    std::uint32_t bits = 0;
    int count = 0;
    for (char16_t unit : units) {
        bits = (bits << 16) | unit;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out += kBase64[(bits >> count) & 0x3F];
        }
    }
    if (count > 0) out += kBase64[(bits << (6 - count)) & 0x3F];
    out += '-';
}

}  // namespace

std::string ImapMailboxUtf7(std::string_view utf8) {
    std::string out;
    std::u16string shifted;
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t point = NextCodePoint(utf8, at);
        if (point >= 0x20 && point <= 0x7E) {
            if (!shifted.empty()) AppendShifted(out, shifted);
            shifted.clear();
            out += static_cast<char>(point);
            if (point == '&') out += '-';
        } else if (point < 0x10000) {
            shifted += static_cast<char16_t>(point);
        } else {
            shifted += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            shifted += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        }
    }
    if (!shifted.empty()) AppendShifted(out, shifted);
    return out;
}

std::string ImapMailboxPath(const std::vector<std::string>& levels, char delimiter) {
    const char joint = delimiter == '\0' ? '/' : delimiter;
    // Servers that keep mailboxes as folders misread the other of "." and "/" too: Dovecot's
    // Maildir++ layout under "/" makes "a.b" the level b below a, and "/" is the file system's.
    const char other = delimiter == '.' ? '/' : delimiter == '/' ? '.' : delimiter;
    std::string path;
    for (std::string level : levels) {
        if (delimiter != '\0') {
            for (char& c : level) {
                if (c == delimiter || c == other) c = '_';
            }
        }
        if (!path.empty()) path += joint;
        path += ImapMailboxUtf7(level);
    }
    return path;
}

}  // namespace quillet::imap
