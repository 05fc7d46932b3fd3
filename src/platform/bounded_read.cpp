#include "platform/bounded_read.h"

#include <fstream>

namespace quillet {

Result<std::string> ReadFileUpTo(const std::filesystem::path& file, std::uint64_t limit) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return Status::Error("cannot open " + file.string());
    std::string bytes;
    char piece[64 * 1024];
    while (bytes.size() <= limit && in) {
        in.read(piece, sizeof piece);
        bytes.append(piece, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) return Status::Error("cannot read " + file.string());
    return bytes;
}

}  // namespace quillet
