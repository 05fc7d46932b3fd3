#pragma once

#include <cstddef>
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

// The registry's length limits (255 characters for a key name, the fixed name and text buffers)
// count characters as the registry does, in UTF-16 code units, never in UTF-8 bytes: a name of
// 255 accented letters is 510 bytes long.
std::size_t CharCount(std::string_view utf8);
// The longest start of `utf8` that holds at most `maxChars` characters, never splitting one.
std::string_view FirstChars(std::string_view utf8, std::size_t maxChars);

}  // namespace quillet::registry
