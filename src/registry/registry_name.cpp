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

}  // namespace quillet::registry
