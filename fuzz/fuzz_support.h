#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace quillet::fuzz {

// The input as text.
inline std::string_view InputText(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// A folder of this process's own under the temporary folder, made on first use and removed
// with everything in it when the process ends normally. For the readers that take a file.
const std::filesystem::path& ScratchFolder();

// Writes `bytes` to `name` in the scratch folder, replacing it, and returns its path. Ends the
// process when the file cannot be written: nothing can be learnt from the input then.
std::filesystem::path WriteScratchFile(std::string_view name, std::string_view bytes);

// The whole content of a file (empty when it cannot be read).
std::string ReadWholeFile(const std::filesystem::path& file);

// Ends the process with `what` on stderr: the input broke a rule the code promises. libFuzzer
// keeps the input as a crash.
[[noreturn]] void Fail(const std::string& what);

}  // namespace quillet::fuzz
