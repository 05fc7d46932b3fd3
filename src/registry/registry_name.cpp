#include "registry/registry_name.h"

#include "platform/case_fold.h"
#include "platform/text_encoding.h"

namespace quillet::registry {

std::u16string FoldName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) {
        // Surrogates and everything past the folded ranges stay as they are.
        c = static_cast<char16_t>(FoldCaseChar(c));
    }
    return folded;
}

std::u16string FoldName(std::string_view utf8Name) { return FoldName(Utf8ToUtf16(utf8Name)); }

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    return FoldName(a) == FoldName(b);
}

namespace {

// UTF-16 code units of the UTF-8 character at `pos`, and its length in bytes; a byte that is not
// UTF-8 counts as one Windows-1252 character, as Utf8ToUtf16 reads it.
std::size_t CharAt(std::string_view utf8, std::size_t pos, std::size_t* units) {
    char32_t character = 0;
    const std::size_t length = DecodeUtf8Char(utf8, pos, &character);
    *units = length > 0 && character > 0xFFFF ? 2 : 1;
    return length > 0 ? length : 1;
}

}  // namespace

std::size_t CharCount(std::string_view utf8) {
    std::size_t count = 0;
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < utf8.size(); count += units) pos += CharAt(utf8, pos, &units);
    return count;
}

std::string_view FirstChars(std::string_view utf8, std::size_t maxChars) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        std::size_t units = 0;
        const std::size_t length = CharAt(utf8, pos, &units);
        if (count + units > maxChars) break;
        count += units;
        pos += length;
    }
    return utf8.substr(0, pos);
}

}  // namespace quillet::registry
