#include "schedule/run_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/platform/child_process.h"
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

// A link in the log's or its lock's place (to a log elsewhere, to nothing) or a FIFO: the run says
// why it is not recorded, and nothing is written, cut or made through it.
TEST(RunLogTest, LeavesALogOrLockThatIsNoRegularFileAlone) {
    namespace fs = std::filesystem;
    std::string other;
    while (other.size() < 1000) other += "2026-03-09T09:00:00+01:00\tabc\t0\t\n";
    const std::pair<const char*, const char*> plants[] = {
        {"runs.log", "other"}, {"runs.log", "new"}, {"runs.log.lock", "new"}, {"runs.log", ""}};
    for (const auto& [at, to] : plants) {
        testing::TempDir temp;
        testing::WriteFileBytes(temp / "other", other);
        *to ? fs::create_symlink(temp / to, temp / at) : void(mkfifo((temp / at).c_str(), 0600));
        const Status refused = AppendRunRecord(temp / kRunLogName, {"now", "xyz", 0, ""}, 300);
        EXPECT_NE(refused.reason().find((temp / at).string()), std::string::npos) << at << to;
        EXPECT_EQ(testing::ReadFileBytes(temp / "other"), other);
        EXPECT_FALSE(fs::exists(temp / "new"));
        EXPECT_TRUE(LastRunsByToken(temp / kRunLogName).empty());
    }
}

// A log of 128 MB without a line break is added to, cut and read with only its end in memory.
TEST(RunLogTest, ReadsOnlyTheEndOfALongLog) {
    testing::TempDir temp;
    testing::WriteFileBytes(temp / kRunLogName, "");
    std::filesystem::resize_file(temp / kRunLogName, 128 << 20);
    const pid_t child = testing::ForkChild([&] {
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const bool read = AppendRunRecord(temp / kRunLogName, {"now", "abc", 0, ""}).ok() &&
                          LastRunsByToken(temp / kRunLogName).contains("abc");
        getrusage(RUSAGE_SELF, &after);
        return read && after.ru_maxrss - before.ru_maxrss < 16 * 1024 ? 0 : 1;  // KB
    });
    EXPECT_EQ(testing::WaitForChild(child), 0);
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
