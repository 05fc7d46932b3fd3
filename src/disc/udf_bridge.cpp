#include "disc/udf_bridge.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "disc/tree_names.h"
#include "disc/udf_path_list.h"
#include "disc/write_settings.h"

extern char** environ;

namespace quillet::disc {

namespace {

constexpr const char* kPathList = "path-list";
constexpr const char* kErrorOutput = "errors";

// genisoimage writes no file of 4 GiB or more into UDF (its single extent ends there).
constexpr std::uintmax_t kUdfFileLimit = std::uintmax_t{4} << 30;

std::string TooLargeForUdf() {
    std::string text = "A file of 4 GiB or more cannot go into a UDF image; the volume types";
    const char* separator = " ";
    for (const VolumeType& type : kVolumeTypes) {
        if (FileSystemHasUdf(type.fileSystemType)) continue;
        text += separator + std::string("\"") + type.caption + "\"";
        separator = " and ";
    }
    return text + " carry it";
}

EngineError SystemError(const std::string& what, int code) {
    return {kErrorKindSystem, what + ": " + std::strerror(code), {}, {}, code};
}

}  // namespace

std::vector<std::string> UdfImageArguments(const ProjectSettings& settings,
                                           const std::string& pathList) {
    // -D: folders as deep as the image tree has them, as the other volume types take them.
    // -input-charset: names are UTF-8 whatever the locale says.
    std::vector<std::string> arguments = {"-quiet", "-udf", "-R", "-D", "-input-charset", "UTF-8"};
    if (settings.fileSystemType == kFileSystemIsoJolietUdf) {
        arguments.insert(arguments.end(), {"-J", "-joliet-long"});
    }
    // Links are followed, as the image tree adds the files they lead to.
    arguments.insert(arguments.end(), {"-f", "-V", settings.volumeIdentifier, "-graft-points",
                                       "-path-list", pathList});
    return arguments;
}

UdfBridge::UdfBridge(WorkFolder folder, ProjectSettings settings)
    : m_folder(std::move(folder)), m_settings(std::move(settings)) {}

UdfBridge::UdfBridge(UdfBridge&& other) noexcept
    : m_folder(std::move(other.m_folder)),
      m_settings(std::move(other.m_settings)),
      m_pid(std::exchange(other.m_pid, -1)),
      m_announcedSize(other.m_announcedSize),
      m_hideArguments(std::move(other.m_hideArguments)) {}

UdfBridge::~UdfBridge() { stop(); }

std::optional<UdfBridge> UdfBridge::Prepare(const std::vector<ImageItem>& items,
                                            const ProjectSettings& settings, EngineError& error) {
    Result<WorkFolder> folder = WorkFolder::Create();
    if (!folder) {
        error = {kErrorKindSystem, folder.reason(), {}, {}, 0};
        return std::nullopt;
    }
    std::string named;
    if (auto refused = CheckTreeNames(items, settings.fileSystemType, named)) {
        error.errorKind = kErrorKindSourceFile;
        error.errorText = *refused;
        error.fileDetails = {0, *refused, named};
        return std::nullopt;
    }
    for (const ImageItem& item : items) {
        std::error_code sized;
        if (!item.isFolder && std::filesystem::file_size(item.sourcePath, sized) >= kUdfFileLimit &&
            !sized) {
            error.errorKind = kErrorKindSourceFile;
            error.errorText = TooLargeForUdf();
            error.fileDetails = {EFBIG, error.errorText, item.sourcePath};
            return std::nullopt;
        }
        // The path list has one graft point per line.
        if (item.imagePath.find('\n') != std::string::npos ||
            item.sourcePath.find('\n') != std::string::npos) {
            error.errorKind = kErrorKindSourceFile;
            error.errorText = "A name with a line break cannot go into a UDF image";
            error.fileDetails = {0, error.errorText, item.sourcePath};
            return std::nullopt;
        }
    }
    auto hides = WritePathList(items, settings, folder->path(), kPathList);
    if (!hides) {
        error = {kErrorKindSystem,
                 "Cannot prepare the UDF image in " + folder->path().string(),
                 {},
                 {},
                 0};
        return std::nullopt;
    }
    UdfBridge bridge(std::move(*folder), settings);
    bridge.m_hideArguments = std::move(*hides);
    return bridge;
}
pid_t UdfBridge::spawn(const std::vector<std::string>& extra, int outFd, EngineError& error) {
    std::vector<std::string> arguments = {kUdfImageTool};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    arguments.insert(arguments.end(), m_hideArguments.begin(), m_hideArguments.end());
    const auto usual = UdfImageArguments(m_settings, (m_folder.path() / kPathList).string());
    arguments.insert(arguments.end(), usual.begin(), usual.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    const std::string errors = (m_folder.path() / kErrorOutput).string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // In the work folder: the hide lists name the links by their paths from there.
    posix_spawn_file_actions_addchdir_np(&actions, m_folder.path().c_str());
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errors.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // SIGPIPE at its default even where this program ignores it: a genisoimage whose reader has
    // gone ends at once, and finish() can tell why.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int code = posix_spawnp(&pid, kUdfImageTool, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (code != 0) {
        error = SystemError(std::string("Cannot start ") + kUdfImageTool, code);
        return -1;
    }
    return pid;
}

std::string UdfBridge::errorOutput() const {
    std::ifstream in(m_folder.path() / kErrorOutput);
    std::stringstream text;
    text << in.rdbuf();
    std::string out = text.str();
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

bool UdfBridge::wait(pid_t pid, EngineError& error) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = SystemError(std::string("Cannot wait for ") + kUdfImageTool, errno);
            return false;
        }
    }
    return succeeded(status, error);
}

bool UdfBridge::succeeded(int status, EngineError& error) const {
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    error.errorKind = kErrorKindWrite;
    error.errorText = std::string(kUdfImageTool) + " failed";
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) {
        // Its reader stops at the size it announced: the image came out longer than that.
        error.errorText += std::string(": ") + kImageGrew + " (" + std::to_string(m_announcedSize) +
                           " bytes; a source file changed while it was written)";
        return false;
    }
    if (const std::string output = errorOutput(); !output.empty()) {
        error.errorText += ": " + output;
    }
    return false;
}

std::optional<std::int64_t> UdfBridge::imageSize(EngineError& error) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = SystemError("Cannot make a pipe", errno);
        return std::nullopt;
    }
    const pid_t pid = spawn({"-print-size"}, pipeFds[1], error);
    ::close(pipeFds[1]);
    std::string output;
    char buffer[256];
    ssize_t got = 0;
    while ((got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) output.append(buffer, static_cast<size_t>(got));
    }
    ::close(pipeFds[0]);
    if (pid < 0 || !wait(pid, error)) return std::nullopt;
    try {
        m_announcedSize = std::stoll(output) * 2048;
        return m_announcedSize;
    } catch (const std::exception&) {
        error = {
            kErrorKindWrite, std::string(kUdfImageTool) + " gave no size: " + output, {}, {}, 0};
        return std::nullopt;
    }
}

int UdfBridge::start(EngineError& error) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        error = SystemError("Cannot make a pipe", errno);
        return -1;
    }
    m_pid = spawn({}, pipeFds[1], error);
    ::close(pipeFds[1]);
    if (m_pid < 0) {
        ::close(pipeFds[0]);
        return -1;
    }
    return pipeFds[0];
}

bool UdfBridge::stop(EngineError* ownFailure) {
    if (m_pid < 0) return false;
    const pid_t pid = std::exchange(m_pid, -1);
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (ended == pid) {
        EngineError failure;
        // Ended by its pipe's closing: the reader stopped first, for a reason of its own.
        if (WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) return false;
        if (succeeded(status, failure)) return false;
        if (ownFailure != nullptr) *ownFailure = failure;
        return true;
    }
    ::kill(pid, SIGKILL);
    EngineError ignored;
    wait(pid, ignored);
    return false;
}

bool UdfBridge::finish(EngineError& error) {
    if (m_pid < 0) return true;
    const bool ok = wait(m_pid, error);
    m_pid = -1;
    return ok;
}

}  // namespace quillet::disc
