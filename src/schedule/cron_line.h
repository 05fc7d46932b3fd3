#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "schedule/scheduler.h"

namespace quillet {

// A job as one line of a crontab:
//
//   MIN HOUR DOM MON DOW /bin/sh -c 'SCRIPT'%<job command line>
//   SCRIPT: IFS= read -r QUILLET_JOB; export QUILLET_JOB; WINEPREFIX='..' XDG_STATE_HOME='..'
//     QUILLET_TOKEN=TOKEN [QUILLET_ONCE=TOKEN] exec '/path/quillet' # quillet job N TOKEN
//
// cron runs the text before the first unescaped "%" with the crontab's SHELL (/bin/sh unless a
// line of the crontab sets another) and feeds the text after it to the command's standard input;
// the command starts /bin/sh itself, whatever that shell is (csh reads the quoting alike), and
// its script's `read` takes the input into QUILLET_JOB: the job command line, and the password in
// it, never appears in any process's arguments. Every "%" of the job command line is written "\%"
// (cron gives "%"); other characters stand as they are, as cron passes them on. The program and
// prefix are quoted for the shell in the script ('...', "'" as '\''), and the script once more for
// the line ("%" as '\%'). The line names the prefix itself, so that a HOME or WINEPREFIX line of
// the crontab does not change what the job backs up, and its state folder (XDG_STATE_HOME), so that
// its run logs and locks where the program that registered it reads and locks.
// QUILLET_TOKEN names the job to its run, which records itself by it in the run log.
// A job that runs once (no day) is dated with the day and month of the next occurrence of its
// time after `now` (the local time in the system's zone, in which cron reads the line) and
// carries QUILLET_ONCE=TOKEN, by which the run removes its own line. A job's token is lower-case
// letters only (IsJobToken); earlier versions wrote no token and QUILLET_ONCE=N, and then lines
// with a token but without QUILLET_TOKEN.
// The job's values must have passed CheckJobValues. The lines of earlier versions, whose command
// is the script itself, are read as well.
std::string FormatCronLine(const ScheduledJob& job, const std::tm& now);

// The job of a line that FormatCronLine wrote; nullopt for any other line.
std::optional<ScheduledJob> ParseCronLine(std::string_view line);

// The job number and token (empty when the line has none) of a line of Quillet's (one that reads
// QUILLET_JOB as FormatCronLine writes and ends its script with the "# quillet job N [TOKEN]"
// mark), also when the rest of the line was damaged; nullopt for every other line.
struct CronLineMark {
    int number = 0;
    std::string token;
};
std::optional<CronLineMark> CronLineJobMark(std::string_view line);
std::optional<int> CronLineJobNumber(std::string_view line);

// Whether `text` can be a job's token: one or more lower-case letters a to z.
bool IsJobToken(std::string_view text);

// What cron makes of a command: the text for /bin/sh and the text for its standard input.
struct CronCommand {
    std::string shellCommand;
    std::string input;
};
CronCommand SplitCronCommand(std::string_view command);

// The job's command field of a line FormatCronLine wrote (the text after the five time fields).
std::string_view CronLineCommand(std::string_view line);

}  // namespace quillet
