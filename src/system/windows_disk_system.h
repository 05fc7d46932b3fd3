#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/message_service.h"
#include "platform/status.h"
#include "registry/hivex_registry_store.h"
#include "registry/mod_reg.h"
#include "system/windows_path_mapper.h"
#include "system/windows_system.h"

namespace quillet::system {

// A user profile of a Windows installation.
struct DiskProfile {
    std::string name;                // the profile folder's name, e.g. "quillet"
    std::string windowsPath;         // C:\Documents and Settings\quillet
    std::filesystem::path userHive;  // its NTUSER.DAT on the host; empty when there is none
    bool hasIdentities = false;      // its registry holds Outlook Express identities
};

// The Windows system Quillet works on when it reads a mounted Windows 2000 / XP / 2003 disk: drive
// C: is the disk's root, the registry is the installation's hives (read-only, HivexRegistryStore),
// the user is one of its profiles. Nothing of the disk is ever written, nothing else's use of it
// is checked and nothing locks it.
class WindowsDiskSystem final : public WindowsSystem {
  public:
    // Opens the installation whose root is `root` (the folder that holds WINDOWS or WINNT and
    // "Documents and Settings", matched without regard to case) for the profile `user` (a profile
    // folder's name, without regard to case), or without `user` the only profile whose registry
    // holds Outlook Express identities. Fails with a reason that names the folder or file:
    // kNotFound (no Windows folder, no such profile, no NTUSER.DAT), kCorrupt (a hive libhivex
    // cannot read), kBadInput (several profiles hold identities: the reason lists them).
    // Malformed key paths are reported through `messages`, which must outlive the system.
    static Result<std::unique_ptr<WindowsDiskSystem>> Open(const std::filesystem::path& root,
                                                           const std::optional<std::string>& user,
                                                           MessageService& messages);

    // Every profile the installation records (and every profile folder with an NTUSER.DAT).
    static Result<std::vector<DiskProfile>> ListProfiles(const std::filesystem::path& root);

    const std::filesystem::path& root() const { return m_paths.prefix(); }

    registry::RegistryStore& registry() override { return *m_registry; }
    registry::ModReg& modReg() override { return m_modReg; }
    const WindowsPathMapper& paths() const override { return m_paths; }
    // The chosen profile's folder, a Windows path.
    std::string userProfile() const override { return m_profile.windowsPath; }
    std::string windowsFolder() const override { return m_windowsFolder; }
    // The computer name the installation records (SYSTEM\CurrentControlSet\Control\ComputerName).
    std::string computerName() const override { return m_computerName; }
    // The chosen profile's user name.
    std::string logonUser() const override { return m_profile.name; }
    // "Windows disk <root> (<user>)".
    std::string displayName() const override;
    bool sourceOnly() const override { return true; }
    std::optional<std::filesystem::path> winePrefix() const override { return std::nullopt; }
    // Refuses a path whose symbolic links, resolved, lead outside root().
    Status confineRead(const std::filesystem::path& hostPath) const override;
    Status checkIdle() override { return Status::Ok(); }
    PrefixLock* lock() override { return nullptr; }
    // The real file system: the disk's own files are never replaced.
    FileOperations& fileOperations() override { return RealFileOperations(); }

  private:
    WindowsDiskSystem(WindowsPathMapper paths, std::string windowsFolder, DiskProfile profile,
                      std::unique_ptr<registry::HivexRegistryStore> registry,
                      std::string computerName, MessageService& messages);

    WindowsPathMapper m_paths;
    std::string m_windowsFolder;
    DiskProfile m_profile;
    std::unique_ptr<registry::HivexRegistryStore> m_registry;
    registry::ModReg m_modReg;
    std::string m_computerName;
};

}  // namespace quillet::system
