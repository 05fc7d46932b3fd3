#include "backup/item_report.h"

#include <gtest/gtest.h>

#include "backup/exit_status.h"

namespace quillet {
namespace {

ItemOutcomes RulesWellMessagesFailedSettingsNotRun() {
    ItemOutcomes items{};
    items[kRules] = {true, true, ""};
    items[kMessages] = {true, false, "disk full"};
    items[kSettings] = {false, false, ""};
    return items;
}

TEST(ItemReportTest, NamesTheItemsThatRanInTheRunsDirection) {
    struct Case {
        RunDirection direction;
        std::vector<std::string> lines;
        std::string windowText;
    };
    const Case cases[] = {
        {RunDirection::kBackup,
         {"Backup Rules\tSuccessed!", "Backup Messages\tFail!"},
         "\r\nBackup Rules\tSuccessed!\r\nBackup Messages\tFail!"},
        {RunDirection::kRestore,
         {"Restore Rules\tSuccessed!", "Restore Messages\tFail!"},
         "\r\nRestore Rules\tSuccessed!\r\nRestore Messages\tFail!"},
    };
    const ItemOutcomes items = RulesWellMessagesFailedSettingsNotRun();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windowText);
        std::vector<std::string> lines;
        const std::vector<ItemReportLine> report = ItemReport(items, c.direction);
        for (const ItemReportLine& line : report) lines.push_back(line.text());
        EXPECT_EQ(lines, c.lines);
        ASSERT_EQ(report.size(), 2u);
        EXPECT_EQ(report[0].failure, "");
        EXPECT_EQ(report[1].failure, "disk full");
        EXPECT_EQ(ItemReportText(items, c.direction), c.windowText);
    }
    EXPECT_EQ(ItemReportText(ItemOutcomes{}, RunDirection::kBackup), "");
    EXPECT_EQ(ItemReportText(items, RunDirection::kBackup, false),
              "\r\nBackup Rules\tGathered, not saved!\r\nBackup Messages\tFail!");
}

TEST(ExitStatusTest, SaysWhetherTheRunDidNothingOrAnItemFailed) {
    const ItemOutcomes failed = RulesWellMessagesFailedSettingsNotRun();
    ItemOutcomes succeeded{};
    succeeded[kRules] = {true, true, ""};

    struct BackupCase {
        const char* name;
        bool written;
        ItemOutcomes items;
        int status;
    };
    const BackupCase backups[] = {
        {"every item succeeded", true, succeeded, kExitOk},
        {"no item ticked", true, ItemOutcomes{}, kExitOk},
        {"an item failed", true, failed, kExitPartial},
        {"not written", false, succeeded, kExitNothingDone},
    };
    for (const BackupCase& c : backups) {
        BackupOutcome outcome;
        outcome.written = c.written;
        outcome.items = c.items;
        EXPECT_EQ(ExitStatusOf(outcome), c.status) << "backup: " << c.name;
    }

    struct RestoreCase {
        const char* name;
        Status started;
        ItemOutcomes items;
        int status;
    };
    const RestoreCase restores[] = {
        {"every item succeeded", Status::Ok(), succeeded, kExitOk},
        {"an item failed", Status::Ok(), failed, kExitPartial},
        {"no item ran", Status::Ok(), ItemOutcomes{}, kExitNothingDone},
        {"refused", Status::Error("Wine runs", ErrorKind::kInUse), ItemOutcomes{},
         kExitNothingDone},
        {"invalid backup", Status::Error("invalid", ErrorKind::kCorrupt), ItemOutcomes{},
         kExitNothingDone},
    };
    for (const RestoreCase& c : restores) {
        RestoreOutcome outcome;
        outcome.started = c.started;
        outcome.items = c.items;
        EXPECT_EQ(ExitStatusOf(outcome), c.status) << "restore: " << c.name;
    }
}

}  // namespace
}  // namespace quillet
