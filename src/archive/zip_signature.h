#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace quillet::archive {

// Whether `start` (a file's first bytes) begins as a zip archive: with a local file header, or,
// for an archive without entries, with its end-of-central-directory record.
inline bool StartsAsZip(std::span<const std::byte> start) {
    constexpr std::array<unsigned char, 2> kMark = {'P', 'K'};
    if (start.size() < 4 || static_cast<unsigned char>(start[0]) != kMark[0] ||
        static_cast<unsigned char>(start[1]) != kMark[1]) {
        return false;
    }
    const auto third = static_cast<unsigned char>(start[2]);
    const auto fourth = static_cast<unsigned char>(start[3]);
    return (third == 3 && fourth == 4) || (third == 5 && fourth == 6);
}

}  // namespace quillet::archive
