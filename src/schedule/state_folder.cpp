#include "schedule/state_folder.h"

#include <pwd.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

namespace quillet {
namespace {

std::optional<std::filesystem::path> AbsoluteVariable(const Environment& env, const char* name) {
    const std::optional<std::string> value = env.get(name);
    if (!value || !value->starts_with('/')) return std::nullopt;
    return std::filesystem::path(*value);
}

std::filesystem::path PasswordEntryHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    return "/";
}

}  // namespace

std::filesystem::path QuilletStateFolder(const Environment& env) {
    if (const auto state = AbsoluteVariable(env, "XDG_STATE_HOME")) return *state / "quillet";
    const std::filesystem::path home = AbsoluteVariable(env, "HOME").value_or(PasswordEntryHome());
    return home / ".local" / "state" / "quillet";
}

std::filesystem::path CrontabLockFile(const std::filesystem::path& stateFolder) {
    return stateFolder / "crontab.lock";
}

std::filesystem::path UploadLockFolder(const std::filesystem::path& stateFolder) {
    return stateFolder / "uploads";
}

}  // namespace quillet
