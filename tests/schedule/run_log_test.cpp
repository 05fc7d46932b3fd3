#include "schedule/run_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/platform/temp_dir.h"

namespace quillet {
namespace {

TEST(RunLogTest, KeepsTheLastRunOfEachTokenOnOneLineEach) {
    testing::TempDir temp;
    const std::filesystem::path log = temp / "state" / "runs.log";
    EXPECT_TRUE(LastRunsByToken(log).empty());
    const RunRecord first{"2026-03-10T09:00:00+01:00", "abc", 0, ""};
    const RunRecord other{"2026-03-10T09:30:00+01:00", "xyz", 1, "Mail failed"};
    const RunRecord last{"2026-03-11T09:00:00+01:00", "abc", 2, "cannot\twrite\nit"};
    for (const RunRecord& record : {first, other, last}) ASSERT_TRUE(AppendRunRecord(log, record));
    const auto runs = LastRunsByToken(log);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs.at("xyz"), other);
    EXPECT_EQ(runs.at("abc").reason, "cannot write it");
}

TEST(RunLogTest, OverItsBoundKeepsItsNewestWholeLines) {
    testing::TempDir temp;
    const std::filesystem::path log = temp / "runs.log";
    constexpr std::uintmax_t kLimit = 300;
    for (int run = 0; run < 40; ++run) {
        const RunRecord record{"2026-03-10T09:00:00+01:00", "job" + std::string(1, 'a' + run % 26),
                               run, "run " + std::to_string(run)};
        ASSERT_TRUE(AppendRunRecord(log, record, kLimit).ok());
        ASSERT_LE(std::filesystem::file_size(log), kLimit);
    }
    const auto runs = LastRunsByToken(log);
    EXPECT_EQ(runs.at("jobn").exitCode, 39);
    EXPECT_EQ(runs.at("jobm").exitCode, 38);
    EXPECT_EQ(runs.count("joba"), 0u);  // its last run was the 27th, long dropped
}

TEST(RunLogTest, ShowsTheLastRunToTheMinuteWithItsResult) {
    EXPECT_EQ(LastRunText(std::nullopt), "never");
    EXPECT_EQ(LastRunText(RunRecord{"2026-03-10T21:05:09+01:00", "abc", 0, ""}),
              "2026-03-10 21:05 OK");
    EXPECT_EQ(LastRunText(RunRecord{"2026-03-10T21:05:09+01:00", "abc", 2, "disk full"}),
              "2026-03-10 21:05 failed (exit 2): disk full");
}

}  // namespace
}  // namespace quillet
