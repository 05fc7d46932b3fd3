#include "backup/run_environment.h"

#include "backup/information_file.h"

namespace quillet {

Result<std::unique_ptr<RunEnvironment>> RunEnvironment::Create(WineSystem& system,
                                                               MessageService& messages,
                                                               const Environment& env) {
    auto workFolder = WorkFolder::Create(env);
    if (!workFolder) return workFolder.status();
    return std::unique_ptr<RunEnvironment>(
        new RunEnvironment(system, messages, std::move(workFolder.value())));
}

RunEnvironment::RunEnvironment(WineSystem& system, MessageService& messages, WorkFolder workFolder)
    : m_system(system),
      m_workFolder(std::move(workFolder)),
      m_modReg(system.registry(), messages),
      m_archive(system.fileOperations()),
      m_context{m_modReg,
                m_archive,
                system.paths(),
                system.system().userProfile(),
                m_workFolder.path(),
                m_workFolder.path() / kInformationFileName,
                {},
                [&system] { return RefuseWhileWineRuns(system.serverProbe(), system.prefix()); },
                &system.prefixLock()} {}

}  // namespace quillet
