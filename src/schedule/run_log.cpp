#include "schedule/run_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "platform/durable_file.h"
#include "platform/file_lock.h"

namespace quillet {
namespace {

std::string OneField(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

std::optional<RunRecord> ReadRecord(const std::string& line) {
    const std::size_t first = line.find('\t');
    const std::size_t second = line.find('\t', first + 1);
    const std::size_t third = line.find('\t', second + 1);
    if (first == std::string::npos || second == std::string::npos || third == std::string::npos) {
        return std::nullopt;
    }
    RunRecord record{line.substr(0, first), line.substr(first + 1, second - first - 1), 0,
                     line.substr(third + 1)};
    const auto [end, error] =
        std::from_chars(line.data() + second + 1, line.data() + third, record.exitCode);
    if (error != std::errc() || end != line.data() + third) return std::nullopt;
    return record;
}

// Opens the log (`flags` say how) without following a symbolic link and without blocking on what
// is no file; what is no regular file is left alone, unopened where it can be told beforehand.
Result<int> OpenLog(const std::filesystem::path& logFile, int flags) {
    struct stat status {};
    const bool there = lstat(logFile.c_str(), &status) == 0;
    int fd = -1;
    if (!there || S_ISREG(status.st_mode)) {
        fd = open(logFile.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd < 0 && errno != ELOOP) {
            return Status::Error("Cannot open " + logFile.string() + ": " + strerror(errno),
                                 errno == ENOENT ? ErrorKind::kNotFound : ErrorKind::kIo);
        }
    }
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        if (fd >= 0) close(fd);
        return Status::Error(logFile.string() + " is not a regular file; it is left alone",
                             ErrorKind::kBadInput);
    }
    return fd;
}

// The whole lines among the last `bytes` bytes of the open file of `size` bytes.
Result<std::string> TailLines(int fd, std::uint64_t size, std::uint64_t bytes) {
    // One byte more, to tell whether the first of them starts a line.
    const std::uint64_t from = size > bytes ? size - bytes - 1 : 0;
    std::string text(static_cast<std::size_t>(size - from), '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t got = pread(fd, text.data() + filled, text.size() - filled,
                                  static_cast<off_t>(from + filled));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Status::Error(strerror(errno));
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    text.resize(filled);
    if (from > 0) {
        const std::size_t newline = text.find('\n');
        text.erase(0, newline == std::string::npos ? text.size() : newline + 1);
    }
    return text;
}

// Keeps the newest whole lines of the log open at `fd`, at most `keep` bytes of them.
Status Shorten(const std::filesystem::path& logFile, int fd, std::uint64_t size,
               std::uintmax_t keep) {
    auto text = TailLines(fd, size, keep);
    if (!text) return Status::Error("Cannot read " + logFile.string() + ": " + text.reason());
    // The replacement goes to the path: it must still name the file written, not a link.
    struct stat written {
    }, now{};
    if (fstat(fd, &written) != 0 || lstat(logFile.c_str(), &now) != 0 || !S_ISREG(now.st_mode) ||
        now.st_ino != written.st_ino || now.st_dev != written.st_dev) {
        return Status::Error(logFile.string() +
                             " was replaced while it was written; it is left "
                             "alone");
    }
    return ReplaceFile(logFile, *text);
}

}  // namespace

Status AppendRunRecord(const std::filesystem::path& logFile, const RunRecord& record,
                       std::uintmax_t limit) {
    FileLock lock;
    if (Status locked = lock.take(logFile.string() + ".lock", "to record the run"); !locked) {
        return locked;
    }
    std::string line = OneField(record.time) + '\t' + OneField(record.token) + '\t' +
                       std::to_string(record.exitCode) + '\t' + OneField(record.reason) + '\n';
    auto fd = OpenLog(logFile, O_RDWR | O_APPEND | O_CREAT);
    if (!fd) return fd.status();
    // A line cut short (by a crash) is ended first, so that this one is whole.
    struct stat status {};
    char last = '\n';
    if (fstat(*fd, &status) == 0 && status.st_size > 0 &&
        pread(*fd, &last, 1, status.st_size - 1) == 1 && last != '\n') {
        line.insert(line.begin(), '\n');
    }
    Status written = WriteAllToFd(*fd, line);
    if (written && (fsync(*fd) != 0 || fstat(*fd, &status) != 0)) {
        written = Status::Error(strerror(errno));
    }
    if (written && static_cast<std::uintmax_t>(status.st_size) > limit) {
        written = Shorten(logFile, *fd, static_cast<std::uint64_t>(status.st_size), limit / 2);
        close(*fd);
        return written;
    }
    close(*fd);
    if (!written)
        return Status::Error("Cannot write " + logFile.string() + ": " + written.reason());
    return Status::Ok();
}

std::map<std::string, RunRecord> LastRunsByToken(const std::filesystem::path& logFile) {
    std::map<std::string, RunRecord> last;
    auto fd = OpenLog(logFile, O_RDONLY);
    if (!fd) return last;
    struct stat status {};
    auto text = fstat(*fd, &status) == 0
                    ? TailLines(*fd, static_cast<std::uint64_t>(status.st_size), kRunLogLimit)
                    : Result<std::string>(Status::Error(strerror(errno)));
    close(*fd);
    if (!text) return last;
    for (std::size_t start = 0; start < text->size();) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        if (std::optional<RunRecord> record = ReadRecord(text->substr(start, end - start))) {
            last[record->token] = std::move(*record);
        }
        start = end + 1;
    }
    return last;
}

std::string LastRunText(const std::optional<RunRecord>& record) {
    if (!record) return "never";
    std::string time = record->time.substr(0, 16);
    if (time.size() > 10 && time[10] == 'T') time[10] = ' ';
    if (record->exitCode == 0) return time + " OK";
    return time + " failed (exit " + std::to_string(record->exitCode) + "): " + record->reason;
}

}  // namespace quillet
