#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "schedule/job_command_line.h"
#include "schedule/start_time.h"

namespace quillet {

// A scheduled job as the system's job scheduler takes it.
struct JobRecord {
    std::uint64_t jobTime = 0;      // start time in milliseconds after local midnight
    std::uint32_t daysOfMonth = 0;  // always 0
    std::uint8_t daysOfWeek = 0;    // bit 0 Monday ... bit 6 Sunday; 0: no day chosen
    std::uint8_t flags = 0;         // bit 0: run periodically
    std::string command;            // the program in double quotes, a blank, the job command line

    static constexpr std::uint8_t kRunPeriodically = 1;
    static constexpr std::uint64_t kMillisecondsPerMinute = 60'000;

    TimeOfDay startTime() const;
};

// The record of a backup job: JobTime from the start-time text, DaysOfWeek from the day list,
// DaysOfMonth 0, Flags 1, and the command that starts `program` with the job command line of the
// identity key, item mask, password and backup file. Fails (kBadInput) when the start-time text is
// not a time of day. The values are not checked here (see CheckJobValues).
Result<JobRecord> BuildJobRecord(std::string_view startTime, std::string_view dayList,
                                 const JobCommandLine& job, const std::string& program);

// The command of a record: "\"" program "\" " and the job command line. A "\"" or "\\" of the
// program is written with a "\\" before it.
std::string JobCommand(const std::string& program, const JobCommandLine& job);

// Splits a record's command back into the program (its "\\" escapes undone) and the job command
// line; fails when the command is not of that form.
struct JobCommandParts {
    std::string program;
    JobCommandLine job;
};
Result<JobCommandParts> SplitJobCommand(std::string_view command);

// Refuses (kBadInput, naming the value) a value of a scheduled job that holds a line break (CR or
// LF) or a NUL: a job is one line of the system's scheduler, and a line break would end it.
Status CheckSingleLine(const std::string& name, std::string_view value);

// Refuses (kBadInput, naming the field) a value that a scheduled job cannot carry: a line break
// or NUL anywhere, an "=" in the identity key, password or backup file, which the job command line
// would split at, or an empty identity key or backup file.
Status CheckJobValues(const JobCommandLine& job);

}  // namespace quillet
