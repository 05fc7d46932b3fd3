#pragma once

#include <string_view>

#include "platform/status.h"

namespace quillet::archive {

// Whether `name` may be used as an archive entry name: a plain file name that cannot reach outside
// the folder it is extracted into. Refused: the empty name, "." and "..", names holding `/` or
// `\` (a path, absolute or relative), `:` (a drive prefix such as "C:", or an NTFS stream name),
// control characters (NUL among them), and names ending with a dot or blank (Windows drops those,
// so "Inbox.dbx." would be the same file as "Inbox.dbx"). Returns Ok or the reason the name was
// refused.
Status CheckEntryName(std::string_view name);

// Whether two entry names would name the same file on Windows, whose file names ignore the case
// of ASCII letters. Two such names in one archive would overwrite each other on extraction there,
// so an archive holding them is invalid.
bool EntryNamesCollide(std::string_view first, std::string_view second);

}  // namespace quillet::archive
