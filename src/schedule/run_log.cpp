#include "schedule/run_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <string_view>

#include "platform/bounded_read.h"
#include "platform/durable_file.h"
#include "schedule/file_lock.h"

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

// Keeps the newest whole lines of the log, at most `keep` bytes of them.
Status Shorten(const std::filesystem::path& logFile, std::uintmax_t keep) {
    auto text = ReadFileUpTo(logFile, UINT64_MAX);
    if (!text) return text.status();
    std::size_t start = text->size() > keep ? text->size() - keep : 0;
    if (start > 0) {
        const std::size_t lineStart = text->find('\n', start - 1);
        start = lineStart == std::string::npos ? text->size() : lineStart + 1;
    }
    return ReplaceFile(logFile, std::string_view(*text).substr(start));
}

}  // namespace

Status AppendRunRecord(const std::filesystem::path& logFile, const RunRecord& record,
                       std::uintmax_t limit) {
    FileLock lock;
    if (Status locked = lock.take(logFile.string() + ".lock", "to record the run"); !locked) {
        return locked;
    }
    const std::string line = OneField(record.time) + '\t' + OneField(record.token) + '\t' +
                             std::to_string(record.exitCode) + '\t' + OneField(record.reason) +
                             '\n';
    const int fd = open(logFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return Status::Error("Cannot write " + logFile.string() + ": " + strerror(errno));
    Status written = WriteAllToFd(fd, line);
    struct stat status {};
    if (written && (fsync(fd) != 0 || fstat(fd, &status) != 0)) {
        written = Status::Error(strerror(errno));
    }
    close(fd);
    if (!written)
        return Status::Error("Cannot write " + logFile.string() + ": " + written.reason());
    if (static_cast<std::uintmax_t>(status.st_size) <= limit) return Status::Ok();
    return Shorten(logFile, limit / 2);
}

std::map<std::string, RunRecord> LastRunsByToken(const std::filesystem::path& logFile) {
    std::map<std::string, RunRecord> last;
    std::ifstream log(logFile);
    std::string line;
    while (std::getline(log, line)) {
        if (std::optional<RunRecord> record = ReadRecord(line)) {
            last[record->token] = std::move(*record);
        }
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
