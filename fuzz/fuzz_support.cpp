#include "fuzz_support.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

namespace quillet::fuzz {
namespace {

class Scratch {
  public:
    Scratch() {
        std::error_code error;
        std::string pattern = (std::filesystem::temp_directory_path(error) / "quillet-fuzz-XXXXXX");
        if (::mkdtemp(pattern.data()) == nullptr) Fail("cannot make a scratch folder");
        m_path = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& path() const { return m_path; }

  private:
    std::filesystem::path m_path;
};

}  // namespace

const std::filesystem::path& ScratchFolder() {
    static const Scratch scratch;
    return scratch.path();
}

std::filesystem::path WriteScratchFile(std::string_view name, std::string_view bytes) {
    const std::filesystem::path file = ScratchFolder() / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) Fail("cannot write the scratch file " + file.string());
    return file;
}

std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "FUZZ PROPERTY BROKEN: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace quillet::fuzz
