#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillet::mailstore {

// Told of an export's or a health check's progress, on the calling thread.
class MailProgress {
  public:
    virtual ~MailProgress() = default;
    // A store is started (its file name, and its place among `count`).
    virtual void storeStarted(const std::string& fileName, std::size_t position,
                              std::size_t count) = 0;
    // Message bytes read so far out of the total of all stores' sizes (an estimate).
    virtual void bytesDone(std::uint64_t done, std::uint64_t total) = 0;
    // Asked between messages; true stops the run, which then fails with kCancelled.
    virtual bool cancelRequested() { return false; }
};

}  // namespace quillet::mailstore
