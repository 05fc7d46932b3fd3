#include "system/windows_path_mapper.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "platform/case_fold.h"

namespace quillet::system {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// "/a/b/" lexically normalises to "/a/b/"; drop the empty last element so that paths compare
// element by element.
std::filesystem::path WithoutTrailingSeparator(std::filesystem::path path) {
    path = path.lexically_normal();
    if (!path.has_filename() && path.has_relative_path()) path = path.parent_path();
    return path;
}

// The name under which `component` exists in `folder`: the same name when it exists as written,
// else an entry equal to it without regard to case (the smallest such name, so that the choice
// does not depend on directory order), else nullopt.
std::optional<std::string> FindEntry(const std::filesystem::path& folder,
                                     const std::string& component) {
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(folder / component, error))) {
        return component;
    }
    std::optional<std::string> found;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return std::nullopt;
    for (auto it = std::filesystem::begin(entries); it != std::filesystem::end(entries);
         it.increment(error)) {
        if (error) break;
        const std::string name = it->path().filename().string();
        if (EqualsIgnoringCase(name, component) && (!found || name < *found)) found = name;
    }
    return found;
}

// How many elements of `path` a drive folder covers when `path` lies within it, else 0.
size_t MatchedElements(const std::filesystem::path& folder, const std::filesystem::path& path) {
    auto folderIt = folder.begin();
    auto pathIt = path.begin();
    size_t count = 0;
    for (; folderIt != folder.end(); ++folderIt, ++pathIt, ++count) {
        if (pathIt == path.end() || *pathIt != *folderIt) return 0;
    }
    return count;
}

}  // namespace

WindowsPathMapper::WindowsPathMapper(std::filesystem::path prefix) : m_prefix(std::move(prefix)) {}

WindowsPathMapper WindowsPathMapper::ForDisk(std::filesystem::path root) {
    WindowsPathMapper mapper(std::move(root));
    mapper.m_disk = true;
    return mapper;
}

std::optional<std::filesystem::path> WindowsPathMapper::driveFolder(char letter) const {
    if (!IsAsciiLetter(letter)) return std::nullopt;
    if (m_disk) {
        std::error_code error;
        if (AsciiLower(letter) != 'c' || !std::filesystem::is_directory(m_prefix, error)) {
            return std::nullopt;
        }
        return WithoutTrailingSeparator(m_prefix);
    }
    const std::filesystem::path entry =
        m_prefix / "dosdevices" / (std::string(1, AsciiLower(letter)) + ":");
    std::error_code error;
    const auto linkState = std::filesystem::symlink_status(entry, error);
    if (!std::filesystem::exists(linkState)) return std::nullopt;
    if (!std::filesystem::is_directory(entry, error)) return std::nullopt;
    if (!std::filesystem::is_symlink(linkState)) return WithoutTrailingSeparator(entry);

    const std::filesystem::path target = std::filesystem::read_symlink(entry, error);
    if (error) return std::nullopt;
    std::filesystem::path folder =
        WithoutTrailingSeparator(target.is_absolute() ? target : entry.parent_path() / target);
    // Resolving ".." by text is wrong when dosdevices is itself a link; fall back to the real
    // location in that case.
    if (!std::filesystem::equivalent(folder, entry, error) || error) {
        folder = std::filesystem::canonical(entry, error);
        if (error) return std::nullopt;
    }
    return folder;
}

std::optional<std::filesystem::path> WindowsPathMapper::toHost(std::string_view windowsPath) const {
    if (windowsPath.find('\0') != std::string_view::npos) return std::nullopt;
    // Only "X:\..." is absolute; "\\server", "\\?\", "\dir", "C:dir" and "dir" are not.
    if (windowsPath.size() < 3 || !IsAsciiLetter(windowsPath[0]) || windowsPath[1] != ':' ||
        !IsSeparator(windowsPath[2])) {
        return std::nullopt;
    }
    const std::optional<std::filesystem::path> root = driveFolder(windowsPath[0]);
    if (!root) return std::nullopt;

    std::vector<std::string> components;
    size_t pos = 2;
    while (pos < windowsPath.size()) {
        while (pos < windowsPath.size() && IsSeparator(windowsPath[pos])) ++pos;
        size_t end = pos;
        while (end < windowsPath.size() && !IsSeparator(windowsPath[end])) ++end;
        const std::string component(windowsPath.substr(pos, end - pos));
        pos = end;
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            if (components.empty()) return std::nullopt;
            components.pop_back();
            continue;
        }
        components.push_back(component);
    }

    std::filesystem::path host = *root;
    for (const std::string& component : components) {
        const std::optional<std::string> onDisk = FindEntry(host, component);
        host /= onDisk ? *onDisk : component;
    }
    return host;
}

std::optional<std::string> WindowsPathMapper::toWindows(
    const std::filesystem::path& hostPath) const {
    if (!hostPath.is_absolute()) return std::nullopt;
    std::vector<std::filesystem::path> forms{WithoutTrailingSeparator(hostPath)};
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(hostPath, error);
    if (!error && WithoutTrailingSeparator(resolved) != forms.front()) {
        forms.push_back(WithoutTrailingSeparator(resolved));
    }

    char bestDrive = 0;
    size_t bestLength = 0;
    std::filesystem::path bestForm;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const std::optional<std::filesystem::path> folder = driveFolder(letter);
        if (!folder) continue;
        std::vector<std::filesystem::path> folders{*folder};
        const std::filesystem::path real = std::filesystem::canonical(*folder, error);
        if (!error && real != *folder) folders.push_back(real);
        for (const auto& driveFolder : folders) {
            for (const auto& form : forms) {
                const size_t length = MatchedElements(driveFolder, form);
                if (length > bestLength) {
                    bestDrive = letter;
                    bestLength = length;
                    bestForm = form;
                }
            }
        }
    }
    if (bestDrive == 0) return std::nullopt;

    std::string windows{AsciiUpper(bestDrive), ':'};
    auto it = bestForm.begin();
    std::advance(it, static_cast<std::ptrdiff_t>(bestLength));
    if (it == bestForm.end()) return windows + "\\";
    for (; it != bestForm.end(); ++it) {
        const std::string component = it->string();
        if (component.find('\\') != std::string::npos) return std::nullopt;
        windows += '\\';
        windows += component;
    }
    return windows;
}

}  // namespace quillet::system
