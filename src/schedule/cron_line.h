#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "schedule/scheduler.h"

namespace quillet {

// A job as one line of a crontab:
//
//   MIN HOUR DOM MON DOW IFS= read -r QUILLET_JOB; export QUILLET_JOB; [WINEPREFIX='..' ]
//     [QUILLET_ONCE=N ]exec '/path/quillet' # quillet job N%<job command line>
//
// cron runs the text before the first unescaped "%" with /bin/sh and feeds the text after it to
// the command's standard input, where `read` takes it into QUILLET_JOB: the job command line, and
// the password in it, never appears in any process's arguments. Every "%" of the job command line
// is written "\%" (cron gives "%"); other characters stand as they are, as cron passes them on.
// The program and prefix are quoted for the shell ('...', "'" as '\'', "%" as '\%').
// A job that runs once (no day) is dated with the day and month of the next occurrence of its
// time after `now` and carries QUILLET_ONCE=N, by which the run removes its own line.
// The job's values must have passed CheckJobValues.
std::string FormatCronLine(const ScheduledJob& job, const std::tm& now);

// The job of a line that FormatCronLine wrote; nullopt for any other line.
std::optional<ScheduledJob> ParseCronLine(std::string_view line);

// The job number of a line of Quillet's (one that reads QUILLET_JOB as FormatCronLine writes and
// ends its command with the "# quillet job N" mark), also when the rest of the line was damaged;
// nullopt for every other line.
std::optional<int> CronLineJobNumber(std::string_view line);

// What cron makes of a command: the text for /bin/sh and the text for its standard input.
struct CronCommand {
    std::string shellCommand;
    std::string input;
};
CronCommand SplitCronCommand(std::string_view command);

// The job's command field of a line FormatCronLine wrote (the text after the five time fields).
std::string_view CronLineCommand(std::string_view line);

}  // namespace quillet
