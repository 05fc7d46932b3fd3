#include "mailstore/export_summary_text.h"

namespace quillet::mailstore {

std::string ExportSummaryText(const std::string& sourceDescription,
                              const std::filesystem::path& outFolder,
                              const ExportSummary& summary) {
    std::string text = "Exported the mail of " + sourceDescription + " to " + outFolder.string() +
                       "\nFolders: " + std::to_string(summary.folders) +
                       "\nMessages: " + std::to_string(summary.messages) +
                       "\nBytes: " + std::to_string(summary.bytes) +
                       "\nRecovered: " + std::to_string(summary.recovered) +
                       "\nSkipped: " + std::to_string(summary.skipped) +
                       "\nMissing: " + std::to_string(summary.missing) +
                       "\nCut short: " + std::to_string(summary.cutShort) +
                       "\nStores left out: " + std::to_string(summary.storesLeftOut.size()) + "\n";
    for (const std::string& store : summary.storesLeftOut) text += "Left out: " + store + "\n";
    if (!summary.stopped.empty()) {
        text += "Stopped before the end: " + summary.stopped + "\n";
        for (const auto& folder : summary.complete) {
            text += "Complete: " + (outFolder / folder).string() + "\n";
        }
    }
    for (const std::string& note : summary.notes) text += note + "\n";
    return text;
}

}  // namespace quillet::mailstore
