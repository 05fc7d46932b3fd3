#include "registry/registry_name.h"

#include "platform/case_fold.h"
#include "platform/text_encoding.h"

namespace quillet::registry {
namespace {

bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

// The surrogate encoded at `pos` (ED A0..BF 80..BF), or 0 when there is none.
char16_t EncodedSurrogateAt(std::string_view name, std::size_t pos) {
    if (pos + 3 > name.size() || static_cast<unsigned char>(name[pos]) != 0xED) return 0;
    const auto second = static_cast<unsigned char>(name[pos + 1]);
    const auto third = static_cast<unsigned char>(name[pos + 2]);
    if (second < 0xA0 || second > 0xBF || (third & 0xC0) != 0x80) return 0;
    return static_cast<char16_t>(0xD000 | ((second & 0x3F) << 6) | (third & 0x3F));
}

// UTF-16 code units of the character at `pos`, and its length in bytes; a byte that is neither
// UTF-8 nor part of an encoded surrogate counts as one Windows-1252 character.
std::size_t CharAt(std::string_view name, std::size_t pos, std::size_t* units) {
    *units = 1;
    if (EncodedSurrogateAt(name, pos) != 0) return 3;
    char32_t character = 0;
    const std::size_t length = DecodeUtf8Char(name, pos, &character);
    if (length > 0 && character > 0xFFFF) *units = 2;
    return length > 0 ? length : 1;
}

}  // namespace

std::string NameFromUtf16(std::u16string_view units) {
    std::string name;
    name.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t character = units[i];
        if (character >= 0xD800 && character <= 0xDBFF && i + 1 < units.size() &&
            units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            character = 0x10000 + ((character - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        if (IsSurrogate(character)) {
            // Written out here: AppendUtf8Char is for characters, which surrogates are not.
            name += static_cast<char>(0xED);
            name += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
            name += static_cast<char>(0x80 | (character & 0x3F));
        } else {
            AppendUtf8Char(name, character);
        }
    }
    return name;
}

std::u16string NameToUtf16(std::string_view name) {
    std::u16string units;
    units.reserve(name.size());
    std::size_t runStart = 0;
    std::size_t pos = 0;
    while (pos < name.size()) {
        const char16_t surrogate = EncodedSurrogateAt(name, pos);
        if (surrogate == 0) {
            ++pos;
            continue;
        }
        units += Utf8ToUtf16(name.substr(runStart, pos - runStart));
        units += surrogate;
        pos += 3;
        runStart = pos;
    }
    units += Utf8ToUtf16(name.substr(runStart));
    return units;
}

bool HasLoneSurrogate(std::string_view name) {
    for (std::size_t pos = 0; pos < name.size(); ++pos) {
        if (EncodedSurrogateAt(name, pos) != 0) return true;
    }
    return false;
}

std::u16string FoldName(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) {
        // Surrogates and everything past the folded ranges stay as they are.
        c = static_cast<char16_t>(FoldCaseChar(c));
    }
    return folded;
}

std::u16string FoldName(std::string_view name) { return FoldName(NameToUtf16(name)); }

bool NamesEqual(std::string_view a, std::string_view b) {
    if (a == b) return true;
    return FoldName(a) == FoldName(b);
}

std::size_t CharCount(std::string_view name) {
    std::size_t count = 0;
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < name.size(); count += units) pos += CharAt(name, pos, &units);
    return count;
}

std::string_view FirstChars(std::string_view name, std::size_t maxChars) {
    std::size_t count = 0;
    std::size_t pos = 0;
    while (pos < name.size()) {
        std::size_t units = 0;
        const std::size_t length = CharAt(name, pos, &units);
        if (count + units > maxChars) break;
        count += units;
        pos += length;
    }
    return name.substr(0, pos);
}

}  // namespace quillet::registry
