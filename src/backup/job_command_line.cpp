#include "backup/job_command_line.h"

#include <vector>

namespace quillet {
namespace {

constexpr std::string_view kKeys[] = {"sf", "xm", "ps", "bf"};

}  // namespace

Result<JobCommandLine> ParseJobCommandLine(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t equals = text.find('=', start);
        parts.push_back(text.substr(start, equals - start));
        if (equals == std::string_view::npos) break;
        start = equals + 1;
    }
    if (parts.size() != 5) {
        return Status::Error(
            "the command line must be sf=IDENTITY xm=ITEMS ps=PASSWORD bf=FILE joined without "
            "blanks, with no \"=\" inside a value");
    }
    // Each part but the last ends with the key of the field that follows it.
    std::string values[4];
    for (int field = 0; field < 4; ++field) {
        std::string_view before = parts[field];
        if (before.size() < 2 || before.substr(before.size() - 2) != kKeys[field]) {
            return Status::Error("the command line's fields must come as sf=, xm=, ps=, bf=");
        }
        std::string_view value = parts[field + 1];
        if (field < 3) value.remove_suffix(std::min<std::size_t>(2, value.size()));
        values[field] = std::string(value);
    }
    // Nothing but blanks may stand before the first key.
    if (parts[0].substr(0, parts[0].size() - 2).find_first_not_of(' ') != std::string_view::npos) {
        return Status::Error("the command line must begin with sf=");
    }
    JobCommandLine job{values[0], values[1], values[2], values[3]};
    if (job.identityKey.empty()) return Status::Error("the identity key (sf=) is empty");
    if (job.backupFile.empty()) return Status::Error("the backup file (bf=) is empty");
    if (job.itemMask.size() != 8 ||
        job.itemMask.find_first_not_of("0123456789") != std::string::npos) {
        return Status::Error("the item mask (xm=) must be eight digits, one per item");
    }
    return job;
}

std::string MakeJobCommandLine(const JobCommandLine& job) {
    return "sf=" + job.identityKey + "xm=" + job.itemMask + "ps=" + job.password +
           "bf=" + job.backupFile;
}

}  // namespace quillet
