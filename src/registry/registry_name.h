#pragma once

#include <string>
#include <string_view>

namespace quillet::registry {

// Key and value names compare without regard to case, on UTF-16 code units folded to lower case,
// which is how Wine orders and matches them (so "_" sorts before letters, as in its files). The
// fold covers ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic; other characters compare as
// they are.
std::u16string FoldName(std::u16string_view name);
std::u16string FoldName(std::string_view utf8Name);

bool NamesEqual(std::string_view a, std::string_view b);

}  // namespace quillet::registry
