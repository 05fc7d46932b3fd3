#include "support/platform/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "support/platform/temp_dir.h"

extern char** environ;

namespace quillet::testing {

Pipe::Pipe() {
    int ends[2];
    if (pipe(ends) != 0) throw std::runtime_error("pipe failed");
    m_read = ends[0];
    m_write = ends[1];
}

Pipe::~Pipe() {
    closeReadEnd();
    closeWriteEnd();
}

bool Pipe::send(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(m_write, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

std::optional<char> Pipe::receiveByte() {
    char byte;
    for (;;) {
        const ssize_t got = read(m_read, &byte, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got != 1) return std::nullopt;
        return byte;
    }
}

std::optional<std::string> Pipe::receiveLine() {
    std::string line;
    while (const auto byte = receiveByte()) {
        if (*byte == '\n') return line;
        line += *byte;
    }
    return std::nullopt;
}

void Pipe::closeReadEnd() {
    if (m_read >= 0) close(m_read);
    m_read = -1;
}

void Pipe::closeWriteEnd() {
    if (m_write >= 0) close(m_write);
    m_write = -1;
}

pid_t ForkChild(const std::function<int()>& body) {
    std::fflush(nullptr);  // or buffered output would be printed twice
    const pid_t child = fork();
    if (child == 0) {
        // The child must never return into the test runner, whatever happens in `body`.
        int code = 125;
        try {
            code = body();
        } catch (...) {
        }
        _exit(code);
    }
    return child;
}

int WaitForChild(pid_t child) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::optional<std::vector<std::string>>& environment) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<char*> variables;
    if (environment) {
        for (const std::string& var : *environment) {
            variables.push_back(const_cast<char*>(var.c_str()));
        }
        variables.push_back(nullptr);
    }

    // Files rather than pipes: a chatty child can never block on a full pipe.
    TempDir output;
    const std::string outFile = (output / "out").string();
    const std::string errFile = (output / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t child;
    const int spawned = posix_spawn(&child, args[0], &actions, nullptr, args.data(),
                                    environment ? variables.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    ProgramRun run;
    if (spawned != 0) return run;
    int status = 0;
    struct rusage usage {};
    while (wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakMemoryKb = usage.ru_maxrss;
    run.pid = child;
    run.out = ReadFileBytes(outFile);
    run.err = ReadFileBytes(errFile);
    return run;
}

}  // namespace quillet::testing
