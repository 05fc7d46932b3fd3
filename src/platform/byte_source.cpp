#include "platform/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillet {
namespace {

// A file read with pread.
class ByteFile : public WindowedByteSource {
  public:
    ByteFile(int descriptor, std::string name, std::uint64_t size, std::size_t windowSize)
        : WindowedByteSource(std::move(name), size, windowSize), m_descriptor(descriptor) {}
    ~ByteFile() override { ::close(m_descriptor); }

  protected:
    Status readExact(std::uint64_t offset, std::span<std::byte> out) const override {
        std::size_t done = 0;
        while (done < out.size()) {
            ssize_t got = ::pread(m_descriptor, out.data() + done, out.size() - done,
                                  static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return Status::Error(name() + ": cannot be read: " + std::strerror(errno));
            if (got == 0) return DamageAt(*this, offset + done, "the file ends early");
            done += static_cast<std::size_t>(got);
        }
        return Status::Ok();
    }

  private:
    int m_descriptor;
};

}  // namespace

WindowedByteSource::~WindowedByteSource() {
    volatile std::byte* bytes = m_window.data();
    for (std::size_t i = 0; i < m_window.size(); ++i) bytes[i] = std::byte{0};
}

Status WindowedByteSource::readAt(std::uint64_t offset, std::span<std::byte> out) const {
    if (offset > m_size || out.size() > m_size - offset) {
        return DamageAt(*this, offset, "a range that passes the end of the file");
    }
    // An empty range (an object without a body) may meet a window not yet filled.
    if (out.empty()) return Status::Ok();
    if (out.size() > m_windowSize) return readExact(offset, out);
    if (offset < m_windowStart || offset + out.size() > m_windowStart + m_windowFilled) {
        const std::uint64_t wanted = std::min<std::uint64_t>(m_windowSize, m_size - offset);
        m_window.resize(m_windowSize);
        m_windowFilled = 0;
        if (Status filled = readExact(offset, std::span(m_window.data(), wanted)); !filled) {
            return filled;
        }
        m_windowStart = offset;
        m_windowFilled = wanted;
    }
    std::memcpy(out.data(), m_window.data() + (offset - m_windowStart), out.size());
    return Status::Ok();
}

Result<std::unique_ptr<ByteSource>> OpenByteFile(const std::filesystem::path& file,
                                                 std::size_t windowSize) {
    int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        int error = errno;
        ErrorKind kind = error == ENOENT   ? ErrorKind::kNotFound
                         : error == EACCES ? ErrorKind::kAccessDenied
                                           : ErrorKind::kIo;
        return Status::Error(file.string() + " cannot be opened: " + std::strerror(error), kind);
    }
    struct stat facts {};
    if (::fstat(descriptor, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        ::close(descriptor);
        return Status::Error(file.string() + " is not a regular file", ErrorKind::kBadInput);
    }
    return std::unique_ptr<ByteSource>(
        std::make_unique<ByteFile>(descriptor, file.filename().string(),
                                   static_cast<std::uint64_t>(facts.st_size), windowSize));
}

Status DamageAt(const ByteSource& source, std::uint64_t offset, const std::string& what) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%llX", static_cast<unsigned long long>(offset));
    return Status::Error(source.name() + ": " + what + " at offset " + hex, ErrorKind::kCorrupt);
}

Result<std::uint32_t> ReadUint32(const ByteSource& source, std::uint64_t offset) {
    std::byte raw[4];
    if (Status read = source.readAt(offset, raw); !read) return read;
    return static_cast<std::uint32_t>(raw[0]) | static_cast<std::uint32_t>(raw[1]) << 8 |
           static_cast<std::uint32_t>(raw[2]) << 16 | static_cast<std::uint32_t>(raw[3]) << 24;
}

}  // namespace quillet
