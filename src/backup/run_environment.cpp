#include "backup/run_environment.h"

#include "backup/information_file.h"

namespace quillet {

Result<std::unique_ptr<RunEnvironment>> RunEnvironment::Create(system::WindowsSystem& system,
                                                               const Environment& env) {
    auto workFolder = WorkFolder::Create(env);
    if (!workFolder) return workFolder.status();
    auto zip = std::make_unique<archive::ZipArchive>(system.fileOperations());
    archive::Archive& archive = *zip;
    return std::unique_ptr<RunEnvironment>(
        new RunEnvironment(system, std::move(zip), archive, std::move(workFolder.value())));
}

Result<std::unique_ptr<RunEnvironment>> RunEnvironment::Create(system::WindowsSystem& system,
                                                               archive::Archive& archive,
                                                               const Environment& env) {
    auto workFolder = WorkFolder::Create(env);
    if (!workFolder) return workFolder.status();
    return std::unique_ptr<RunEnvironment>(
        new RunEnvironment(system, nullptr, archive, std::move(workFolder.value())));
}

RunEnvironment::RunEnvironment(system::WindowsSystem& system,
                               std::unique_ptr<archive::ZipArchive> ownArchive,
                               archive::Archive& archive, WorkFolder workFolder)
    : m_workFolder(std::move(workFolder)),
      m_ownArchive(std::move(ownArchive)),
      m_archive(archive),
      m_context{
          system, m_archive, m_workFolder.path(), m_workFolder.path() / kInformationFileName, {}} {}

}  // namespace quillet
