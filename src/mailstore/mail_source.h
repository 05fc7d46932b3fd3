#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mailstore/store_bytes.h"
#include "platform/status.h"

namespace quillet::mailstore {

// Where the message stores of one identity come from: its store folder on a Wine prefix or a
// Windows disk, or the entries of a backup file. Exports and health checks read every store
// through this, so they do not know which it is.
class MailSource {
  public:
    virtual ~MailSource() = default;

    // What the summary calls the source ("identity Main Identity", "backup mail.qbk").
    virtual std::string description() const = 0;

    // The ".dbx" file names the source holds (any case), Folders.dbx included when present,
    // with the bytes each holds, in a stable order.
    struct StoreName {
        std::string fileName;
        std::uint64_t size = 0;
    };
    virtual std::vector<StoreName> stores() const = 0;

    // Opens one of stores() for reading. Fails with the reason (kNotFound, kAccessDenied, kIo,
    // kCorrupt for a damaged backup entry, kDiskFull when a backup's store cannot be spilled).
    virtual Result<std::unique_ptr<StoreBytes>> openStore(const std::string& fileName) = 0;
};

}  // namespace quillet::mailstore
