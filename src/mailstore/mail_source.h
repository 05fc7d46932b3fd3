#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mailstore/message_store.h"
#include "mailstore/store_bytes.h"
#include "platform/ansi_code_page.h"
#include "platform/case_fold.h"
#include "platform/status.h"

namespace quillet::mailstore {

// What is known of the Windows system a source's stores were written on.
struct StoreOrigin {
    AnsiCodePage codePage{};  // of the names and subjects the stores hold
    // The names the identity gave its accounts ("Account Name"), by registry key in lower case;
    // empty where the source holds no registry.
    std::map<std::string, std::string> accountNames{};

    // The name of the account with registry key `key` (any case); nullopt when not known.
    std::optional<std::string> accountName(const std::string& key) const {
        auto found = accountNames.find(AsciiLower(key));
        if (found == accountNames.end()) return std::nullopt;
        return found->second;
    }
};

// Where the message stores of one identity come from: its store folder on a Wine prefix or a
// Windows disk, or the entries of a backup file; or loose stores, a ".dbx" file or a folder of
// them. Exports and health checks read every store through this, so they do not know which it is.
class MailSource {
  public:
    virtual ~MailSource() = default;

    // What the summary calls the source ("identity Main Identity", "backup mail.qbk").
    virtual std::string description() const = 0;

    // The ".dbx" file names the source holds (any case), Folders.dbx included when present,
    // with the bytes each holds, in a stable order.
    //
    // A source that reads each store's header as it lists them (loose stores) tells what each
    // is: `kind` is the kind the header's class id names (unset when the header is damaged, which
    // the reader then reports), and `notAStore` says why a file is no store at all (no store's
    // magic, no regular file, unreadable). Sources that read a store only when it is opened leave
    // both empty, and the file name alone tells the folder list and the stores without messages.
    struct StoreName {
        std::string fileName;
        std::uint64_t size = 0;
        std::optional<DbxHeader::Kind> kind{};
        std::string notAStore{};
    };
    virtual std::vector<StoreName> stores() const = 0;

    // Opens one of stores() for reading. Fails with the reason (kNotFound, kAccessDenied, kIo,
    // kCorrupt for a damaged backup entry, kDiskFull when a backup's store cannot be spilled).
    virtual Result<std::unique_ptr<StoreBytes>> openStore(const std::string& fileName) = 0;

    // What the source knows of the system its stores were written on (Windows-1252 and no
    // account names until told).
    const StoreOrigin& origin() const { return m_origin; }
    void setOrigin(StoreOrigin origin) { m_origin = std::move(origin); }

  private:
    StoreOrigin m_origin;
};

// The order every source lists its stores in: by name with case ignored, then exactly.
inline void SortStores(std::vector<MailSource::StoreName>& stores) {
    std::sort(stores.begin(), stores.end(), [](const auto& a, const auto& b) {
        const std::string left = AsciiLower(a.fileName), right = AsciiLower(b.fileName);
        return left != right ? left < right : a.fileName < b.fileName;
    });
}

}  // namespace quillet::mailstore
