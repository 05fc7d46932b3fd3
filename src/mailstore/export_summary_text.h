#pragma once

#include <filesystem>
#include <string>

#include "mailstore/mail_export.h"

namespace quillet::mailstore {

// The summary of an export that the window and quillet-cli show: what was exported where, the
// counts one a line, the stores left out by name; for an export that stopped before its end, why
// and the folders complete; then the notes (recovered and skipped messages, damage, warnings) one
// a line. Lines end in "\n".
std::string ExportSummaryText(const std::string& sourceDescription,
                              const std::filesystem::path& outFolder, const ExportSummary& summary);

}  // namespace quillet::mailstore
