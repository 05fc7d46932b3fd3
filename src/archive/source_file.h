#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <span>

#include "platform/status.h"

namespace quillet::archive {

// Why reading a file for its entry failed when it is no longer the file that was added: another
// file in its place, or its size or modification time changed.
inline constexpr char kSourceChangedReason[] = "The file changed after it was added to the archive";

// A file added to an archive to be written, as it was when it was added: the archive is written
// later, and a file that changed in between (or while it is read) must not go into it half old,
// half new.
struct SourceFile {
    std::filesystem::path path;
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t size = 0;
    timespec modified{};

    // What `path` is now (following symbolic links); fails, naming the path, when it cannot be
    // read or is not a regular file.
    static Result<SourceFile> Gather(const std::filesystem::path& path);
};

// The file of a SourceFile, opened for the reading of one part of it and closed when destroyed:
// files are opened only while their data is read, so that writing an archive of any number of
// files holds only a few open at a time. Separate objects may be used on separate threads.
class SourceReader {
  public:
    explicit SourceReader(const SourceFile& file) : m_file(file) {}
    ~SourceReader();
    SourceReader(const SourceReader&) = delete;
    SourceReader& operator=(const SourceReader&) = delete;

    // Opens the file and checks that it is still the one added (kSourceChangedReason when not).
    Status open();

    // Reads exactly `out.size()` bytes from `offset`, continuing after interrupted and partial
    // reads; fails with the system's reason, or when the file ends first. After open().
    Status readAt(std::uint64_t offset, std::span<std::byte> out);

    // Checks again that the file is the one added, unchanged (kSourceChangedReason when not): a
    // reader calls it after reading what must be consistent. After open().
    Status checkUnchanged() const;

  private:
    const SourceFile& m_file;
    int m_fd = -1;
};

}  // namespace quillet::archive
