#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quillet::registry {

// Whether a zero as the last unit is the terminator of a text value (not written: Wine's files
// leave it implied) or part of a name (written, so that "a" and "a" + zero stay two names).
enum class FinalZero { kImplied, kWritten };

// Appends UTF-16 text as Wine's registry writer escapes it: `\\`, the two given delimiters
// preceded by a backslash, C escapes (\a \b \t \n \v \f \r \e), octal for other control
// characters, and `\x` + hex for every code unit above 0x7F, lone surrogates included (four
// digits when a hex digit follows). Returns the bytes appended.
std::size_t AppendWineEscaped(std::string& out, std::u16string_view text, char delimiter1,
                              char delimiter2, FinalZero finalZero);

// Reads Wine-escaped text from `line` at `pos` up to the unescaped `endChar`, as Wine's reader
// does (UTF-8 bytes decode to UTF-16; invalid bytes are taken one by one). On success `pos`
// stands on `endChar`. False when the line ends first.
bool ParseWineEscaped(std::string_view line, std::size_t& pos, char endChar, std::u16string* out);

}  // namespace quillet::registry
