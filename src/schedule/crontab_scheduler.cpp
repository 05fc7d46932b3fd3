#include "schedule/crontab_scheduler.h"

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string_view>
#include <vector>

#include "platform/file_lock.h"
#include "platform/program_runner.h"
#include "schedule/cron_line.h"
#include "schedule/state_folder.h"

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

constexpr std::string_view kLockPurpose = "to change the crontab";

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
    if (!m_options.clock) m_options.clock = std::chrono::system_clock::now;
    if (m_options.stateFolder.empty()) {
        m_options.stateFolder = QuilletStateFolder(Environment::Process());
    }
    if (m_options.lockFile.empty()) m_options.lockFile = CrontabLockFile(m_options.stateFolder);
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
    if (Status single =
            CheckSingleLine("state folder path", m_options.stateFolder.parent_path().string());
        !single) {
        return single;
    }
    if (record.jobTime % JobRecord::kMillisecondsPerMinute != 0 ||
        record.jobTime >= 24 * 60 * JobRecord::kMillisecondsPerMinute) {
        return Status::Error("the start time of a job must be a minute of the day",
                             ErrorKind::kBadInput);
    }

    FileLock lock;
    if (Status locked = lock.take(m_options.lockFile, kLockPurpose); !locked) return locked;
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
    job.stateHome = m_options.stateFolder.parent_path().string();

    const std::string line =
        FormatCronLine(job, SystemTimeZone::Load(m_options.zoneFile).localTime(m_options.clock()));
    // The line must give back exactly this job; anything else would run another backup than
    // the one the user asked for.
    const std::optional<ScheduledJob> check = ParseCronLine(line);
    if (!check || check->number != job.number || check->token != job.token ||
        check->program != job.program ||
        MakeJobCommandLine(check->job) != MakeJobCommandLine(job.job) ||
        check->winePrefix != job.winePrefix || check->stateHome != job.stateHome ||
        check->startTime != job.startTime || check->daysOfWeek != job.daysOfWeek) {
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
    std::map<std::string, RunRecord> lastRuns =
        LastRunsByToken(m_options.stateFolder / kRunLogName);
    std::vector<ScheduledJob> jobs;
    for (const std::string& line : SplitLines(*text)) {
        std::optional<ScheduledJob> job = ParseCronLine(line);
        if (!job) continue;
        // Runs of jobs without a token cannot be told apart: none is shown for them.
        if (auto run = lastRuns.find(job->token); run != lastRuns.end() && !job->token.empty()) {
            job->lastRun = run->second;
        }
        jobs.push_back(std::move(*job));
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

std::string CrontabScheduler::timeZoneName() {
    return SystemTimeZone::Load(m_options.zoneFile).name();
}

Status CrontabScheduler::removeLines(const std::function<bool(const CronLineMark&)>& matches,
                                     const std::string& missing) {
    FileLock lock;
    if (Status locked = lock.take(m_options.lockFile, kLockPurpose); !locked) return locked;
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

}  // namespace quillet
