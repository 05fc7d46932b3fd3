#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/status.h"

namespace quillet::bench {

// What WriteKeyTreeText wrote.
struct KeyTreeText {
    std::uint64_t bytes = 0;
    std::size_t keys = 0;  // key lines, the root line included
    std::size_t values = 0;
};

// Writes a registry text file (CR LF lines) holding `values` values spread evenly over groups of
// twenty subkeys of one hundred values each: about sixty per cent texts (addresses, folder paths,
// sentences, a few non-ASCII), a quarter signed numbers, the rest binary data of typical sizes.
// The content depends only on `values`; keys are in the order an export lists them.
Result<KeyTreeText> WriteKeyTreeText(const std::filesystem::path& file, std::size_t values);

// Writes a registry text file (CR LF lines) holding the root key line and `siblings` subkeys of
// it, Folder000000 and on, listed from the last to the first, each with one number value.
Result<KeyTreeText> WriteReverseSiblingsText(const std::filesystem::path& file,
                                             std::size_t siblings);

// What WriteLargeUserReg wrote, and where the block of the key chosen to be changed lies.
struct LargeUserReg {
    std::uint64_t bytes = 0;
    std::size_t keys = 0;
    std::size_t values = 0;
    std::string someKeyPath;     // a key read to force the load (registry path, single '\')
    std::string changedKeyPath;  // the key in the middle of the file
    std::string changedValueName;
    std::uint64_t changedBlockStart = 0;  // offset of its '[' line
    std::uint64_t changedBlockEnd = 0;    // offset just past its last line
};

// Writes a user.reg in Wine's format of at least `targetBytes` bytes: key blocks with time lines,
// strings with escapes, str(2) texts, dwords, and binary values of up to several hundred bytes
// continued over lines the way Wine breaks them. The content depends only on `targetBytes`.
Result<LargeUserReg> WriteLargeUserReg(const std::filesystem::path& file,
                                       std::uint64_t targetBytes);

// Writes a user.reg with the header Wine writes and no keys.
Status WriteEmptyUserReg(const std::filesystem::path& file);

// Length of the longest common start and of the longest common end of two files, read in
// pieces so that large files do not count towards the process's memory.
struct FileOverlap {
    std::uint64_t sizeA = 0;
    std::uint64_t sizeB = 0;
    std::uint64_t commonPrefix = 0;
    std::uint64_t commonSuffix = 0;
    bool identical() const { return sizeA == sizeB && commonPrefix == sizeA; }
};
Result<FileOverlap> CompareFiles(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace quillet::bench
