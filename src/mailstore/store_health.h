#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mailstore/mail_progress.h"
#include "mailstore/mail_source.h"
#include "mailstore/message_store.h"
#include "mailstore/store_bytes.h"

namespace quillet::mailstore {

// What the health check finds in one store.
struct StoreHealth {
    std::string name;
    DbxHeader::Kind kind = DbxHeader::Kind::kUnknown;
    std::uint64_t size = 0;         // bytes
    std::uint32_t messages = 0;     // messages the tree reaches
    std::uint64_t reclaimable = 0;  // bytes a compaction would give back (the header's count)
    double shareOfLimit = 0;        // size / kStoreSizeLimit: 1.0 and more, Outlook Express fails
    std::vector<StoreDamage> damages;  // every inconsistency, the message chains' included
    // The folder an export puts its messages in ("Office Mail/Projects"); empty for a store that
    // holds no mail.
    std::string folder;
    bool damaged() const { return !damages.empty(); }
};

// The damage the health check reports for a store of a kind it does not know (at the class id).
inline constexpr char kUnknownStoreDamage[] = "not a store of a known kind";
inline constexpr std::uint64_t kClassIdOffset = 0x04;

// Reads the whole store as a salvaging read does (every message's chunk chain walked, no data
// kept) and reports it. A store whose header cannot be read at all is reported with one damage
// naming why. Never fails otherwise; the StoreBytes' read errors are reported as damage.
StoreHealth CheckStore(const StoreBytes& bytes);

}  // namespace quillet::mailstore

namespace quillet::mailstore {

// CheckStore for every store of `source`, in the source's order, each with the folder an export
// gives it (a salvaging folder plan); a store that cannot be opened,
// and a file the source tells is no store, is reported with one damage naming why. `progress` may
// be null; a cancel fails with kCancelled.
Result<std::vector<StoreHealth>> CheckMail(MailSource& source, MailProgress* progress);

}  // namespace quillet::mailstore
