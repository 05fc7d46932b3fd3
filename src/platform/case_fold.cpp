#include "platform/case_fold.h"

#include <cstdint>

#include "platform/text_encoding.h"

namespace quillet {

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
        const size_t length = DecodeUtf8Char(text, pos, &cp);
        if (length == 0) {
            // Not UTF-8: keep the byte, so such names still compare equal to themselves.
            out += text[pos];
            ++pos;
            continue;
        }
        AppendUtf8Char(out, FoldCaseChar(cp));
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

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) c = AsciiLower(c);
    return lower;
}

std::string AsciiUpper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = AsciiUpper(c);
    return upper;
}

}  // namespace quillet
