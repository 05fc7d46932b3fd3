#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillet::testing {

// `size` bytes that no compressor can shrink (xorshift), the same for the same seed.
inline std::string NoiseBytes(std::size_t size, std::uint64_t seed = 0x9E3779B97F4A7C15u) {
    std::string bytes(size, '\0');
    std::uint64_t state = seed | 1;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<char>(state >> 56);
    }
    return bytes;
}

}  // namespace quillet::testing
