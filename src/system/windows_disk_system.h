#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/status.h"
#include "platform/windows_path_mapper.h"
#include "registry/hivex_registry_store.h"

namespace quillet {

// A user profile of a Windows installation.
struct DiskProfile {
    std::string name;                // the profile folder's name, e.g. "quillet"
    std::string windowsPath;         // C:\Documents and Settings\quillet
    std::filesystem::path userHive;  // its NTUSER.DAT on the host; empty when there is none
    bool hasIdentities = false;      // its registry holds Outlook Express identities
};

// The Windows system Quillet works on when it reads a mounted Windows 2000 / XP / 2003 disk: drive
// C: is the disk's root, the registry is the installation's hives (read-only, HivexRegistryStore),
// the user is one of its profiles. Nothing of the disk is ever written.
class WindowsDiskSystem {
  public:
    // Opens the installation whose root is `root` (the folder that holds WINDOWS or WINNT and
    // "Documents and Settings", matched without regard to case) for the profile `user` (a profile
    // folder's name, without regard to case), or without `user` the only profile whose registry
    // holds Outlook Express identities. Fails with a reason that names the folder or file:
    // kNotFound (no Windows folder, no such profile, no NTUSER.DAT), kCorrupt (a hive libhivex
    // cannot read), kBadInput (several profiles hold identities: the reason lists them).
    static Result<std::unique_ptr<WindowsDiskSystem>> Open(const std::filesystem::path& root,
                                                           const std::optional<std::string>& user);

    // Every profile the installation records (and every profile folder with an NTUSER.DAT).
    static Result<std::vector<DiskProfile>> ListProfiles(const std::filesystem::path& root);

    const std::filesystem::path& root() const { return m_paths.prefix(); }
    registry::RegistryStore& registry() { return *m_registry; }
    const WindowsPathMapper& paths() const { return m_paths; }
    // The computer name the installation records (SYSTEM\CurrentControlSet\Control\ComputerName).
    const std::string& computerName() const { return m_computerName; }
    // The chosen profile's user name.
    const std::string& logonUser() const { return m_profile.name; }
    // The chosen profile's folder, a Windows path.
    const std::string& userProfile() const { return m_profile.windowsPath; }
    const std::string& windowsFolder() const { return m_windowsFolder; }

  private:
    WindowsDiskSystem(WindowsPathMapper paths, std::string windowsFolder, DiskProfile profile,
                      std::unique_ptr<registry::HivexRegistryStore> registry,
                      std::string computerName);

    WindowsPathMapper m_paths;
    std::string m_windowsFolder;
    DiskProfile m_profile;
    std::unique_ptr<registry::HivexRegistryStore> m_registry;
    std::string m_computerName;
};

}  // namespace quillet
