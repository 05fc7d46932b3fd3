#pragma once

#include "mailstore/message_store.h"
#include "mailstore/store_bytes.h"
#include "platform/status.h"

namespace quillet::mailstore {

// Reads a store's file header: the store must be at least a header long and start with the magic
// bytes; the class id tells its kind (an unknown one is kUnknown, not a failure). Fails with
// kCorrupt naming the store and the offset, or with the StoreBytes' failure. The tree root and the
// deleted-message list are handed out unchecked: their readers check them.
Result<DbxHeader> ReadDbxHeader(const StoreBytes& bytes);

}  // namespace quillet::mailstore
