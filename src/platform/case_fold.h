#pragma once

#include <string>
#include <string_view>

namespace quillet {

// Comparison of names without regard to case, the way Windows compares file names and registry
// key names. Text is UTF-8. Folding is Unicode simple case folding for ASCII, Latin-1,
// Latin Extended-A, basic Greek and basic Cyrillic; other characters compare as they are (no
// normalisation, no full folding such as "ß" = "ss"). Bytes that are not valid UTF-8 compare as
// themselves. Pure functions; safe from any thread.

// The folded form of one character (code point).
char32_t FoldCaseChar(char32_t character);

// The folded form of a UTF-8 text; two texts are equal ignoring case exactly when their folded
// forms are equal.
std::string FoldCase(std::string_view text);

bool EqualsIgnoringCase(std::string_view left, std::string_view right);

}  // namespace quillet
