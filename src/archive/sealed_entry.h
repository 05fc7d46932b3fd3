#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "platform/byte_source.h"

namespace quillet::archive {

// The entry `entry` of an open `archive`, read once (authentication and CRC checked as the archive
// reads) into a sealed scratch file in `workFolder` (unlinked, enciphered with a key held only in
// memory) and served from there through a window of `windowSize` bytes, so that a reader can take
// it apart at random offsets while nothing of it reaches the disk in the clear. The source is
// named by the entry. The work folder must outlive the source.
//
// Fails with the scratch file's failure, kind kept (a full disk), or with kCorrupt naming the
// entry when the archive cannot give it.
Result<std::unique_ptr<ByteSource>> ReadEntrySealed(Archive& archive, const std::string& entry,
                                                    const std::filesystem::path& workFolder,
                                                    std::size_t windowSize);

}  // namespace quillet::archive
