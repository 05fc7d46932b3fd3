#pragma once

#include <functional>
#include <ostream>
#include <vector>

#include "support/platform/faulty_file_operations.h"

namespace quillet::testing {

// One kind of file-system fault that a sweep injects.
struct FaultKind {
    const char* name;
    // The FileOperations call that fails ("write", "rename"...); for a skipped flush, "fsync".
    const char* operation;
    // The error it fails with; 0: the calls succeed without flushing (see skipSyncs), so the
    // operation must succeed.
    int error;
    // Every later call of it fails too, as on a full disk or in a folder that stays read-only.
    bool persist;
};
void PrintTo(const FaultKind& kind, std::ostream* out);

// A full disk, a folder or file that cannot be written, failed and skipped flushes, a failed
// close, a failed rename and a failed flush of the folder.
const std::vector<FaultKind>& FaultKinds();

// Runs one operation under a fault: sets up a fresh world, calls `armFault` right before the
// operation (everything before it runs without faults), runs the operation through `files`,
// and checks what must hold afterwards.
using FaultyRun =
    std::function<void(FaultyFileOperations& files, const std::function<void()>& armFault)>;

// Runs `run` once without a fault, to count the calls of kind.operation that the operation
// makes, then once for each of those calls, making that call fail (and, for a persisting kind,
// every later one). A kind that skips flushes runs once. Returns how many faults were injected;
// fails the current test when the operation makes no such call.
int SweepFaults(const FaultKind& kind, const FaultyRun& run);

// Whether a call failed in this run, so that the operation must report a failure (flushes that
// were skipped, and the run that counts the calls, must not change the outcome).
bool AnyCallFailed(const FaultyFileOperations& files);

// How many faults every sweep of this process injected so far.
int FaultsInjectedSoFar();

}  // namespace quillet::testing
