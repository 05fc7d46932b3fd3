#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet::registry {

// Key and value names are UTF-16 in the registry and UTF-8 in our code. A name may hold what
// UTF-8 cannot: a lone surrogate (a high one without its low one, a low one alone, a pair in the
// wrong order). Such a unit is kept as the three bytes UTF-8 would give its code point
// (ED A0 80 to ED BF BF, as WTF-8 does), so that every name converts to UTF-16 and back to the
// same units, and two names that differ in UTF-16 differ here. Names that are proper Unicode
// are plain UTF-8. A zero unit is a zero byte, wherever it stands.

// The name of UTF-16 `units`, lone surrogates encoded as above.
std::string NameFromUtf16(std::u16string_view units);
// The UTF-16 units of a name: UTF-8 with encoded lone surrogates; any other byte that is not
// UTF-8 counts as one Windows-1252 character, as Utf8ToUtf16 reads it.
std::u16string NameToUtf16(std::string_view name);
// True when the name holds a lone surrogate (and so is not plain UTF-8).
bool HasLoneSurrogate(std::string_view name);

// Key and value names compare without regard to case, on UTF-16 code units folded to lower case,
// which is how Wine orders and matches them (so "_" sorts before letters, as in its files). The
// fold covers ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic; other characters (and lone
// surrogates) compare as they are.
std::u16string FoldName(std::u16string_view name);
std::u16string FoldName(std::string_view name);

bool NamesEqual(std::string_view a, std::string_view b);

// The registry's length limits (255 characters for a key name, the fixed name and text buffers)
// count characters as the registry does, in UTF-16 code units, never in UTF-8 bytes: a name of
// 255 accented letters is 510 bytes long.
std::size_t CharCount(std::string_view name);
// The longest start of `name` that holds at most `maxChars` characters, never splitting one.
std::string_view FirstChars(std::string_view name, std::size_t maxChars);

}  // namespace quillet::registry
