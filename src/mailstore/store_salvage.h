#pragma once

#include <vector>

#include "mailstore/message_store.h"
#include "mailstore/store_bytes.h"

namespace quillet::mailstore {

// The last step of a salvaging Open: collects every chunk of the chains of `messages` (those the
// tree reached; a chain is followed until it breaks, its damage left to whoever reads it), scans
// the store for the chains they do not hold, and appends what it recovers to `messages` and what
// it meets on the way to `damages`.
void AppendRecoveredMessages(const StoreBytes& bytes, std::vector<MessageEntry>& messages,
                             std::vector<StoreDamage>& damages);

}  // namespace quillet::mailstore
