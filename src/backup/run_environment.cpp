#include "backup/run_environment.h"

#include "backup/information_file.h"

namespace quillet {

RunSystem RunSystemOf(WineSystem& system) {
    return RunSystem{
        .registry = system.registry(),
        .paths = system.paths(),
        .userProfile = system.system().userProfile(),
        .computerName = system.system().computerName(),
        .logonUser = system.system().logonUser(),
        .checkPrefixIdle =
            [&system] { return RefuseWhileWineRuns(system.serverProbe(), system.prefix()); },
        .prefixLock = &system.prefixLock(),
    };
}

RunSystem RunSystemOf(WindowsDiskSystem& system) {
    return RunSystem{
        .registry = system.registry(),
        .paths = system.paths(),
        .userProfile = system.userProfile(),
        .computerName = system.computerName(),
        .logonUser = system.logonUser(),
        .checkPrefixIdle = {},
        .prefixLock = nullptr,
    };
}

Result<std::unique_ptr<RunEnvironment>> RunEnvironment::Create(WineSystem& system,
                                                               MessageService& messages,
                                                               const Environment& env) {
    auto workFolder = WorkFolder::Create(env);
    if (!workFolder) return workFolder.status();
    auto zip = std::make_unique<archive::ZipArchive>(system.fileOperations());
    archive::Archive& archive = *zip;
    return std::unique_ptr<RunEnvironment>(new RunEnvironment(
        RunSystemOf(system), std::move(zip), archive, messages, std::move(workFolder.value())));
}

Result<std::unique_ptr<RunEnvironment>> RunEnvironment::Create(const RunSystem& system,
                                                               archive::Archive& archive,
                                                               MessageService& messages,
                                                               const Environment& env) {
    auto workFolder = WorkFolder::Create(env);
    if (!workFolder) return workFolder.status();
    return std::unique_ptr<RunEnvironment>(
        new RunEnvironment(system, nullptr, archive, messages, std::move(workFolder.value())));
}

RunEnvironment::RunEnvironment(const RunSystem& system,
                               std::unique_ptr<archive::ZipArchive> ownArchive,
                               archive::Archive& archive, MessageService& messages,
                               WorkFolder workFolder)
    : m_workFolder(std::move(workFolder)),
      m_ownArchive(std::move(ownArchive)),
      m_archive(archive),
      m_modReg(system.registry, PlainMessages(messages)),
      m_context{m_modReg,
                m_archive,
                system.paths,
                system.userProfile,
                m_workFolder.path(),
                m_workFolder.path() / kInformationFileName,
                {},
                system.checkPrefixIdle,
                system.prefixLock} {}

}  // namespace quillet
