#include "support/platform/fault_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "support/platform/forwarding_file_operations.h"

namespace quillet::testing {
namespace {

int g_faultsInjected = 0;  // by every sweep of this test process

// The system's calls, but flushes that return at once: a sweep makes hundreds of runs, and what
// it checks is how the code answers a failing call, not what reaches the disk.
class UnflushedFileOperations : public ForwardingFileOperations {
  public:
    int fsync(int) override { return 0; }
    int syncFolder(const std::filesystem::path&) override { return 0; }
};

}  // namespace

void PrintTo(const FaultKind& kind, std::ostream* out) { *out << kind.name; }

const std::vector<FaultKind>& FaultKinds() {
    static const std::vector<FaultKind> kinds{
        {"FullDisk", "write", ENOSPC, true},
        {"NotWritable", "open", EACCES, true},
        {"FailedFlush", "fsync", EIO, false},
        {"SkippedFlush", "fsync", 0, false},
        {"FailedClose", "close", EIO, false},
        {"FailedRename", "rename", EIO, false},
        {"FailedFolderFlush", "syncFolder", EIO, false},
    };
    return kinds;
}

int SweepFaults(const FaultKind& kind, const FaultyRun& run) {
    UnflushedFileOperations unflushed;
    FaultyFileOperations counting(unflushed);
    std::size_t armedAt = 0;
    run(counting, [&] { armedAt = counting.calls().size(); });
    const auto& calls = counting.calls();
    const int callCount = static_cast<int>(
        std::count_if(calls.begin() + static_cast<std::ptrdiff_t>(armedAt), calls.end(),
                      [&](const FileCall& call) { return call.operation == kind.operation; }));
    EXPECT_GT(callCount, 0) << "the operation makes no " << kind.operation << " call";

    const int runs = kind.error == 0 ? std::min(callCount, 1) : callCount;
    int injected = 0;
    for (int nth = 1; nth <= runs; ++nth) {
        SCOPED_TRACE(std::string(kind.name) + ": " + kind.operation + " call " +
                     std::to_string(nth) + " of " + std::to_string(callCount));
        FaultyFileOperations files(unflushed);
        run(files, [&] {
            if (kind.error == 0) {
                files.skipSyncs();
            } else {
                files.failCall(kind.operation, nth, kind.error, kind.persist);
            }
        });
        injected += files.faultsInjected();
        if (::testing::Test::HasFatalFailure()) break;
    }
    g_faultsInjected += injected;
    return injected;
}

bool AnyCallFailed(const FaultyFileOperations& files) {
    return std::any_of(files.calls().begin(), files.calls().end(),
                       [](const FileCall& call) { return call.fault == "failed"; });
}

int FaultsInjectedSoFar() { return g_faultsInjected; }

}  // namespace quillet::testing
