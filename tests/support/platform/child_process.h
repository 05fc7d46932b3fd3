#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillet::testing {

// A pipe for telling a forked child or its parent that something happened, without sleeping.
// Both ends close on destruction.
class Pipe {
  public:
    Pipe();
    ~Pipe();
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Sends `text`; false when it could not be written.
    bool send(const std::string& text);
    // Waits for one byte; nullopt when every write end is closed first.
    std::optional<char> receiveByte();
    // Reads up to the first '\n' (not included); nullopt at end of input before a full line.
    std::optional<std::string> receiveLine();
    void closeReadEnd();
    void closeWriteEnd();

  private:
    int m_read = -1;
    int m_write = -1;
};

// Runs `body` in a forked child that ends with body's result through _exit (no atexit handlers,
// no test reporting). Inside `body`, report problems through the exit code, not assertions.
// Returns the child's process id, or -1 when fork failed.
pid_t ForkChild(const std::function<int()>& body);

// Waits for the child to end and returns its raw wait status.
int WaitForChild(pid_t child);

// What a program run by RunProgram did.
struct ProgramRun {
    int exitCode = -1;  // its exit status, 128 + the signal that ended it, -1 when it did not start
    pid_t pid = -1;     // its process id, which has ended
    std::string out;
    std::string err;
    long peakMemoryKb = 0;  // the most memory it held at once (its maximum resident set)
};

// Runs the program `argv[0]` (a path; no shell involved) with these arguments and stdin empty,
// and waits for it. `environment` ("NAME=value" each) replaces the test's own environment when
// given.
ProgramRun RunProgram(const std::vector<std::string>& argv,
                      const std::optional<std::vector<std::string>>& environment = std::nullopt);

}  // namespace quillet::testing
