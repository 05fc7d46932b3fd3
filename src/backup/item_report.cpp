#include "backup/item_report.h"

namespace quillet {

std::string ItemReportLine::text() const {
    const char* said = !succeeded ? kItemFailedText
                       : saved    ? kItemSucceededText
                                  : kItemNotSavedText;
    return std::string(name) + '\t' + said;
}

std::vector<ItemReportLine> ItemReport(const ItemOutcomes& items, RunDirection direction,
                                       bool saved) {
    std::vector<ItemReportLine> lines;
    for (int i = 0; i < kItemCount; ++i) {
        const ItemOutcome& item = items[i];
        if (!item.ran) continue;
        const std::string_view name = direction == RunDirection::kBackup
                                          ? kItems[i].backupReportName
                                          : kItems[i].restoreReportName;
        lines.push_back({name, item.succeeded, item.failure, saved});
    }
    return lines;
}

std::string ItemReportText(const ItemOutcomes& items, RunDirection direction, bool saved) {
    std::string text;
    for (const ItemReportLine& line : ItemReport(items, direction, saved)) {
        text += "\r\n" + line.text();
    }
    return text;
}

}  // namespace quillet
