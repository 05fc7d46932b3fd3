#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/file_operations.h"
#include "platform/status.h"

namespace quillet::thunderbird {

// The profiles.ini text `current` (the file's bytes; empty when there is none) with one profile
// more: a [ProfileN] section, N the first number no section uses (Thunderbird stops reading at
// the first gap), holding Name=, IsRelative=0 and Path= the absolute folder. Every other line is
// kept byte for byte; a new file gets the [General] section Thunderbird writes. A name or path
// holding a line break is refused (it would add lines of its own).
Result<std::string> ProfilesIniWithProfile(std::string_view current, const std::string& name,
                                           const std::filesystem::path& folder);

// Adds the profile to `iniFile` (made with its folder when missing), replacing the file durably.
Status RegisterProfile(const std::filesystem::path& iniFile, const std::string& name,
                       const std::filesystem::path& folder,
                       FileOperations& files = RealFileOperations());

// ~/.thunderbird/profiles.ini of the user `home` names.
std::filesystem::path ProfilesIniIn(const std::filesystem::path& home);

}  // namespace quillet::thunderbird
