#include "registry/wine_string_escape.h"

#include <cstdio>

#include "platform/hex_digits.h"
#include "platform/text_encoding.h"

namespace quillet::registry {
namespace {

// How many bytes the UTF-8 sequence starting with `lead` should have (1 when not a lead byte).
std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

}  // namespace

std::size_t AppendWineEscaped(std::string& out, std::u16string_view text, char delimiter1,
                              char delimiter2, FinalZero finalZero) {
    static constexpr char kEscapes[33] = ".......abtnvfr.............e....";
    const std::size_t start = out.size();
    char buffer[16];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const bool last = i + 1 == text.size();
        if (c > 127) {
            const bool padded = !last && HexDigitValue(text[i + 1]) >= 0;
            std::snprintf(buffer, sizeof buffer, padded ? "\\x%04x" : "\\x%x",
                          static_cast<unsigned>(c));
            out += buffer;
        } else if (c < 32) {
            if (c == 0 && last && finalZero == FinalZero::kImplied) continue;
            if (kEscapes[c] != '.') {
                out += '\\';
                out += kEscapes[c];
            } else {
                const bool padded = !last && text[i + 1] >= '0' && text[i + 1] <= '7';
                std::snprintf(buffer, sizeof buffer, padded ? "\\%03o" : "\\%o",
                              static_cast<unsigned>(c));
                out += buffer;
            }
        } else {
            if (c == '\\' || c == delimiter1 || c == delimiter2) out += '\\';
            out += static_cast<char>(c);
        }
    }
    return out.size() - start;
}

bool ParseWineEscaped(std::string_view line, std::size_t& pos, char endChar, std::u16string* out) {
    out->reserve(out->size() + line.size() - pos);
    while (pos < line.size() && line[pos] != endChar) {
        // Plain ASCII, by far the most of any registry file, is copied a run at a time.
        std::size_t run = pos;
        while (run < line.size() && line[run] != endChar && line[run] != '\\' &&
               static_cast<unsigned char>(line[run]) < 0x80) {
            ++run;
        }
        if (run > pos) {
            out->append(line.begin() + static_cast<std::ptrdiff_t>(pos),
                        line.begin() + static_cast<std::ptrdiff_t>(run));
            pos = run;
            continue;
        }
        if (line[pos] != '\\') {
            const std::size_t length = std::min(
                Utf8SequenceLength(static_cast<unsigned char>(line[pos])), line.size() - pos);
            *out += Utf8ToUtf16(line.substr(pos, length));
            pos += length;
            continue;
        }
        if (++pos >= line.size()) return false;
        const char c = line[pos];
        switch (c) {
            case 'a':
                *out += u'\a';
                ++pos;
                break;
            case 'b':
                *out += u'\b';
                ++pos;
                break;
            case 'e':
                *out += char16_t{27};
                ++pos;
                break;
            case 'f':
                *out += u'\f';
                ++pos;
                break;
            case 'n':
                *out += u'\n';
                ++pos;
                break;
            case 'r':
                *out += u'\r';
                ++pos;
                break;
            case 't':
                *out += u'\t';
                ++pos;
                break;
            case 'v':
                *out += u'\v';
                ++pos;
                break;
            case 'x': {
                ++pos;
                if (pos >= line.size() || HexDigitValue(line[pos]) < 0) {
                    *out += u'x';
                    break;
                }
                unsigned value = 0;
                for (int digits = 0;
                     digits < 4 && pos < line.size() && HexDigitValue(line[pos]) >= 0; ++digits) {
                    value = value * 16 + static_cast<unsigned>(HexDigitValue(line[pos++]));
                }
                *out += static_cast<char16_t>(value);
                break;
            }
            default:
                if (c >= '0' && c <= '7') {
                    unsigned value = 0;
                    for (int digits = 0;
                         digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7';
                         ++digits) {
                        value = value * 8 + (line[pos++] - '0');
                    }
                    *out += static_cast<char16_t>(value);
                } else {
                    // Any other escaped character stands for itself (\\, \", \[, \]).
                    const std::size_t length = std::min(
                        Utf8SequenceLength(static_cast<unsigned char>(c)), line.size() - pos);
                    *out += Utf8ToUtf16(line.substr(pos, length));
                    pos += length;
                }
        }
    }
    return pos < line.size();
}

}  // namespace quillet::registry
