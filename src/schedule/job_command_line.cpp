#include "schedule/job_command_line.h"

namespace quillet {
namespace {

constexpr std::string_view kKeys[] = {"sf=", "xm=", "ps=", "bf="};

}  // namespace

Result<JobCommandLine> ParseJobCommandLine(std::string_view text) {
    // Each key marks where its field starts, found in order after the previous one; text before
    // the first key is not part of the job. The last field runs to the end of the text.
    std::size_t starts[4];
    std::size_t from = 0;
    for (int field = 0; field < 4; ++field) {
        const std::size_t key = text.find(kKeys[field], from);
        if (key == std::string_view::npos) {
            return Status::Error(
                "the command line must be sf=IDENTITY xm=ITEMS ps=PASSWORD bf=FILE joined without "
                "blanks, the fields in that order");
        }
        starts[field] = key + kKeys[field].size();
        from = starts[field];
    }
    std::string values[4];
    for (int field = 0; field < 4; ++field) {
        const std::size_t end =
            field < 3 ? starts[field + 1] - kKeys[field + 1].size() : text.size();
        values[field] = std::string(text.substr(starts[field], end - starts[field]));
        // A value holding "=" means a field too many, or keys out of their order.
        if (values[field].find('=') != std::string::npos) {
            return Status::Error(
                "the command line must hold exactly the fields sf=, xm=, ps=, bf=, in that order, "
                "with no \"=\" inside a value");
        }
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
