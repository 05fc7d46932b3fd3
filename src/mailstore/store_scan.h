#pragma once

#include <cstdint>
#include <vector>

#include "mailstore/message_store.h"
#include "mailstore/store_bytes.h"

namespace quillet::mailstore {

// The recovery scan of a salvaging read: reads the store once from start to end (streamed, in
// large blocks) looking for chunk signatures, live (marker, 0x200, used, next) and deleted
// (marker, 0x1FC, 0x210, next, previous), and assembles them into chains. Every chain whose head
// is not among `reachedChunks` (the first chunks of the messages the tree reached, and every chunk
// of their chains) and that is sound from head to end is returned as a message of origin
// kLostChain or kDeletedChain, in file order. Memory: a few bytes per chunk found.
//
// Damage met on the way (a chain that breaks off, loops or mixes live and deleted chunks) is
// added to `damages` and that chain is left out.
std::vector<MessageEntry> ScanForLostMessages(const StoreBytes& bytes,
                                              const std::vector<std::uint32_t>& reachedChunks,
                                              std::vector<StoreDamage>& damages);

// Streams a recovered message of origin kDeletedChain: the data bytes of each deleted chunk from
// 0x14 (the four bytes the store overwrote are lost), the last chunk's bytes up to its first NUL.
Status StreamDeletedChain(const StoreBytes& bytes, std::uint32_t first,
                          const std::function<Status(std::span<const std::byte>)>& sink);

}  // namespace quillet::mailstore
