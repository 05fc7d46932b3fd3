#include "cli/cli_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/temp_dir.h"

extern char** environ;

namespace quillet::testing {
namespace {

int Spawn(const std::vector<std::string>& argv, const std::string& outFile,
          const std::string& errFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t child;
    const int spawned = posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

CliRun RunCli(const std::vector<std::string>& arguments) {
    TempDir output;
    std::vector<std::string> argv{QUILLET_CLI_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    CliRun run;
    run.exitCode = Spawn(argv, (output / "out").string(), (output / "err").string());
    run.out = ReadFileBytes(output / "out");
    run.err = ReadFileBytes(output / "err");
    return run;
}

bool MakeSamplePrefix(const std::string& folder) {
    TempDir output;
    return Spawn({"/bin/bash", QUILLET_SOURCE_DIR "/examples/make-sample-prefix.sh", folder},
                 (output / "out").string(), (output / "err").string()) == 0;
}

}  // namespace quillet::testing
