#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quillet::testing {

// A fresh folder under the system's temporary folder, removed with everything in it on
// destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(std::string_view name) const { return m_path / name; }

  private:
    std::filesystem::path m_path;
};

std::string ReadFileBytes(const std::filesystem::path& file);
void WriteFileBytes(const std::filesystem::path& file, std::string_view bytes);

// The folder of shared test fixtures (tests/data).
std::filesystem::path TestDataDir();

}  // namespace quillet::testing
