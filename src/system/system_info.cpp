#include "system/system_info.h"

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <vector>

#include "platform/case_fold.h"

namespace quillet::system {
namespace {

constexpr int kHeaderLinesToRead = 8;
constexpr std::string_view kRelativeToMark = ";; All keys relative to ";
constexpr std::string_view kUserRoot = "REGISTRY\\User\\";

std::optional<std::string> AccountNameOf(uid_t userId) {
    long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    if (bufferSize <= 0) bufferSize = 16384;
    std::vector<char> buffer(static_cast<size_t>(bufferSize));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(userId, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_name == nullptr) {
        return std::nullopt;
    }
    return std::string(found->pw_name);
}

bool IsSid(std::string_view text) {
    if (text.size() < 3 || text.substr(0, 2) != "S-") return false;
    for (const char c : text.substr(2)) {
        if (!((c >= '0' && c <= '9') || c == '-')) return false;
    }
    return true;
}

// Replaces "%SystemDrive%" in any spelling, as Windows expands variable names regardless of case.
std::string ExpandSystemDrive(std::string_view path) {
    constexpr std::string_view kVariable = "%SystemDrive%";
    std::string out;
    size_t pos = 0;
    while (pos < path.size()) {
        if (path.size() - pos >= kVariable.size() &&
            EqualsIgnoringCase(path.substr(pos, kVariable.size()), kVariable)) {
            out += "C:";
            pos += kVariable.size();
        } else {
            out += path[pos++];
        }
    }
    return out;
}

}  // namespace

HostFacts HostFacts::FromProcess(const Environment& env) {
    HostFacts facts;
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof(name) - 1) == 0) facts.hostName = name;
    const uid_t userId = geteuid();
    facts.loginName = ChooseLoginName(AccountNameOf(userId), env, userId);
    return facts;
}

std::string ChooseLoginName(const std::optional<std::string>& accountName, const Environment& env,
                            unsigned userId) {
    if (accountName && !accountName->empty()) return *accountName;
    if (auto user = env.get("USER"); user && !user->empty()) return *user;
    return std::to_string(userId);
}

std::optional<std::string> ReadUserSid(const std::filesystem::path& userReg) {
    std::ifstream in(userReg, std::ios::binary);
    if (!in) return std::nullopt;
    std::string line;
    for (int i = 0; i < kHeaderLinesToRead && std::getline(in, line); ++i) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, kRelativeToMark.size(), kRelativeToMark) != 0) continue;
        // The file writes each backslash of the key path twice.
        std::string keyPath;
        const std::string_view escaped = std::string_view(line).substr(kRelativeToMark.size());
        for (size_t pos = 0; pos < escaped.size(); ++pos) {
            keyPath += escaped[pos];
            if (escaped[pos] == '\\' && pos + 1 < escaped.size() && escaped[pos + 1] == '\\') {
                ++pos;
            }
        }
        while (!keyPath.empty() && (keyPath.back() == ' ' || keyPath.back() == '\t')) {
            keyPath.pop_back();
        }
        if (keyPath.size() <= kUserRoot.size() ||
            !EqualsIgnoringCase(std::string_view(keyPath).substr(0, kUserRoot.size()), kUserRoot)) {
            return std::nullopt;
        }
        std::string sid = keyPath.substr(kUserRoot.size());
        if (!IsSid(sid)) return std::nullopt;
        return sid;
    }
    return std::nullopt;
}

std::string ExpandUserProfile(std::string_view text, std::string_view userProfile) {
    constexpr std::string_view kVariable = "%UserProfile%";
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    for (size_t found; (found = text.find(kVariable, pos)) != std::string_view::npos;
         pos = found + kVariable.size()) {
        out += text.substr(pos, found - pos);
        out += userProfile;
    }
    out += text.substr(pos);
    return out;
}

SystemInfo::SystemInfo(std::filesystem::path prefix, HostFacts host, ProfileLookup profileLookup)
    : m_prefix(std::move(prefix)),
      m_host(std::move(host)),
      m_profileLookup(std::move(profileLookup)) {}

std::string SystemInfo::windowsFolder() const { return "C:\\windows"; }

std::string SystemInfo::userProfile() const {
    if (m_profileLookup) {
        if (const auto sid = ReadUserSid(m_prefix / "user.reg")) {
            if (const auto recorded = m_profileLookup(*sid); recorded && !recorded->empty()) {
                return ExpandSystemDrive(*recorded);
            }
        }
    }
    return "C:\\users\\" + m_host.loginName;
}

}  // namespace quillet::system
