#include "gui/mail_export_texts.h"

namespace quillet::mail_export_texts {

std::string SummaryText(const std::string& sourceDescription,
                        const std::filesystem::path& outFolder,
                        const mailstore::ExportSummary& summary) {
    std::string text = "Exported the mail of " + sourceDescription + " to " + outFolder.string() +
                       "\nFolders: " + std::to_string(summary.folders) +
                       "\nMessages: " + std::to_string(summary.messages) +
                       "\nBytes: " + std::to_string(summary.bytes) +
                       "\nRecovered: " + std::to_string(summary.recovered) +
                       "\nSkipped: " + std::to_string(summary.skipped) + "\n";
    for (const std::string& note : summary.notes) text += note + "\n";
    return text;
}

}  // namespace quillet::mail_export_texts
