#include "system/wine_system.h"

#include "platform/case_fold.h"
#include "platform/text_encoding.h"
#include "registry/utf16_bytes.h"
#include "system/wine_prefix.h"

namespace quillet::system {
namespace {

constexpr char kProfileList[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

// The ProfileImagePath that the machine registry records for a user SID.
std::optional<std::string> ProfileImagePath(registry::RegistryStore& store,
                                            const std::string& sid) {
    registry::HKey key;
    if (store.RegOpenKeyEx(registry::kHkeyLocalMachine, kProfileList + sid, registry::kKeyRead,
                           &key) != registry::kErrorSuccess) {
        return std::nullopt;
    }
    std::optional<std::string> path;
    std::string name, data;
    std::uint32_t type = 0;
    for (std::uint32_t i = 0;
         store.RegEnumValueRaw(key, i, &name, &type, &data) == registry::kErrorSuccess; ++i) {
        if (registry::IsTextType(type) && EqualsIgnoringCase(name, "ProfileImagePath")) {
            std::u16string text = registry::Utf16FromLeBytes(data);
            text = text.substr(0, text.find(u'\0'));
            path = Utf16ToUtf8(text);
            break;
        }
    }
    store.RegCloseKey(key);
    return path;
}

}  // namespace

Result<std::unique_ptr<WineSystem>> WineSystem::Open(const std::optional<std::string>& prefixOption,
                                                     const Environment& env,
                                                     MessageService& messages,
                                                     FileOperations& files) {
    auto prefix = LocateWinePrefix(prefixOption, env);
    if (!prefix) return prefix.status();
    return std::unique_ptr<WineSystem>(new WineSystem(*prefix, env, messages, files));
}

WineSystem::WineSystem(std::filesystem::path prefix, const Environment& env,
                       MessageService& messages, FileOperations& files)
    : m_files(files),
      m_prefix(prefix),
      m_serverProbe(WineServerPlaces::FromEnvironment(env)),
      m_prefixLock(prefix),
      m_registry(std::make_unique<registry::WinePrefixRegistry>(prefix, m_serverProbe, m_prefixLock,
                                                                registry::SystemTicksNow, files)),
      m_modReg(*m_registry, PlainMessages(messages)),
      m_paths(prefix),
      m_system(prefix, HostFacts::FromProcess(env),
               [this](const std::string& sid) { return ProfileImagePath(*m_registry, sid); }) {}

std::string WineSystem::userProfile() const {
    if (!m_userProfile) m_userProfile = m_system.userProfile();
    return *m_userProfile;
}

Status WineSystem::checkIdle() { return RefuseWhileWineRuns(m_serverProbe, m_prefix); }

}  // namespace quillet::system
