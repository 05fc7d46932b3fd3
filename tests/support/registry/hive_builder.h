#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillet::testing {

// One value to put into a test hive: name ("" for the default value), type and stored bytes.
struct HiveValue {
    std::string name;
    std::uint32_t type;
    std::string data;
};

// One key of a test hive: its path below the root ("A\\B") and its values.
struct HiveKey {
    std::string path;
    std::vector<HiveValue> values;
};

// Writes a registry hive file with these keys (parents are made as needed), built with libhivex
// on a copy of the public minimal hive in examples/hives. Fails the current test when it cannot.
void WriteHive(const std::filesystem::path& file, const std::vector<HiveKey>& keys);

// UTF-16LE bytes of UTF-8 text with its terminating zero, as text values are stored.
std::string Utf16Z(const std::string& text);

}  // namespace quillet::testing
