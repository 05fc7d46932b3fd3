#include "schedule/cron_line.h"

#include <cctz/civil_time.h>

#include <cctype>
#include <charconv>
#include <vector>

#include "schedule/day_codes.h"

namespace quillet {
namespace {

constexpr std::string_view kShell = "/bin/sh -c ";
constexpr std::string_view kReadJob = "IFS= read -r QUILLET_JOB; export QUILLET_JOB; ";
constexpr std::string_view kPrefixAssignment = "WINEPREFIX=";
constexpr std::string_view kStateAssignment = "XDG_STATE_HOME=";
constexpr std::string_view kTokenAssignment = "QUILLET_TOKEN=";
constexpr std::string_view kOnceAssignment = "QUILLET_ONCE=";
constexpr std::string_view kExec = "exec ";
constexpr std::string_view kMark = " # quillet job ";

// A word for /bin/sh: single quotes keep everything but "'" itself, written '\''. For a crontab
// command (`forCron`), a "%" is also taken out of the quotes and escaped for cron ('\%'), because
// cron would end the command at it. The quotes and '\'' read the same in csh as in sh.
std::string QuoteForShell(std::string_view text, bool forCron) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else if (c == '%' && forCron) {
            quoted += "'\\%'";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

// The job command line as cron's standard-input text: cron turns "\%" into "%" and passes every
// other character, backslashes included, as it is.
std::string EscapeForCronInput(std::string_view text) {
    std::string escaped;
    for (char c : text) {
        if (c == '%') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::optional<int> ReadNumber(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// Reads one shell word at the start of `text` (quotes and backslash escapes as FormatCronLine
// writes them, after cron's handling); advances `text` past it. nullopt when it is not closed.
std::optional<std::string> ReadShellWord(std::string_view& text) {
    std::string word;
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] != ' ') {
        const char c = text[pos];
        if (c == '\'') {
            const std::size_t close = text.find('\'', pos + 1);
            if (close == std::string_view::npos) return std::nullopt;
            word.append(text.substr(pos + 1, close - pos - 1));
            pos = close + 1;
        } else if (c == '\\' && pos + 1 < text.size()) {
            word += text[pos + 1];
            pos += 2;
        } else {
            word += c;
            ++pos;
        }
    }
    text.remove_prefix(pos);
    return word;
}

bool Consume(std::string_view& text, std::string_view expected) {
    if (text.substr(0, expected.size()) != expected) return false;
    text.remove_prefix(expected.size());
    return true;
}

// The five time fields and the command of a crontab line.
struct CronFields {
    std::string_view fields[5];
    std::string_view command;
};

std::optional<CronFields> SplitFields(std::string_view line) {
    CronFields split;
    for (std::string_view& field : split.fields) {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            line.remove_prefix(1);
        }
        const std::size_t end = line.find_first_of(" \t");
        if (line.empty() || end == std::string_view::npos) return std::nullopt;
        field = line.substr(0, end);
        line.remove_prefix(end);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    split.command = line;
    return split;
}

std::string CronDays(std::uint8_t daysOfWeek) {
    std::string days;
    for (std::size_t bit = 0; bit < kWeekDays.size(); ++bit) {
        if ((daysOfWeek & (1u << bit)) == 0) continue;
        if (!days.empty()) days += ',';
        days += std::to_string(kWeekDays[bit].cronNumber);
    }
    return days;
}

std::optional<std::uint8_t> DaysFromCron(std::string_view field) {
    std::uint8_t days = 0;
    while (!field.empty()) {
        const std::size_t comma = field.find(',');
        const std::optional<int> number = ReadNumber(field.substr(0, comma));
        if (!number) return std::nullopt;
        bool known = false;
        for (std::size_t bit = 0; bit < kWeekDays.size(); ++bit) {
            if (kWeekDays[bit].cronNumber == *number) {
                days |= static_cast<std::uint8_t>(1u << bit);
                known = true;
            }
        }
        if (!known) return std::nullopt;
        if (comma == std::string_view::npos) break;
        field.remove_prefix(comma + 1);
    }
    return days;
}

// The day of the next occurrence of `time` after `now` (today when it is still to come).
cctz::civil_day NextOccurrence(const std::tm& now, TimeOfDay time) {
    cctz::civil_day day(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
    if (time.hour < now.tm_hour || (time.hour == now.tm_hour && time.minute <= now.tm_min)) ++day;
    return day;
}

// The value of an assignment "NAME=VALUE " at the start of `script`, which it advances past it;
// nullopt, leaving `script` as it is, when there is none or its blank is missing.
std::optional<std::string> ReadAssignment(std::string_view& script, std::string_view name) {
    if (!script.starts_with(name)) return std::nullopt;
    const std::size_t blank = script.find(' ', name.size());
    if (blank == std::string_view::npos) return std::nullopt;
    std::string value(script.substr(name.size(), blank - name.size()));
    script.remove_prefix(blank + 1);
    return value;
}

// A line break, inside quotes or not, would make cron read what follows as a line of its own.
bool HoldsLineBreak(std::string_view line) {
    return line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The script of a line's shell command: the word after "/bin/sh -c " (the lines of earlier
// versions have the script itself as their command). nullopt when the word is not one closed word.
std::optional<std::string> ShellScript(std::string_view shellCommand) {
    if (!Consume(shellCommand, kShell)) return std::string(shellCommand);
    std::optional<std::string> script = ReadShellWord(shellCommand);
    if (!script || !shellCommand.empty()) return std::nullopt;
    return script;
}

// The words after "# quillet job ": the number and, for lines of this version, the token.
struct MarkWords {
    int number = 0;
    std::string token;
};
std::optional<MarkWords> ReadMark(std::string_view text) {
    const std::size_t blank = text.find(' ');
    const std::optional<int> number = ReadNumber(text.substr(0, blank));
    if (!number || *number <= 0) return std::nullopt;
    MarkWords words{*number, {}};
    if (blank != std::string_view::npos) {
        words.token = std::string(text.substr(blank + 1));
        if (!IsJobToken(words.token)) return std::nullopt;
    }
    return words;
}

}  // namespace

CronCommand SplitCronCommand(std::string_view command) {
    CronCommand split;
    std::size_t pos = 0;
    for (; pos < command.size(); ++pos) {
        const char c = command[pos];
        if (c == '\\' && pos + 1 < command.size() && command[pos + 1] == '%') {
            split.shellCommand += '%';
            ++pos;
        } else if (c == '%') {
            break;
        } else {
            split.shellCommand += c;
        }
    }
    if (pos >= command.size()) return split;
    for (++pos; pos < command.size(); ++pos) {
        const char c = command[pos];
        if (c == '\\' && pos + 1 < command.size() && command[pos + 1] == '%') {
            split.input += '%';
            ++pos;
        } else {
            split.input += c == '%' ? '\n' : c;
        }
    }
    return split;
}

std::string_view CronLineCommand(std::string_view line) {
    const std::optional<CronFields> fields = SplitFields(line);
    return fields ? fields->command : std::string_view();
}

std::string FormatCronLine(const ScheduledJob& job, const std::tm& now) {
    std::string line =
        std::to_string(job.startTime.minute) + " " + std::to_string(job.startTime.hour) + " ";
    if (job.runsOnce()) {
        const cctz::civil_day day = NextOccurrence(now, job.startTime);
        line += std::to_string(day.day()) + " " + std::to_string(day.month()) + " * ";
    } else {
        line += "* * " + CronDays(job.daysOfWeek) + " ";
    }
    std::string script(kReadJob);
    if (job.winePrefix) {
        script += std::string(kPrefixAssignment) + QuoteForShell(*job.winePrefix, false) + " ";
    }
    if (job.stateHome) {
        script += std::string(kStateAssignment) + QuoteForShell(*job.stateHome, false) + " ";
    }
    if (!job.token.empty()) script += std::string(kTokenAssignment) + job.token + " ";
    if (job.runsOnce()) {
        script += std::string(kOnceAssignment) +
                  (job.token.empty() ? std::to_string(job.number) : job.token) + " ";
    }
    script += std::string(kExec) + QuoteForShell(job.program, false);
    script += std::string(kMark) + std::to_string(job.number);
    if (!job.token.empty()) script += " " + job.token;
    line += std::string(kShell) + QuoteForShell(script, true);
    line += "%" + EscapeForCronInput(MakeJobCommandLine(job.job));
    return line;
}

bool IsJobToken(std::string_view text) {
    return !text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == text.npos;
}

std::optional<int> CronLineJobNumber(std::string_view line) {
    const std::optional<CronLineMark> mark = CronLineJobMark(line);
    if (!mark) return std::nullopt;
    return mark->number;
}

std::optional<CronLineMark> CronLineJobMark(std::string_view line) {
    if (HoldsLineBreak(line)) return std::nullopt;
    const std::optional<CronFields> fields = SplitFields(line);
    if (!fields) return std::nullopt;
    const std::string command = SplitCronCommand(fields->command).shellCommand;
    std::string_view shellCommand = command;
    // A damaged line may no longer be one word: the script is then what lies inside its quotes.
    if (Consume(shellCommand, kShell)) {
        if (shellCommand.starts_with('\'')) shellCommand.remove_prefix(1);
        if (shellCommand.ends_with('\'')) shellCommand.remove_suffix(1);
    }
    const std::size_t mark = shellCommand.rfind(kMark);
    if (mark == std::string::npos || !shellCommand.starts_with(kReadJob)) return std::nullopt;
    const std::optional<MarkWords> words = ReadMark(shellCommand.substr(mark + kMark.size()));
    if (!words) return std::nullopt;
    return CronLineMark{words->number, words->token};
}

std::optional<ScheduledJob> ParseCronLine(std::string_view line) {
    if (HoldsLineBreak(line)) return std::nullopt;
    const std::optional<CronFields> fields = SplitFields(line);
    if (!fields) return std::nullopt;
    const CronCommand command = SplitCronCommand(fields->command);
    const std::optional<std::string> script = ShellScript(command.shellCommand);
    if (!script) return std::nullopt;
    std::string_view shell = *script;

    ScheduledJob job;
    const std::optional<int> minute = ReadNumber(fields->fields[0]);
    const std::optional<int> hour = ReadNumber(fields->fields[1]);
    if (!minute || !hour || *minute > 59 || *hour > 23) return std::nullopt;
    job.startTime = TimeOfDay{*hour, *minute};
    const bool dated = fields->fields[2] != "*";
    if (dated) {
        if (fields->fields[4] != "*") return std::nullopt;
    } else {
        const std::optional<std::uint8_t> days = DaysFromCron(fields->fields[4]);
        if (fields->fields[3] != "*" || !days || *days == 0) return std::nullopt;
        job.daysOfWeek = *days;
    }

    if (!Consume(shell, kReadJob)) return std::nullopt;
    if (Consume(shell, kPrefixAssignment)) {
        job.winePrefix = ReadShellWord(shell);
        if (!job.winePrefix || !Consume(shell, " ")) return std::nullopt;
    }
    if (Consume(shell, kStateAssignment)) {
        job.stateHome = ReadShellWord(shell);
        if (!job.stateHome || !Consume(shell, " ")) return std::nullopt;
    }
    // Lines written before jobs named their token for the run log have no token assignment.
    const std::optional<std::string> tokenValue = ReadAssignment(shell, kTokenAssignment);
    const std::optional<std::string> onceValue = ReadAssignment(shell, kOnceAssignment);
    if (!Consume(shell, kExec)) return std::nullopt;
    std::optional<std::string> program = ReadShellWord(shell);
    if (!program || !Consume(shell, kMark)) return std::nullopt;
    const std::optional<MarkWords> mark = ReadMark(shell);
    if (!mark) return std::nullopt;
    // A run-once job names itself by its token, or an earlier version's by its number.
    const std::string onceExpected =
        mark->token.empty() ? std::to_string(mark->number) : mark->token;
    if (dated != onceValue.has_value() || (onceValue && *onceValue != onceExpected) ||
        (tokenValue && (mark->token.empty() || *tokenValue != mark->token))) {
        return std::nullopt;
    }
    job.number = mark->number;
    job.token = mark->token;
    job.program = std::move(*program);

    auto parsed = ParseJobCommandLine(command.input);
    if (!parsed) return std::nullopt;
    job.job = std::move(*parsed);
    return job;
}

}  // namespace quillet
