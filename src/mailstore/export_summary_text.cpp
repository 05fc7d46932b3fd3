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
                       "\nSkipped: " + std::to_string(summary.skipped) + "\n";
    for (const std::string& note : summary.notes) text += note + "\n";
    return text;
}

}  // namespace quillet::mailstore
