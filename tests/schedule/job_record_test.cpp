#include "schedule/job_record.h"

#include <gtest/gtest.h>

#include <string>

#include "schedule/day_codes.h"
#include "schedule/start_time.h"

namespace quillet {
namespace {

const JobCommandLine kJob{"{K}", "10000001", "", "/backups/mail.qbk"};

struct RecordCase {
    const char* startTime;
    const char* dayList;
    std::uint64_t jobTime;
    std::uint8_t daysOfWeek;
};

TEST(BuildJobRecordTest, TimeAndDaysOfEveryCase) {
    const RecordCase cases[] = {
        {"0:00", "", 0, 0},
        {"9:00", "M,T,W,TH,F,S,SU", 32'400'000, 127},
        {"23:30", "TH", 84'600'000, 8},
        {"23:59", "SU", 86'340'000, 64},
        {"9:00", "m,th,su", 32'400'000, 1 | 8 | 64},
        {"9:00", "X,,M,Sunday", 32'400'000, 1},
        {"9:00", "T,TH", 32'400'000, 2 | 8},
    };
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(std::string(c.startTime) + " " + c.dayList);
        auto record = BuildJobRecord(c.startTime, c.dayList, kJob, "/usr/bin/quillet");
        ASSERT_TRUE(record.ok()) << record.reason();
        EXPECT_EQ(record->jobTime, c.jobTime);
        EXPECT_EQ(record->daysOfWeek, c.daysOfWeek);
        EXPECT_EQ(record->daysOfMonth, 0u);
        EXPECT_EQ(record->flags, 1);
        EXPECT_EQ(DaysOfWeekFromList(DayListFromDays(c.daysOfWeek)), c.daysOfWeek);
    }
}

TEST(BuildJobRecordTest, CommandQuotesTheProgramAndJoinsTheFieldsWithoutBlanks) {
    auto record = BuildJobRecord("9:00", "", kJob, "/opt/my apps/quillet");
    ASSERT_TRUE(record.ok());
    EXPECT_EQ(record->command, "\"/opt/my apps/quillet\" sf={K}xm=10000001ps=bf=/backups/mail.qbk");
    auto parts = SplitJobCommand(record->command);
    ASSERT_TRUE(parts.ok()) << parts.reason();
    EXPECT_EQ(parts->program, "/opt/my apps/quillet");
    EXPECT_EQ(MakeJobCommandLine(parts->job), MakeJobCommandLine(kJob));
    for (const char* program : {"/opt/my \"apps\"/quillet", "/opt/a\\\"b\\/quillet"}) {
        parts = SplitJobCommand(BuildJobRecord("9:00", "", kJob, program)->command);
        ASSERT_TRUE(parts.ok()) << parts.reason();
        EXPECT_EQ(parts->program, program);
    }
}

TEST(StartTimeTest, ReadsTimesOfDayAndRefusesEverythingElse) {
    const std::pair<const char*, std::optional<TimeOfDay>> cases[] = {
        {"9:00", TimeOfDay{9, 0}},
        {"09:05", TimeOfDay{9, 5}},
        {" 23:30 ", TimeOfDay{23, 30}},
        {"7:15:59", TimeOfDay{7, 15}},
        {"9:00 PM", TimeOfDay{21, 0}},
        {"12:00am", TimeOfDay{0, 0}},
        {"12:30 PM", TimeOfDay{12, 30}},
        {"", std::nullopt},
        {"9", std::nullopt},
        {"24:00", std::nullopt},
        {"9:60", std::nullopt},
        {"9:5", std::nullopt},
        {"nine", std::nullopt},
        {"13:00 PM", std::nullopt},
        {"0:00 AM", std::nullopt},
        {"9:00 XM", std::nullopt},
        {"9:00:5", std::nullopt},
        {"-1:00", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(ParseStartTime(text), expected) << '"' << text << '"';
    }
    EXPECT_FALSE(BuildJobRecord("25:00", "M", kJob, "/usr/bin/quillet").ok());
}

TEST(StartTimeTest, FormatsAsTheStartTimeList) {
    EXPECT_EQ(FormatStartTime({0, 0}), "0:00");
    EXPECT_EQ(FormatStartTime({23, 30}), "23:30");
    EXPECT_EQ(FormatStartTime({9, 5}), "9:05");
}

TEST(CheckJobValuesTest, RefusesWhatAJobCommandLineCannotCarry) {
    struct Case {
        JobCommandLine job;
        bool accepted;
    };
    const Case cases[] = {
        {kJob, true},
        {{"{K}", "10000001", "p w'\"%$\\", "/b/m a.qbk"}, true},
        {{"{K}", "10000001", "a=b", "/b.qbk"}, false},
        {{"{K}", "10000001", "", "/b=c.qbk"}, false},
        {{"{K}=", "10000001", "", "/b.qbk"}, false},
        {{"{K}", "10000001", "line\nbreak", "/b.qbk"}, false},
        {{"{K}", "10000001", "", "/b\r.qbk"}, false},
        {{"{K}", "10000001", std::string("nul\0", 4), "/b.qbk"}, false},
        {{"", "10000001", "", "/b.qbk"}, false},
        {{"{K}", "10000001", "", ""}, false},
        {{"{K}", "1000000", "", "/b.qbk"}, false},
        {{"{K}", "1000000x", "", "/b.qbk"}, false},
    };
    for (const Case& c : cases) {
        const Status status = CheckJobValues(c.job);
        EXPECT_EQ(status.ok(), c.accepted) << MakeJobCommandLine(c.job) << ": " << status.reason();
        if (!c.accepted) {
            EXPECT_TRUE(status.is(ErrorKind::kBadInput));
        }
    }
}

}  // namespace
}  // namespace quillet
