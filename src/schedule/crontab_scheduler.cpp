#include "schedule/crontab_scheduler.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <set>
#include <string_view>
#include <vector>

#include "platform/program_runner.h"
#include "schedule/cron_line.h"

namespace quillet {
namespace {

// The lines of a crontab with their exact bytes; joining them with "\n" gives the text back.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

// The first line of what a failed crontab command said, for the reason.
std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    return line.empty() ? "no reason given" : line;
}

// The crontab lock, held from take() until destroyed. The file is opened close-on-exec, so the
// crontab command run meanwhile does not hold it.
class CrontabLock {
  public:
    CrontabLock() = default;
    CrontabLock(const CrontabLock&) = delete;
    CrontabLock& operator=(const CrontabLock&) = delete;
    ~CrontabLock() {
        if (m_fd >= 0) close(m_fd);
    }

    Status take(const std::filesystem::path& file) {
        std::error_code error;
        std::filesystem::create_directories(file.parent_path(), error);
        m_fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        int result = m_fd < 0 ? -1 : 0;
        while (result == 0 && flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) result = -1;
        }
        if (result != 0) {
            return Status::Error("cannot lock " + file.string() +
                                 " to change the crontab: " + std::strerror(errno));
        }
        return Status::Ok();
    }

  private:
    int m_fd = -1;
};

// A token no job of `used` has: twelve random lower-case letters.
std::string NewToken(const std::set<std::string>& used) {
    std::random_device random;
    std::uniform_int_distribution<int> letter(0, 25);
    while (true) {
        std::string token;
        for (int i = 0; i < 12; ++i) token += static_cast<char>('a' + letter(random));
        if (used.count(token) == 0) return token;
    }
}

}  // namespace

CrontabScheduler::CrontabScheduler(Options options) : m_options(std::move(options)) {
    if (!m_options.now) m_options.now = LocalTimeNow;
    if (m_options.lockFile.empty()) m_options.lockFile = CrontabLockFile();
}

std::filesystem::path CrontabLockFile() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    std::filesystem::path home = "/";
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        home = found->pw_dir;
    }
    return home / ".local" / "state" / "quillet" / "crontab.lock";
}

Result<std::string> CrontabScheduler::readCrontab() {
    auto run = RunProgram({m_options.crontabProgram, "-l"}, {});
    if (!run) {
        return Status::Error(
            "the crontab command is missing (install the package cron): " + run.reason(),
            ErrorKind::kNotFound);
    }
    if (run->exitCode == 0) return std::move(run->out);
    // crontab -l fails, saying so, for a user who has no crontab yet: that is an empty one.
    if (run->err.find("no crontab for") != std::string::npos) return std::string();
    return Status::Error("crontab -l failed: " + FirstLine(run->err));
}

Status CrontabScheduler::writeCrontab(const std::string& readBefore, const std::string& text) {
    auto now = readCrontab();
    if (!now) return now.status();
    if (*now != readBefore) {
        return Status::Error(
            "the crontab was changed by something else meanwhile; nothing was "
            "changed, try again",
            ErrorKind::kInUse);
    }
    auto run = RunProgram({m_options.crontabProgram, "-"}, text);
    if (!run) return run.status();
    if (run->exitCode != 0) {
        return Status::Error("crontab refused the new crontab: " + FirstLine(run->err),
                             ErrorKind::kAccessDenied);
    }
    return Status::Ok();
}

Result<int> CrontabScheduler::addJob(const JobRecord& record) {
    auto parts = SplitJobCommand(record.command);
    if (!parts) return parts.status();
    if (Status valid = CheckJobValues(parts->job); !valid) return valid;
    if (Status single = CheckSingleLine("program path", parts->program); !single) return single;
    if (!m_options.winePrefix) {
        return Status::Error("a scheduled job must name the Wine prefix it backs up",
                             ErrorKind::kBadInput);
    }
    if (Status single = CheckSingleLine("Wine prefix path", *m_options.winePrefix); !single) {
        return single;
    }
    if (record.jobTime % JobRecord::kMillisecondsPerMinute != 0 ||
        record.jobTime >= 24 * 60 * JobRecord::kMillisecondsPerMinute) {
        return Status::Error("the start time of a job must be a minute of the day",
                             ErrorKind::kBadInput);
    }

    CrontabLock lock;
    if (Status locked = lock.take(m_options.lockFile); !locked) return locked;
    auto text = readCrontab();
    if (!text) return text.status();
    std::vector<std::string> lines = SplitLines(*text);
    std::set<int> used;
    std::set<std::string> tokens;
    for (const std::string& line : lines) {
        if (const std::optional<CronLineMark> mark = CronLineJobMark(line)) {
            used.insert(mark->number);
            tokens.insert(mark->token);
        }
    }
    ScheduledJob job;
    job.number = 1;
    while (used.count(job.number) != 0) ++job.number;
    job.token = NewToken(tokens);
    job.startTime = record.startTime();
    job.daysOfWeek = record.daysOfWeek & 0x7F;
    job.program = std::move(parts->program);
    job.job = std::move(parts->job);
    job.winePrefix = m_options.winePrefix;

    const std::string line = FormatCronLine(job, m_options.now());
    // The line must give back exactly this job; anything else would run another backup than
    // the one the user asked for.
    const std::optional<ScheduledJob> check = ParseCronLine(line);
    if (!check || check->number != job.number || check->token != job.token ||
        check->program != job.program ||
        MakeJobCommandLine(check->job) != MakeJobCommandLine(job.job) ||
        check->winePrefix != job.winePrefix || check->startTime != job.startTime ||
        check->daysOfWeek != job.daysOfWeek) {
        return Status::Error("this job cannot be written into a crontab line",
                             ErrorKind::kBadInput);
    }
    // A crontab's last line must end with a line break; keep the user's text as it is otherwise.
    if (lines.back().empty()) lines.pop_back();
    lines.push_back(line);
    lines.emplace_back();
    if (Status written = writeCrontab(*text, JoinLines(lines)); !written) return written;
    return job.number;
}

Result<std::vector<ScheduledJob>> CrontabScheduler::listJobs() {
    auto text = readCrontab();
    if (!text) return text.status();
    std::vector<ScheduledJob> jobs;
    for (const std::string& line : SplitLines(*text)) {
        if (std::optional<ScheduledJob> job = ParseCronLine(line)) jobs.push_back(std::move(*job));
    }
    std::sort(jobs.begin(), jobs.end(),
              [](const ScheduledJob& a, const ScheduledJob& b) { return a.number < b.number; });
    return jobs;
}

Status CrontabScheduler::removeJob(int number) {
    return removeLines([number](const CronLineMark& mark) { return mark.number == number; },
                       "there is no scheduled job " + std::to_string(number));
}

Status CrontabScheduler::removeListedJob(const ScheduledJob& listed) {
    return removeLines(
        [&listed](const CronLineMark& mark) {
            return mark.token == listed.token &&
                   (!mark.token.empty() || mark.number == listed.number);
        },
        "scheduled job " + std::to_string(listed.number) +
            " is gone: it was removed meanwhile, and no job was removed now");
}

Status CrontabScheduler::removeLines(const std::function<bool(const CronLineMark&)>& matches,
                                     const std::string& missing) {
    CrontabLock lock;
    if (Status locked = lock.take(m_options.lockFile); !locked) return locked;
    auto text = readCrontab();
    if (!text) return text.status();
    std::vector<std::string> lines = SplitLines(*text);
    const auto kept = std::remove_if(lines.begin(), lines.end(), [&](const std::string& line) {
        const std::optional<CronLineMark> mark = CronLineJobMark(line);
        return mark && matches(*mark);
    });
    if (kept == lines.end()) return Status::Error(missing, ErrorKind::kNotFound);
    lines.erase(kept, lines.end());
    return writeCrontab(*text, JoinLines(lines));
}

std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

}  // namespace quillet
