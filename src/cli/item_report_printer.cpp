#include "cli/commands.h"

namespace quillet::cli {

void PrintItemReport(const ItemOutcomes& items, RunDirection direction, std::ostream& out,
                     std::ostream& err) {
    for (const ItemReportLine& line : ItemReport(items, direction)) {
        out << line.text() << '\n';
        if (!line.succeeded) err << "quillet-cli: " << line.name << ": " << line.failure << '\n';
    }
}

}  // namespace quillet::cli
