#pragma once

#include <string>

namespace quillet::archive {

// Receives what an archive reports while it works. Every call arrives on the thread that made the
// archive call, during that call (the archive starts no thread that calls an observer). Default
// implementations ignore the event.
class ArchiveObserver {
  public:
    virtual ~ArchiveObserver() = default;

    // SaveArchive is about to read and compress the file of entry `name`.
    virtual void EntryAdding(const std::string& name) { (void)name; }

    // ExtractEntryTo is about to write entry `name`.
    virtual void EntryExtracting(const std::string& name) { (void)name; }

    // SaveArchive has written `percent` (0 to 100) of the data; called when the value grows.
    virtual void SaveProgress(int percent) { (void)percent; }

    // SaveArchive has finished: exactly once per SaveArchive call, a failed one too, just before it
    // returns, with the same outcome it returns (`reason` is empty on success).
    virtual void SaveDone(bool ok, const std::string& reason) {
        (void)ok;
        (void)reason;
    }
};

}  // namespace quillet::archive
