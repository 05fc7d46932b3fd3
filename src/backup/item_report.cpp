#include "backup/item_report.h"

namespace quillet {

std::string ItemReportLine::text() const {
    return std::string(name) + '\t' + (succeeded ? "Successed!" : "Fail!");
}

std::vector<ItemReportLine> ItemReport(const ItemOutcomes& items, RunDirection direction) {
    std::vector<ItemReportLine> lines;
    for (int i = 0; i < kItemCount; ++i) {
        const ItemOutcome& item = items[i];
        if (!item.ran) continue;
        const std::string_view name = direction == RunDirection::kBackup
                                          ? kItems[i].backupReportName
                                          : kItems[i].restoreReportName;
        lines.push_back({name, item.succeeded, item.failure});
    }
    return lines;
}

std::string ItemReportText(const ItemOutcomes& items, RunDirection direction) {
    std::string text;
    for (const ItemReportLine& line : ItemReport(items, direction)) text += "\r\n" + line.text();
    return text;
}

}  // namespace quillet
