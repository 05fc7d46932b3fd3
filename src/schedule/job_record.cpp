#include "schedule/job_record.h"

#include "schedule/day_codes.h"

namespace quillet {

TimeOfDay JobRecord::startTime() const {
    const std::uint64_t minutes = jobTime / kMillisecondsPerMinute;
    return TimeOfDay{static_cast<int>(minutes / 60), static_cast<int>(minutes % 60)};
}

Result<JobRecord> BuildJobRecord(std::string_view startTime, std::string_view dayList,
                                 const JobCommandLine& job, const std::string& program) {
    const std::optional<TimeOfDay> time = ParseStartTime(startTime);
    if (!time) {
        return Status::Error(
            "the start time \"" + std::string(startTime) + "\" is not a time of day (H:MM)",
            ErrorKind::kBadInput);
    }
    JobRecord record;
    record.jobTime = static_cast<std::uint64_t>(time->hour * 3600 + time->minute * 60) * 1000;
    record.daysOfWeek = DaysOfWeekFromList(dayList);
    record.daysOfMonth = 0;
    record.flags = JobRecord::kRunPeriodically;
    record.command = JobCommand(program, job);
    return record;
}

std::string JobCommand(const std::string& program, const JobCommandLine& job) {
    std::string command = "\"";
    for (char c : program) {
        if (c == '"' || c == '\\') command += '\\';
        command += c;
    }
    return command + "\" " + MakeJobCommandLine(job);
}

Result<JobCommandParts> SplitJobCommand(std::string_view command) {
    std::string program;
    std::size_t close = std::string_view::npos;
    for (std::size_t pos = 1; pos < command.size(); ++pos) {
        if (command[pos] == '\\' && pos + 1 < command.size()) {
            program += command[++pos];
        } else if (command[pos] == '"') {
            close = pos;
            break;
        } else {
            program += command[pos];
        }
    }
    if (command.empty() || command.front() != '"' || close == std::string_view::npos ||
        command.substr(close + 1, 1) != " ") {
        return Status::Error(
            "a job command must be the program in double quotes, a blank and "
            "the job command line",
            ErrorKind::kBadInput);
    }
    auto job = ParseJobCommandLine(command.substr(close + 2));
    if (!job) return Status::Error(job.reason(), ErrorKind::kBadInput);
    return JobCommandParts{std::move(program), std::move(*job)};
}

Status CheckSingleLine(const std::string& name, std::string_view value) {
    if (value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos) {
        return Status::Ok();
    }
    return Status::Error(
        "the " + name + " of a scheduled job cannot hold a line break or a NUL character",
        ErrorKind::kBadInput);
}

Status CheckJobValues(const JobCommandLine& job) {
    struct Field {
        const char* name;
        const std::string& value;
        bool mayBeEmpty;
    };
    const Field fields[] = {{"identity key", job.identityKey, false},
                            {"item mask", job.itemMask, false},
                            {"password", job.password, true},
                            {"backup file", job.backupFile, false}};
    for (const Field& field : fields) {
        const std::string name = field.name;
        if (!field.mayBeEmpty && field.value.empty()) {
            return Status::Error("the " + name + " of a scheduled job must not be empty",
                                 ErrorKind::kBadInput);
        }
        if (Status single = CheckSingleLine(name, field.value); !single) return single;
        if (field.value.find('=') != std::string::npos) {
            return Status::Error("the " + name +
                                     " of a scheduled job cannot hold \"=\": the job "
                                     "command line is split at it",
                                 ErrorKind::kBadInput);
        }
    }
    if (job.itemMask.size() != 8 || job.itemMask.find_first_not_of("01") != std::string::npos) {
        return Status::Error("the item mask of a scheduled job must be eight characters 0 or 1",
                             ErrorKind::kBadInput);
    }
    return Status::Ok();
}

}  // namespace quillet
