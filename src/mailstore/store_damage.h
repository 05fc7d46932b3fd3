#pragma once

#include <string>

#include "mailstore/message_store.h"
#include "mailstore/store_bytes.h"
#include "platform/status.h"

namespace quillet::mailstore {

// The damage that a failure made by DamageAt for `store` names: its offset, and what is wrong
// (the store's name left out). Any other failure (a read error) is kept whole, at offset 0.
StoreDamage DamageFrom(const StoreBytes& store, const Status& failure);

// A summary's line for `damage` of the store `store`: "<store>: <what> at offset 0x<hex>".
std::string DamageNote(const std::string& store, const StoreDamage& damage);

}  // namespace quillet::mailstore
