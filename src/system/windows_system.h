#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/file_operations.h"
#include "platform/prefix_lock.h"
#include "platform/status.h"
#include "registry/mod_reg.h"
#include "registry/registry_store.h"
#include "system/windows_path_mapper.h"

namespace quillet::system {

// The Windows system Quillet works on, as one thing: its registry, its drives, its user and
// computer, and the rules for changing it. The programs open a Wine prefix (WineSystem) or a
// mounted Windows disk (WindowsDiskSystem), own it, and hand it by reference to everything that
// reads or changes it; tests give a system in memory. What a call returns by reference lives as
// long as the system. Use from one thread at a time.
class WindowsSystem {
  public:
    virtual ~WindowsSystem() = default;

    // The system's registry, and key-path access to it (a malformed key path is reported through
    // the message service the system was opened with).
    virtual registry::RegistryStore& registry() = 0;
    virtual registry::ModReg& modReg() = 0;
    // Its drives: Windows paths to host paths and back.
    virtual const WindowsPathMapper& paths() const = 0;

    // The folder %UserProfile% stands for and the Windows folder, as Windows paths.
    virtual std::string userProfile() const = 0;
    virtual std::string windowsFolder() const = 0;
    // The computer and the user, as a backup's information file names them.
    virtual std::string computerName() const = 0;
    virtual std::string logonUser() const = 0;
    // What a window's title names the system by: the prefix folder, or
    // "Windows disk <root> (<user>)".
    virtual std::string displayName() const = 0;

    // A disk is only ever read: backups are made from it, nothing is restored into it.
    virtual bool sourceOnly() const = 0;
    // The folder of the Wine prefix this system is, which scheduled backups work on; nullopt for
    // a disk.
    virtual std::optional<std::filesystem::path> winePrefix() const = 0;

    // Ok when nothing else is using the system, so that it may be changed now (for a prefix: no
    // Wine server runs for it); otherwise a reason telling the user what to close.
    virtual Status checkIdle() = 0;
    // Held by a backup or restore for its whole run, so that a scheduled run and an interactive
    // one take turns; null when nothing locks the system.
    virtual PrefixLock* lock() = 0;
    // Ok when reading `hostPath` (a path paths() gave, or a file found in such a folder) stays
    // inside the system; otherwise why not, naming the path. A disk is untrusted: a path that a
    // symbolic link leads outside its root is refused. A Wine prefix's drives lead into the host
    // by design, so a prefix confines nothing.
    virtual Status confineRead(const std::filesystem::path& hostPath) const = 0;
    // What the system's files, and the backups made over it, are replaced through.
    virtual FileOperations& fileOperations() = 0;
};

}  // namespace quillet::system
