#pragma once

#include <functional>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "archive/zip_archive.h"
#include "backup/item_context.h"
#include "platform/message_service.h"
#include "platform/prefix_lock.h"
#include "platform/work_folder.h"
#include "registry/mod_reg.h"
#include "registry/registry_store.h"
#include "system/windows_disk_system.h"
#include "system/wine_system.h"

namespace quillet {

// The parts of the Windows system that a backup or restore run works on. The references must
// outlive every run made over them.
struct RunSystem {
    registry::RegistryStore& registry;
    const WindowsPathMapper& paths;
    std::string userProfile;  // a Windows path
    // Host facts as a backup's information file names them.
    std::string computerName;
    std::string logonUser;
    // Whether the system may be changed now; may be empty.
    std::function<Status()> checkPrefixIdle;
    // Held for a whole run; may be null.
    PrefixLock* prefixLock = nullptr;
};

// The parts of a Wine prefix: Wine's registry, its drives and profile, the host's facts, the
// Wine-server check and the prefix lock.
RunSystem RunSystemOf(WineSystem& system);
// The parts of a mounted Windows disk: its read-only registry, its drive C:, the chosen profile
// and the computer name the disk records. Nothing runs for it and nothing locks it.
RunSystem RunSystemOf(WindowsDiskSystem& system);

// Everything one backup or restore run needs, put together over a Windows system: key-path access
// to its registry, an archive, and a private work folder that is removed with this object.
class RunEnvironment {
  public:
    // Over a Wine prefix, with the zip archive.
    static Result<std::unique_ptr<RunEnvironment>> Create(WineSystem& system,
                                                          MessageService& messages,
                                                          const Environment& env);
    // Over any system's parts and archive (which must outlive this object).
    static Result<std::unique_ptr<RunEnvironment>> Create(const RunSystem& system,
                                                          archive::Archive& archive,
                                                          MessageService& messages,
                                                          const Environment& env);

    ItemContext& context() { return m_context; }
    archive::Archive& archive() { return m_archive; }
    registry::ModReg& modReg() { return m_modReg; }

  private:
    RunEnvironment(const RunSystem& system, std::unique_ptr<archive::ZipArchive> ownArchive,
                   archive::Archive& archive, MessageService& messages, WorkFolder workFolder);

    WorkFolder m_workFolder;
    std::unique_ptr<archive::ZipArchive> m_ownArchive;
    archive::Archive& m_archive;
    registry::ModReg m_modReg;
    ItemContext m_context;
};

}  // namespace quillet
