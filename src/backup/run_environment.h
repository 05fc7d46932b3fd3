#pragma once

#include <memory>

#include "archive/zip_archive.h"
#include "backup/item_context.h"
#include "platform/message_service.h"
#include "platform/work_folder.h"
#include "registry/mod_reg.h"
#include "system/wine_system.h"

namespace quillet {

// Everything one backup or restore run needs, put together over a Wine system: key-path access
// to its registry, the zip archive, and a private work folder that is removed with this object.
class RunEnvironment {
  public:
    static Result<std::unique_ptr<RunEnvironment>> Create(WineSystem& system,
                                                          MessageService& messages,
                                                          const Environment& env);

    ItemContext& context() { return m_context; }
    archive::ZipArchive& archive() { return m_archive; }
    registry::ModReg& modReg() { return m_modReg; }
    WineSystem& system() { return m_system; }

  private:
    RunEnvironment(WineSystem& system, MessageService& messages, WorkFolder workFolder);

    WineSystem& m_system;
    WorkFolder m_workFolder;
    registry::ModReg m_modReg;
    archive::ZipArchive m_archive;
    ItemContext m_context;
};

}  // namespace quillet
