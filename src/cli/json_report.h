#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "backup/item_report.h"
#include "mailstore/mail_export.h"
#include "mailstore/store_health.h"

namespace quillet::cli {

// What --json prints: one document, keys in the order they are set. The keys are documented in
// quillet-cli's manual page; a key once there is never renamed, so scripts can rely on it.
using Json = nlohmann::ordered_json;

// Writes `document` indented, then a line break. Text that is no valid UTF-8 (a file name of an
// old disk, a crafted backup) has each bad byte replaced by U+FFFD rather than failing.
void PrintJson(const Json& document, std::ostream& out);

// The items that ran, in item order: {"item": its --items name, "succeeded", and "failure" when
// it failed}.
Json ItemsJson(const ItemOutcomes& items);

// An export's or an upload's counts, stores left out, notes, where it stopped and the folders
// complete; `target` is the folder or IMAP account written to.
Json ExportSummaryJson(const std::string& source, const std::string& target,
                       const mailstore::ExportSummary& summary);

// One store's health: name, state, kind, counts, share of the 2 GB limit, export folder, damages.
Json StoreHealthJson(const mailstore::StoreHealth& store);

}  // namespace quillet::cli
