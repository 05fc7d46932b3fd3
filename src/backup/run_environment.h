#pragma once

#include <memory>

#include "archive/archive.h"
#include "archive/zip_archive.h"
#include "backup/item_context.h"
#include "platform/environment.h"
#include "platform/work_folder.h"
#include "system/windows_system.h"

namespace quillet {

// Everything one backup or restore run needs, put together over a Windows system: the system,
// an archive, and a private work folder that is removed with this object. The system must outlive
// it.
class RunEnvironment {
  public:
    // With a zip archive that replaces files through the system's file operations.
    static Result<std::unique_ptr<RunEnvironment>> Create(system::WindowsSystem& system,
                                                          const Environment& env);
    // With this archive (which must outlive this object).
    static Result<std::unique_ptr<RunEnvironment>> Create(system::WindowsSystem& system,
                                                          archive::Archive& archive,
                                                          const Environment& env);

    ItemContext& context() { return m_context; }
    archive::Archive& archive() { return m_archive; }

  private:
    RunEnvironment(system::WindowsSystem& system, std::unique_ptr<archive::ZipArchive> ownArchive,
                   archive::Archive& archive, WorkFolder workFolder);

    WorkFolder m_workFolder;
    std::unique_ptr<archive::ZipArchive> m_ownArchive;
    archive::Archive& m_archive;
    ItemContext m_context;
};

}  // namespace quillet
