#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/environment.h"
#include "platform/file_operations.h"
#include "platform/message_service.h"
#include "platform/prefix_lock.h"
#include "platform/status.h"
#include "platform/wine_server_probe.h"
#include "registry/mod_reg.h"
#include "registry/wine_prefix_registry.h"
#include "system/system_info.h"
#include "system/windows_path_mapper.h"
#include "system/windows_system.h"

namespace quillet::system {

// A Wine prefix as the Windows system: Wine's registry files, the prefix's drives, the profile
// its user.reg names and the host's facts. Nothing else may use it while it changes: no Wine
// server may run for it, and runs take turns through the prefix lock.
class WineSystem final : public WindowsSystem {
  public:
    // Locates the prefix (--prefix, else $WINEPREFIX, else ~/.wine) and prepares its registry;
    // the registry files are read on first use. Malformed key paths are reported through
    // `messages`; files are replaced through `files`. Both must outlive the system.
    static Result<std::unique_ptr<WineSystem>> Open(const std::optional<std::string>& prefixOption,
                                                    const Environment& env,
                                                    MessageService& messages,
                                                    FileOperations& files = RealFileOperations());

    const std::filesystem::path& prefix() const { return m_prefix; }
    const SystemInfo& system() const { return m_system; }

    registry::RegistryStore& registry() override { return *m_registry; }
    registry::ModReg& modReg() override { return m_modReg; }
    const WindowsPathMapper& paths() const override { return m_paths; }
    // As SystemInfo reads it on the first call; the same text afterwards.
    std::string userProfile() const override;
    std::string windowsFolder() const override { return m_system.windowsFolder(); }
    std::string computerName() const override { return m_system.computerName(); }
    std::string logonUser() const override { return m_system.logonUser(); }
    // The prefix folder.
    std::string displayName() const override { return m_prefix.string(); }
    bool sourceOnly() const override { return false; }
    std::optional<std::filesystem::path> winePrefix() const override { return m_prefix; }
    // Refuses while a Wine server runs for the prefix (RefuseWhileWineRuns).
    Status checkIdle() override;
    Status confineRead(const std::filesystem::path&) const override { return Status::Ok(); }
    PrefixLock* lock() override { return &m_prefixLock; }
    FileOperations& fileOperations() override { return m_files; }

  private:
    WineSystem(std::filesystem::path prefix, const Environment& env, MessageService& messages,
               FileOperations& files);

    FileOperations& m_files;
    std::filesystem::path m_prefix;
    WineServerProbe m_serverProbe;
    PrefixLock m_prefixLock;
    std::unique_ptr<registry::WinePrefixRegistry> m_registry;
    registry::ModReg m_modReg;
    WindowsPathMapper m_paths;
    SystemInfo m_system;
    mutable std::optional<std::string> m_userProfile;
};

}  // namespace quillet::system
