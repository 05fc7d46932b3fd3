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

// ASCII letters only, for what is ASCII by definition (extensions, codes, entry names compared
// byte by byte): 'A' to 'Z' and 'a' to 'z' change case; every other byte, UTF-8 included, stays.
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);

}  // namespace quillet
