#include "support/child_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

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

}  // namespace quillet::testing
