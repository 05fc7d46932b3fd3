#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_operations.h"
#include "platform/prefix_lock.h"
#include "platform/status.h"
#include "platform/system_info.h"
#include "platform/windows_path_mapper.h"
#include "platform/wine_prefix.h"
#include "platform/wine_server_probe.h"
#include "registry/wine_prefix_registry.h"

namespace quillet {

// The Windows system Quillet works on: one Wine prefix with its registry, drives, user profile
// and host facts. main() opens it once and hands its parts to the code that needs them.
class WineSystem {
  public:
    // Locates the prefix (--prefix, else $WINEPREFIX, else ~/.wine) and prepares its registry;
    // the registry files are read on first use. Files are replaced through `files`, which must
    // outlive the system.
    static Result<std::unique_ptr<WineSystem>> Open(const std::optional<std::string>& prefixOption,
                                                    const Environment& env,
                                                    FileOperations& files = RealFileOperations());

    const std::filesystem::path& prefix() const { return m_prefix; }
    registry::RegistryStore& registry() { return *m_registry; }
    const WindowsPathMapper& paths() const { return m_paths; }
    const SystemInfo& system() const { return m_system; }
    PrefixLock& prefixLock() { return m_prefixLock; }
    const WineServerProbe& serverProbe() const { return m_serverProbe; }
    // What the system's files (and those of the runs over it) are replaced through.
    FileOperations& fileOperations() const { return m_files; }

  private:
    WineSystem(std::filesystem::path prefix, const Environment& env, FileOperations& files);

    FileOperations& m_files;
    std::filesystem::path m_prefix;
    WineServerProbe m_serverProbe;
    PrefixLock m_prefixLock;
    std::unique_ptr<registry::WinePrefixRegistry> m_registry;
    WindowsPathMapper m_paths;
    SystemInfo m_system;
};

}  // namespace quillet
