#pragma once

#include <filesystem>
#include <string>

#include "mailstore/mail_export.h"

namespace quillet::mailstore {

// The summary of a completed export that the window and quillet-cli show: what was exported
// where, the counts one a line, then the notes (recovered and skipped messages, damage, warnings)
// one a line. Lines end in "\n".
std::string ExportSummaryText(const std::string& sourceDescription,
                              const std::filesystem::path& outFolder, const ExportSummary& summary);

}  // namespace quillet::mailstore
