#pragma once

#include <optional>
#include <vector>

#include "schedule/scheduler.h"

namespace quillet::testing {

// A scheduler in memory: records the records added, numbers the jobs 1, 2, ... in the order they
// come, lists and removes them, and fails every call with `failure` while it is set.
class FakeScheduler : public Scheduler {
  public:
    Result<int> addJob(const JobRecord& record) override {
        if (failure) return *failure;
        added.push_back(record);
        ScheduledJob& job = jobs.emplace_back();
        job.number = static_cast<int>(added.size());
        job.token = std::string(added.size(), 't');
        job.startTime = record.startTime();
        job.daysOfWeek = record.daysOfWeek;
        if (auto parts = SplitJobCommand(record.command)) {
            job.program = parts->program;
            job.job = parts->job;
        }
        return job.number;
    }
    Result<std::vector<ScheduledJob>> listJobs() override {
        if (failure) return *failure;
        return jobs;
    }
    Status removeJob(int number) override {
        if (failure) return *failure;
        if (std::erase_if(jobs, [number](const ScheduledJob& job) { return job.number == number; }))
            return Status::Ok();
        return Status::Error("no job " + std::to_string(number), ErrorKind::kNotFound);
    }
    Status removeListedJob(const ScheduledJob& listed) override {
        if (failure) return *failure;
        if (std::erase_if(jobs, [&listed](const ScheduledJob& job) {
                return job.number == listed.number && job.token == listed.token;
            }))
            return Status::Ok();
        return Status::Error("job " + std::to_string(listed.number) + " is gone",
                             ErrorKind::kNotFound);
    }

    std::string timeZoneName() override { return zoneName; }

    std::optional<Status> failure;
    std::string zoneName = "Test/Zone";
    std::vector<JobRecord> added;    // every record added, in order
    std::vector<ScheduledJob> jobs;  // the jobs held now
};

}  // namespace quillet::testing
