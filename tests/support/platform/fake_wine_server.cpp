#include "support/platform/fake_wine_server.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/platform/temp_dir.h"

namespace quillet::testing {

FakeWineServer::FakeWineServer(const std::filesystem::path& lockFile) {
    m_child = ForkChild([&]() {
        m_ready.closeReadEnd();
        m_quit.closeWriteEnd();
        const int fd = open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        if (fd < 0 || fcntl(fd, F_SETLK, &lock) != 0) return 1;
        m_ready.send("L");
        m_quit.receiveByte();  // returns when the parent sends or goes away
        return 0;
    });
    m_ready.closeWriteEnd();
    m_quit.closeReadEnd();
    m_locked = m_ready.receiveByte() == 'L';
}

void FakeWineServer::stop() {
    if (m_child <= 0) return;
    m_quit.closeWriteEnd();
    WaitForChild(m_child);
    m_child = -1;
}

std::filesystem::path StandardServerLockFile(const std::filesystem::path& tmpRoot,
                                             const std::filesystem::path& prefix) {
    struct stat info {};
    if (stat(prefix.c_str(), &info) != 0) return {};
    char name[64];
    std::snprintf(name, sizeof(name), "server-%lx-%lx", static_cast<unsigned long>(info.st_dev),
                  static_cast<unsigned long>(info.st_ino));
    const std::filesystem::path folder = tmpRoot / (".wine-" + std::to_string(getuid())) / name;
    std::filesystem::create_directories(folder);
    return folder / "lock";
}

void AddFakeProcess(const std::filesystem::path& procRoot, int pid, const std::string& name,
                    const std::filesystem::path& workingFolder) {
    const std::filesystem::path folder = procRoot / std::to_string(pid);
    std::filesystem::create_directories(folder);
    WriteFileBytes(folder / "comm", name + "\n");
    std::filesystem::create_directory_symlink(workingFolder, folder / "cwd");
}

}  // namespace quillet::testing
