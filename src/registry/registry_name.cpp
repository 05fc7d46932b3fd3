#include "registry/registry_name.h"

#include "app/text_encoding.h"

namespace quillet::registry {
namespace {

char16_t ToLower(char16_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? static_cast<char16_t>(c + 0x20) : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
    if (c == 0x178) return 0xFF;
    if (c >= 0x100 && c <= 0x17F) {
        // Latin Extended-A pairs letters as upper/lower in alternating code points; the two
        // runs 0x139..0x148 and 0x179..0x17E start the pairs on odd code points.
        const bool oddPairs = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130) return 'i';
        if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
        if (oddPairs ? (c % 2 == 1) : (c % 2 == 0)) return static_cast<char16_t>(c + 1);
        return c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    return c;
}

}  // namespace

std::u16string FoldName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) c = ToLower(c);
    return folded;
}

std::u16string FoldName(std::string_view utf8Name) { return FoldName(Utf8ToUtf16(utf8Name)); }

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    return FoldName(a) == FoldName(b);
}

}  // namespace quillet::registry
