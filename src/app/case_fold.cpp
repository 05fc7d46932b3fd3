#include "app/case_fold.h"

#include <cstdint>

namespace quillet {
namespace {

// Decodes one UTF-8 character at text[pos]; returns its length, or 0 when the bytes there are
// not a valid sequence.
size_t DecodeOne(std::string_view text, size_t pos, char32_t* out) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = byte(0);
    size_t length;
    char32_t cp;
    if (lead < 0x80) {
        *out = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    *out = cp;
    return length;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

char32_t FoldCaseChar(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
    // Latin-1: À..Þ except ×; µ folds to Greek small mu.
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c == 0xB5) return 0x3BC;
    if (c == 0x178) return 0xFF;  // Ÿ
    if (c == 0x17F) return 's';   // long s
    // Latin Extended-A: upper case at even code points, except the two runs at odd ones.
    // U+0130 (dotted I) and U+0131, U+0138, U+0149 have no simple folding.
    if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
        return c | 1;
    }
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
        return (c % 2 == 1) ? c + 1 : c;
    }
    // Greek capitals (U+03A2 is unassigned), final sigma folds to sigma.
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
    if (c == 0x3C2) return 0x3C3;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    // Cyrillic.
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    return c;
}

std::string FoldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        char32_t cp;
        const size_t length = DecodeOne(text, pos, &cp);
        if (length == 0) {
            // Not UTF-8: keep the byte, so such names still compare equal to themselves.
            out += text[pos];
            ++pos;
            continue;
        }
        AppendUtf8(out, FoldCaseChar(cp));
        pos += length;
    }
    return out;
}

bool EqualsIgnoringCase(std::string_view left, std::string_view right) {
    // Fast path for the common all-ASCII names.
    if (left.size() == right.size()) {
        bool ascii = true;
        bool equal = true;
        for (size_t i = 0; i < left.size() && ascii; ++i) {
            const auto a = static_cast<unsigned char>(left[i]);
            const auto b = static_cast<unsigned char>(right[i]);
            if (a >= 0x80 || b >= 0x80) {
                ascii = false;
            } else if (FoldCaseChar(a) != FoldCaseChar(b)) {
                equal = false;
            }
        }
        if (ascii) return equal;
    }
    return FoldCase(left) == FoldCase(right);
}

}  // namespace quillet
