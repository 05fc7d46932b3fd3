#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillet::testing {

// One property of a record: its tag and its values as the file holds them (one for a single
// value, any number for a multi-valued tag).
struct WabProperty {
    std::uint32_t tag = 0;
    std::vector<std::string> values;
};

// A UTF-16 text property (UTF-8 given), with its terminator; a list of them; the group members
// property naming SMTP addresses.
WabProperty TextProperty(std::uint16_t id, const std::string& text);
WabProperty TextListProperty(std::uint16_t id, const std::vector<std::string>& texts);
WabProperty GroupMembersProperty(const std::vector<std::string>& addresses);

struct WabRecord {
    std::uint32_t id = 0;
    std::vector<WabProperty> properties;
    bool live = true;     // a deleted record keeps its bytes, its first word 0
    bool indexed = true;  // whether the index table names it (a deleted one never is)
};

// A .wab file as bytes, with where its parts lie (for tests that damage them).
struct BuiltWab {
    std::string bytes;
    std::uint32_t indexOffset = 0;
    std::vector<std::uint32_t> recordOffsets;  // in the order the records were given
};

// Writes the header, the index table, a text table of display names, then the records.
BuiltWab BuildWab(const std::vector<WabRecord>& records);

// Overwrites the 32-bit word at `offset` of `bytes`.
void PutWord(std::string& bytes, std::uint32_t offset, std::uint32_t value);

}  // namespace quillet::testing
