#pragma once

#include <string>
#include <string_view>

#include "platform/status.h"

namespace quillet {

// The command line of a scheduled backup: "sf=" identity key, "xm=" item mask, "ps=" password,
// "bf=" backup file path, joined without blanks. Each key marks where its field starts; text
// before the first key is ignored. No value may hold "="; the backup file path runs to the end
// of the text.
struct JobCommandLine {
    std::string identityKey;
    std::string itemMask;
    std::string password;
    std::string backupFile;
};

// Reads a job command line. Fails, before anything is touched, when the text after the first
// key does not split into exactly the four fields in their order, when the identity key or backup
// file path is empty, or when the item mask is not exactly eight digits.
Result<JobCommandLine> ParseJobCommandLine(std::string_view text);

// The text that ParseJobCommandLine reads back to `job`.
std::string MakeJobCommandLine(const JobCommandLine& job);

}  // namespace quillet
