#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace quillet::registry {

// The time written as a key's modification time: 100 ns ticks since 1601 (a FILETIME).
using TickClock = std::function<std::uint64_t()>;

inline std::uint64_t SystemTicksNow() {
    constexpr std::uint64_t kTicks1601To1970 = 116444736000000000ULL;
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return kTicks1601To1970 +
           static_cast<std::uint64_t>(
               std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100);
}

}  // namespace quillet::registry
