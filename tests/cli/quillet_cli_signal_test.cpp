// The built quillet-cli program ended by SIGTERM in the middle of a backup: it removes its work
// folder (with the registry exports in it) and the archive it was writing beside the target, and
// ends with the signal's status, leaving the previous backup as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/platform/child_process.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/noise_bytes.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"

extern char** environ;

namespace quillet::testing {
namespace {

namespace fs = std::filesystem;

// The size of a store of noise: incompressible, so that compressing and encrypting it keeps the
// program busy long after the archive's temporary appears.
constexpr std::size_t kBigStoreSize = 24u << 20;

// Whether `name` is our temporary of `target`: ".<target>.quillet-<pid>-<random>".
bool IsTemporaryOf(const std::string& name, const std::string& target) {
    return name.rfind("." + target + ".quillet-", 0) == 0;
}

// Waits, by reading inotify events (no sleeping), until a file whose name `wanted` accepts is
// written in the watched folder.
bool WaitForWrite(int inotifyFd, bool (*wanted)(const std::string&)) {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(inotifyFd, buffer, sizeof buffer);
        if (got <= 0) return false;
        for (ssize_t offset = 0; offset < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->len > 0 && wanted(event->name)) return true;
        }
    }
}

TEST(QuilletCliSignal, SigtermMidBackupRemovesTheWorkFolderAndTheArchivesTemporary) {
    TempDir temp;
    const fs::path prefix = temp / "prefix";
    ASSERT_TRUE(MakeSamplePrefix(prefix));
    WriteFileBytes(SampleStoreFolder(prefix, kSampleMainIdentity) / "Big.dbx",
                   NoiseBytes(kBigStoreSize));
    const fs::path tmp = temp / "tmp";
    const fs::path out = temp / "out";
    fs::create_directories(tmp);
    fs::create_directories(out);
    const fs::path backup = out / "main.qbk";
    WriteFileBytes(backup, "the previous backup");
    WriteFileBytes(temp / "password", "secret\n");

    const int inotifyFd = inotify_init1(IN_CLOEXEC);
    ASSERT_GE(inotifyFd, 0);
    ASSERT_GE(inotify_add_watch(inotifyFd, out.c_str(), IN_MODIFY), 0);

    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string text = *variable;
        if (text.rfind("TMPDIR=", 0) != 0) environment.push_back(text);
    }
    environment.push_back("TMPDIR=" + tmp.string());
    std::vector<std::string> arguments = {QUILLET_CLI_PATH,  "--prefix",
                                          prefix.string(),   "backup",
                                          "--identity",      kSampleMainIdentity,
                                          "--out",           backup.string(),
                                          "--password-file", (temp / "password").string()};
    std::vector<char*> argv, envp;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (temp / "out.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (temp / "err.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);

    // Stopped as soon as the archive is being written, the program is caught with its work folder
    // and the archive's temporary in place.
    const bool created = WaitForWrite(
        inotifyFd, [](const std::string& name) { return IsTemporaryOf(name, "main.qbk"); });
    close(inotifyFd);
    ASSERT_EQ(kill(child, SIGSTOP), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(created);
    ASSERT_TRUE(WIFSTOPPED(status))
        << "the backup ended before it could be stopped: " << ReadFileBytes(temp / "err.txt");
    const std::vector<std::string> caught = FolderListing(out);
    ASSERT_EQ(caught.size(), 2u) << "the backup got past writing the archive; make it bigger";
    const std::vector<std::string> work = FolderListing(tmp);
    ASSERT_EQ(work.size(), 1u);
    EXPECT_EQ(work.front().rfind("quillet-" + std::to_string(child) + "-", 0), 0u);
    EXPECT_FALSE(fs::is_empty(tmp / work.front())) << "no registry export in the work folder";

    ASSERT_EQ(kill(child, SIGTERM), 0);
    ASSERT_EQ(kill(child, SIGCONT), 0);
    status = WaitForChild(child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM)
        << "wait status " << status << ": " << ReadFileBytes(temp / "err.txt");
    EXPECT_EQ(FolderListing(out), std::vector<std::string>{"main.qbk"});
    EXPECT_EQ(ReadFileBytes(backup), "the previous backup");
    EXPECT_TRUE(fs::is_empty(tmp)) << FolderListing(tmp).front();
}

}  // namespace
}  // namespace quillet::testing
