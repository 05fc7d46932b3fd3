#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/environment.h"

namespace quillet::system {

// What the host says about the machine and the person running us, read once.
struct HostFacts {
    std::string hostName;   // as gethostname reports it
    std::string loginName;  // see ChooseLoginName

    // Reads the host name and the login name of the effective user from the system.
    static HostFacts FromProcess(const Environment& env);
};

// The login name: `accountName` (the account database's name for the effective user) when it
// is known and not empty, else $USER when set and not empty, else the numeric user id as text.
std::string ChooseLoginName(const std::optional<std::string>& accountName, const Environment& env,
                            unsigned userId);

// The SID of the user whose registry `userReg` (a Wine user.reg) holds, taken from its header
// line `;; All keys relative to REGISTRY\\User\\S-1-5-21-...`. Reads only the first lines of the
// file. nullopt when the file cannot be read or carries no such line.
std::optional<std::string> ReadUserSid(const std::filesystem::path& userReg);

// Replaces every "%UserProfile%" in `text` (that spelling only; other spellings stay) with
// `userProfile`.
std::string ExpandUserProfile(std::string_view text, std::string_view userProfile);

// The facts Windows programs ask the system for, answered for a Wine prefix. All paths returned
// are Windows paths (`C:\...`); WindowsPathMapper turns them into host paths.
// Immutable after construction; safe from any thread if the profile lookup is.
class SystemInfo {
  public:
    // Looks up the ProfileImagePath recorded for a user SID in the prefix's machine registry;
    // nullopt when there is none.
    using ProfileLookup = std::function<std::optional<std::string>(const std::string& sid)>;

    SystemInfo(std::filesystem::path prefix, HostFacts host, ProfileLookup profileLookup);

    std::string computerName() const { return m_host.hostName; }
    std::string logonUser() const { return m_host.loginName; }
    // Always `C:\windows`.
    std::string windowsFolder() const;
    // The ProfileImagePath recorded for the SID named in the prefix's user.reg (with
    // %SystemDrive% read as `C:`), else `C:\users\<login name>`. Reads user.reg on every call.
    std::string userProfile() const;

  private:
    std::filesystem::path m_prefix;
    HostFacts m_host;
    ProfileLookup m_profileLookup;
};

}  // namespace quillet::system
