#include "platform/program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace quillet {
namespace {

// A pipe whose ends close with it; both ends are close-on-exec so that no other child inherits
// them.
struct OwnedPipe {
    int ends[2] = {-1, -1};
    bool open() { return pipe2(ends, O_CLOEXEC) == 0; }
    void close(int which) {
        if (ends[which] >= 0) ::close(ends[which]);
        ends[which] = -1;
    }
    ~OwnedPipe() {
        close(0);
        close(1);
    }
};

// Writes to a pipe whose reader may have gone: a program that exits without reading all its
// input must not end us with SIGPIPE. The signal is blocked on this thread for the write and a
// pending one taken away, so the caller's handlers never see it.
ssize_t WriteWithoutSigpipe(int fd, std::string_view data) {
    sigset_t pipeSignal, old;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &old);
    const ssize_t n = ::write(fd, data.data(), data.size());
    const int writeError = errno;
    if (n < 0 && writeError == EPIPE) {
        const timespec none{0, 0};
        sigtimedwait(&pipeSignal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = writeError;
    return n;
}

}  // namespace

Result<ProgramOutput> RunProgram(const std::vector<std::string>& argv, std::string_view input) {
    if (argv.empty()) return Status::Error("no program to run", ErrorKind::kBadInput);
    OwnedPipe in, out, err;
    if (!in.open() || !out.open() || !err.open()) {
        return Status::Error(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.ends[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.ends[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.ends[1], STDERR_FILENO);
    std::vector<char*> arguments;
    for (const std::string& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    pid_t child = -1;
    const int spawned =
        posix_spawnp(&child, argv[0].c_str(), &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return Status::Error("cannot start " + argv[0] + ": " + std::strerror(spawned),
                             ErrorKind::kNotFound);
    }
    in.close(0);
    out.close(1);
    err.close(1);

    // Feed the input and drain both outputs together, so that a program that writes much before
    // reading all its input cannot block us both.
    ProgramOutput result;
    std::size_t written = 0;
    if (input.empty()) in.close(1);
    char buffer[8192];
    while (out.ends[0] >= 0 || err.ends[0] >= 0 || in.ends[1] >= 0) {
        pollfd fds[3] = {
            {in.ends[1], POLLOUT, 0}, {out.ends[0], POLLIN, 0}, {err.ends[0], POLLIN, 0}};
        if (poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents != 0) {
            const ssize_t n = WriteWithoutSigpipe(in.ends[1], input.substr(written));
            if (n > 0) written += static_cast<std::size_t>(n);
            if (n < 0 && errno != EAGAIN && errno != EINTR) in.close(1);
            if (written == input.size()) in.close(1);
        }
        for (int i = 1; i < 3; ++i) {
            if (fds[i].revents == 0) continue;
            OwnedPipe& pipe = i == 1 ? out : err;
            const ssize_t n = ::read(pipe.ends[0], buffer, sizeof buffer);
            if (n > 0) {
                (i == 1 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                pipe.close(0);
            }
        }
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace quillet
