#include "thunderbird/profiles_ini.h"

#include <cerrno>
#include <cstring>
#include <set>

#include "platform/bounded_read.h"
#include "platform/durable_file.h"

namespace quillet::thunderbird {
namespace {

// profiles.ini lists profiles in a few hundred bytes each; a larger file is none.
constexpr std::uint64_t kMaxProfilesIniBytes = 4 * 1024 * 1024;

bool HoldsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// The numbers N of the [ProfileN] sections of `text`.
std::set<unsigned long> ProfileNumbers(std::string_view text) {
    std::set<unsigned long> numbers;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.ends_with('\r')) line.remove_suffix(1);
        constexpr std::string_view kOpen = "[Profile";
        if (line.starts_with(kOpen) && line.ends_with(']') && line.size() > kOpen.size() + 1) {
            const std::string_view digits =
                line.substr(kOpen.size(), line.size() - kOpen.size() - 1);
            if (digits.size() <= 6 && digits.find_first_not_of("0123456789") == std::string::npos) {
                numbers.insert(std::stoul(std::string(digits)));
            }
        }
        start = end + 1;
    }
    return numbers;
}

}  // namespace

Result<std::string> ProfilesIniWithProfile(std::string_view current, const std::string& name,
                                           const std::filesystem::path& folder) {
    if (HoldsLineBreak(name) || HoldsLineBreak(folder.string())) {
        return Status::Error("a profile's name and folder cannot hold a line break",
                             ErrorKind::kBadInput);
    }
    std::string text(current);
    if (text.empty()) text = "[General]\nStartWithLastProfile=1\nVersion=2\n";
    if (!text.ends_with('\n')) text += '\n';
    const std::set<unsigned long> taken = ProfileNumbers(text);
    unsigned long number = 0;
    while (taken.contains(number)) ++number;
    text += "\n[Profile" + std::to_string(number) + "]\nName=" + name +
            "\nIsRelative=0\nPath=" + folder.string() + "\n";
    return text;
}

Status RegisterProfile(const std::filesystem::path& iniFile, const std::string& name,
                       const std::filesystem::path& folder, FileOperations& files) {
    std::string current;
    struct stat info {};
    if (files.status(iniFile, true, &info) == 0) {
        auto read = ReadFileUpTo(iniFile, kMaxProfilesIniBytes);
        if (!read) return read.status();
        if (read->size() > kMaxProfilesIniBytes) {
            return Status::Error(iniFile.string() +
                                     " is too large to be Thunderbird's list of "
                                     "profiles; it was left alone",
                                 ErrorKind::kCorrupt);
        }
        current = std::move(read.value());
    } else {
        const std::filesystem::path parent = iniFile.parent_path();
        if (files.status(parent, true, &info) != 0) {
            if (int error = files.makeFolder(parent, 0700); error != 0 && error != EEXIST) {
                return Status::Error("Cannot make " + parent.string() + ": " +
                                     std::strerror(error));
            }
        }
    }
    auto text = ProfilesIniWithProfile(current, name, folder);
    if (!text) return text.status();
    FileReplacement replacement(iniFile, files);
    if (Status begun = replacement.begin(); !begun) return begun;
    if (Status written = replacement.write(*text); !written) return written;
    return replacement.commit();
}

std::filesystem::path ProfilesIniIn(const std::filesystem::path& home) {
    return home / ".thunderbird" / "profiles.ini";
}

}  // namespace quillet::thunderbird
