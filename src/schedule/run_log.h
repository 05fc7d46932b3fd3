#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/status.h"

namespace quillet {

// One scheduled run as the run log keeps it.
struct RunRecord {
    std::string time;    // when the run ended, in the system's zone: "2026-03-10T21:05:00+01:00"
    std::string token;   // the job's token; "" for a job of an earlier version, which has none
    int exitCode = 0;    // the run's exit status
    std::string reason;  // what went wrong, on one line; "" when nothing did

    bool operator==(const RunRecord&) const = default;
};

// The log of scheduled runs, in the Quillet state folder (see state_folder.h), and its bound.
inline constexpr char kRunLogName[] = "runs.log";
inline constexpr std::uintmax_t kRunLogLimit = 64 * 1024;

// Appends `record` as the line "TIME TAB TOKEN TAB EXIT TAB REASON" (tabs and line breaks of the
// reason become blanks) to `logFile`, making its folder when missing, and flushes it to the disk.
// When the log is then longer than `limit` bytes, it is replaced durably (a crash leaves the old
// log or the new one, see durable_file.h) by its newest lines, at most half the limit, read from
// its end alone. Holds the flock of "<logFile>.lock" meanwhile, so that runs ending at once each
// add their whole line. Neither the log nor its lock is opened through a symbolic link: a log
// that is no regular file (a link, a FIFO, a device) is left alone and the call fails, saying so.
Status AppendRunRecord(const std::filesystem::path& logFile, const RunRecord& record,
                       std::uintmax_t limit = kRunLogLimit);

// The last record of each token among the whole lines of the last kRunLogLimit bytes of `logFile`
// (none when there is no log, or it is no regular file, which is never opened through a link);
// lines that are no record (a line cut short by a crash) are skipped.
std::map<std::string, RunRecord> LastRunsByToken(const std::filesystem::path& logFile);

// How the job lists show a job's last run: "never" when there is none, else the time to the
// minute and the result: "2026-03-10 21:05 OK" or "2026-03-10 21:05 failed (exit 2): REASON".
std::string LastRunText(const std::optional<RunRecord>& record);

}  // namespace quillet
