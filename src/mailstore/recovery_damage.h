#pragma once

#include <string_view>

#include "mailstore/message_store.h"

namespace quillet::mailstore {

// What the recovery scan notes about a chain it leaves out. Such chains are leftovers of deleted
// or rewritten messages, not damage to the messages the store holds, so the health check does not
// count them.
inline constexpr char kRecoveredChainBreaksOff[] = "recovered chunk chain breaks off";
inline constexpr char kRecoveredChainLoops[] = "recovered chunk chain loops";
inline constexpr char kRecoveredChainMixesKinds[] =
    "recovered chunk chain mixes live and deleted chunks";
inline constexpr char kRecoveredChainJoinsAnother[] =
    "recovered chunk chain joins another message's chain";

inline bool IsRecoveryNote(const StoreDamage& damage) {
    for (std::string_view note : {kRecoveredChainBreaksOff, kRecoveredChainLoops,
                                  kRecoveredChainMixesKinds, kRecoveredChainJoinsAnother}) {
        if (damage.what == note) return true;
    }
    return false;
}

}  // namespace quillet::mailstore
