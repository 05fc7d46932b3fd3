#pragma once

#include <filesystem>
#include <string_view>

#include "platform/status.h"

namespace quillet::mailstore {

// The temporary folders that folder outputs (.eml, Maildir) write beside their targets, and how
// they are put in place.

// "<what> <path>: <system's reason>", with the kind of the error (a full disk, access denied...).
Status OutputFailure(std::string_view what, const std::filesystem::path& path, int error);

// Removes what runs that no longer run left beside `target` (a killed export, a stopped machine),
// then creates an empty folder beside it under a name no other run uses: ".<name>.quillet-
// <process id>-<number>".
Result<std::filesystem::path> MakeSideFolder(const std::filesystem::path& target);

// Puts `temporary` (a folder) in place of `target`, replacing the folder or file there: the two
// swap in one step where the file system can, so that the target is never missing. Afterwards
// `temporary` names what was replaced, to be removed by the caller, or is empty when nothing was.
Status PutInPlace(std::filesystem::path& temporary, const std::filesystem::path& target);

}  // namespace quillet::mailstore
