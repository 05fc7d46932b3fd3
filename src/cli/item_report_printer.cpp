#include "cli/commands.h"

namespace quillet::cli {

void PrintItemReport(const std::vector<ItemReportLine>& report, std::ostream& out,
                     std::ostream& err) {
    for (const ItemReportLine& line : report) {
        out << line.text() << '\n';
        if (!line.succeeded) err << "quillet-cli: " << line.name << ": " << line.failure << '\n';
    }
}

}  // namespace quillet::cli
