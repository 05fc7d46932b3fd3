#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillet::testing {

// One entry of a generated zip archive: `head`, then `pattern` repeated (the last copy cut short)
// up to `size` bytes in all. The content is made while the archive is written, never held whole,
// so an entry may inflate to gigabytes from an archive of a few megabytes.
struct GeneratedEntry {
    std::string name;
    std::string head;
    std::string pattern;
    std::uint64_t size = 0;  // at least head.size(); head.size() alone when `pattern` is empty
    bool deflated = true;    // else stored as it is

    // An entry holding exactly `content`.
    static GeneratedEntry Holding(std::string name, std::string content);
};

// Writes a plain (unprotected) zip archive of these entries in order, deflated at the fastest
// level or stored. Returns false when it cannot be written.
bool WriteGeneratedArchive(const std::filesystem::path& file,
                           const std::vector<GeneratedEntry>& entries);

}  // namespace quillet::testing
