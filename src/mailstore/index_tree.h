#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "mailstore/message_store.h"
#include "mailstore/store_bytes.h"
#include "platform/status.h"

namespace quillet::mailstore {

// Walks the index tree of a store (the messages of a message store, the folders of Folders.dbx)
// from `root` (0: an empty tree) and hands every value (an info object's offset) to `visit`, in
// the tree's order. Iterative: the stack lives on the heap, a few words per level.
//
// Every node is checked: inside the store, marker equal to its offset, parent equal to the node
// that led to it, at most kTreeNodeMaxEntries entries, and its subtree count exact (the leftmost
// subtree's count, plus its entries, plus its children's counts); the whole tree must hold
// `expectedValues` values. No more nodes are visited than the store can hold, so no tree ends in
// an endless walk.
//
// Strict: the first damage is the failure (kCorrupt, naming the store and the offset). Salvage:
// each damage is added to `damages`, the damaged node's subtree is skipped and the walk goes on.
// A failure of `visit` of kind kCorrupt is treated as damage the same way; any other failure of
// `visit` or of reading the store ends the walk with it.
//
// `counted`, when given, receives the values the tree holds by its own counts: those walked, plus
// what the nodes record for the subtrees that could not be walked (0 when the root itself could not
// be read).
Status WalkIndexTree(const StoreBytes& bytes, std::uint32_t root, std::uint32_t expectedValues,
                     ReadMode mode, std::vector<StoreDamage>& damages,
                     const std::function<Status(std::uint32_t value)>& visit,
                     std::uint64_t* counted = nullptr);

// In a salvaging read, records a kCorrupt failure of `bytes` (as DamageAt words it) as damage and
// turns it into success; returns every other failure, and every failure in a strict read, as it is.
Status NoteDamage(const StoreBytes& bytes, const Status& status, ReadMode mode,
                  std::vector<StoreDamage>& damages);

}  // namespace quillet::mailstore
