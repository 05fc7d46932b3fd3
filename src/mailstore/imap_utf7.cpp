#include "mailstore/imap_utf7.h"

#include "platform/text_encoding.h"

namespace quillet::mailstore {

namespace {

constexpr std::string_view kModifiedBase64 =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

bool StandsForItself(char16_t unit) { return unit >= 0x20 && unit <= 0x7E; }

// Appends "&" + the modified base64 of `units` as UTF-16BE + "-".
void AppendShifted(std::string& out, std::u16string_view units) {
    out += '&';
    unsigned bits = 0;
    unsigned pending = 0;
    for (char16_t unit : units) {
        pending = (pending << 16) | unit;
        bits += 16;
        while (bits >= 6) {
            bits -= 6;
            out += kModifiedBase64[(pending >> bits) & 0x3F];
        }
        pending &= (1u << bits) - 1;
    }
    if (bits > 0) out += kModifiedBase64[(pending << (6 - bits)) & 0x3F];
    out += '-';
}

}  // namespace

std::string ToImapUtf7(std::string_view utf8) {
    const std::u16string units = Utf8ToUtf16(utf8);
    const std::u16string_view text(units);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == u'&') {
            out += "&-";
            ++i;
        } else if (StandsForItself(text[i])) {
            out += static_cast<char>(text[i]);
            ++i;
        } else {
            std::size_t end = i;
            while (end < text.size() && !StandsForItself(text[end])) ++end;
            AppendShifted(out, text.substr(i, end - i));
            i = end;
        }
    }
    return out;
}

}  // namespace quillet::mailstore
