// Reads any text as a scheduled backup's command line. A job it accepts must be written by
// MakeJobCommandLine as a text that reads back to the same job.
#include "fuzz_support.h"
#include "schedule/job_command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quillet::fuzz::Fail;
    auto job = quillet::ParseJobCommandLine(quillet::fuzz::InputText(data, size));
    if (!job) return 0;
    const std::string written = quillet::MakeJobCommandLine(*job);
    auto again = quillet::ParseJobCommandLine(written);
    if (!again) Fail("the written command line is not read back: " + again.reason());
    if (again->identityKey != job->identityKey || again->itemMask != job->itemMask ||
        again->password != job->password || again->backupFile != job->backupFile) {
        Fail("the written command line reads back to another job: " + written);
    }
    return 0;
}
