#pragma once

#include <string>
#include <string_view>

namespace quillet {

// Our text is UTF-8 everywhere. The registry stores UTF-16; older files may be Windows-1252.

bool IsValidUtf8(std::string_view text);

// Converts UTF-8 to UTF-16 code units. Bytes that are not valid UTF-8 are taken as
// Windows-1252 characters, so no input is rejected and ASCII stays ASCII.
std::u16string Utf8ToUtf16(std::string_view text);

// Converts UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Reads a text file's bytes: valid UTF-8 is returned as it is, anything else is taken as
// Windows-1252 and converted to UTF-8.
std::string DecodeTextFileBytes(std::string_view bytes);

std::string Cp1252ToUtf8(std::string_view bytes);

// Decodes the UTF-8 character at text[pos]; returns its length in bytes, or 0 when the bytes
// there are not UTF-8 (overlong forms and surrogates included).
std::size_t DecodeUtf8Char(std::string_view text, std::size_t pos, char32_t* character);
// Appends one character as UTF-8.
void AppendUtf8Char(std::string& out, char32_t character);

}  // namespace quillet
