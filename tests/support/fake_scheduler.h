#pragma once

#include <algorithm>
#include <optional>
#include <vector>

#include "schedule/scheduler.h"

namespace quillet::testing {

// A scheduler in memory: records the records added, numbers the jobs 1, 2, ... in the order
// they come, lists and removes them, and fails every call with `failure` while it is set.
// Not thread-safe.
class FakeScheduler : public Scheduler {
  public:
    Result<int> addJob(const JobRecord& record) override {
        if (failure) return *failure;
        added.push_back(record);
        ScheduledJob job;
        job.number = ++m_lastNumber;
        job.startTime = record.startTime();
        job.daysOfWeek = record.daysOfWeek;
        if (auto parts = SplitJobCommand(record.command)) {
            job.program = parts->program;
            job.job = parts->job;
        }
        jobs.push_back(job);
        return job.number;
    }

    Result<std::vector<ScheduledJob>> listJobs() override {
        if (failure) return *failure;
        return jobs;
    }

    Status removeJob(int number) override {
        if (failure) return *failure;
        const auto removedCount =
            std::erase_if(jobs, [number](const ScheduledJob& job) { return job.number == number; });
        if (removedCount == 0)
            return Status::Error("no job " + std::to_string(number), ErrorKind::kNotFound);
        return Status::Ok();
    }

    std::optional<Status> failure;
    std::vector<JobRecord> added;    // every record added, in order
    std::vector<ScheduledJob> jobs;  // the jobs held now

  private:
    int m_lastNumber = 0;
};

}  // namespace quillet::testing
