#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/status.h"
#include "registry/mod_reg.h"

namespace quillet::registry {

// The registry text form: one key tree as lines ended by CR LF, UTF-8 without a byte-order mark.
// A key line is a backslash alone for the exported key, or the subkey's path below it, each name
// preceded by a backslash. A value line is `"` + name + a six-character type mark + data:
//   `"= sz:` text        `"=esz:` expandable text (unexpanded)
//   `"=bin:` bytes as decimal numbers joined by ","        `"= dw:` signed 32-bit decimal
// More marks carry what those cannot, and readers of the four plain marks skip them:
//   `"=xsz:` / `"=xes:` text or expandable text holding a line break, written with the escapes
//       `\\`, `\r` and `\n`;
//   `"=rXX:` any other value of a type up to 0xFF (XX: its type in two hex digits) as the bytes
//       the registry stores (UTF-16LE for text types), written as for `bin:`;
//   `"=rxt:` a value of a type above 0xFF: its type in hex (up to eight digits), ":", then its
//       bytes as for `rXX`. Every value is written; none is left out.
// Keys come in pre-order: a key's line, its values in stored order, then its subkeys.
// Names are written as they are; a value name may hold zeros.

// Bounds on a registry text file read back. The largest key tree Outlook Express keeps for an
// identity (its settings, or a long list of blocked senders) makes a file of a few hundred
// kilobytes in some thousands of lines, whose longest line (a binary value written as decimal
// numbers) holds a few kilobytes. A file beyond any of these bounds is not such data, and reading
// it whole could take gigabytes of memory.
inline constexpr std::uint64_t kMaxRegistryTextBytes = 8 * 1024 * 1024;
inline constexpr std::size_t kMaxRegistryTextLines = 200'000;
inline constexpr std::size_t kMaxRegistryTextLineBytes = 1024 * 1024;

// Writes the key at `keyPath` with all its subkeys to `file`, replacing it. A key that cannot be
// opened contributes its key line alone. Fails, leaving no file, when the file cannot be written,
// the subkeys cannot be listed, or a name in the tree is one the form cannot carry: a key or
// value name holding a line break (CR or LF) or a lone UTF-16 surrogate, or a key name holding a
// zero or longer than kKeyNameBufferChars characters; the reason names the key and the name. Fails
// too, leaving no file, when the text passes the bounds above, which the reader would refuse.
Status ExportKeyTree(ModReg& modReg, const std::string& keyPath, const std::filesystem::path& file);

// Appends the value lines of one key (not its subkeys) to `file`; fails, as above, for a value
// name the form cannot carry (the lines before it stay).
Status WriteKeyValues(ModReg& modReg, const std::string& keyPath,
                      const std::filesystem::path& file);

// Rebuilds the key tree of `file` below `baseKeyPath`. The whole file is read and checked first:
// a malformed file (a value line with no "=" past its second character, a binary piece that is
// not a number from 0 to 255, a number outside the signed 32-bit range, a bad escape, a key line
// with an empty key name or one longer than kKeyNameBufferChars characters, which the export
// refuses, a key deeper than kMaxKeyDepth levels below its root) changes nothing
// and the reason names the line; so does a file beginning with a byte-order mark, and a file
// beyond the bounds above, which is refused without being read whole. When the
// file holds the line of the exported key itself, the tree at the base path is deleted first, so
// the base path then holds exactly the file's keys and values. Reading stops at the first empty
// line. A key line ends at its first zero character, as a key path does. The change is committed
// once.
Status ImportKeyFile(ModReg& modReg, const std::string& baseKeyPath,
                     const std::filesystem::path& file);

// ImportKeyFile for registry text already in memory (read out of a backup); `sourceName` names it
// in the reasons.
Status ImportKeyText(ModReg& modReg, const std::string& baseKeyPath, std::string bytes,
                     const std::string& sourceName);

}  // namespace quillet::registry
