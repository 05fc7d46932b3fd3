#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillet::system {

// Maps Windows paths of a Wine prefix ("C:\users\me\file.txt") to host paths and back.
// A drive letter stands for the entry `<prefix>/dosdevices/<letter>:` (lower case, usually a
// symbolic link such as `../drive_c`). Components after the drive are matched without regard to
// case against the names that exist on disk, as Wine does (see case_fold.h for what "case" covers);
// a component that does not exist is kept as written, so a file about to be created maps too.
// Reads the file system on every call and caches nothing; safe from any thread.
class WindowsPathMapper {
  public:
    explicit WindowsPathMapper(std::filesystem::path prefix);

    // The paths of a Windows installation on a mounted disk: drive C: is the folder `root`
    // (the one that holds the Windows folder), and there is no other drive.
    static WindowsPathMapper ForDisk(std::filesystem::path root);

    // The host path for an absolute Windows path `X:\...` (either `\` or `/` separates; repeated
    // separators collapse; "." components are dropped; ".." goes up one component).
    // Returns nullopt for a relative or drive-relative path ("dir\f", "\f", "C:f"), a UNC or
    // device path ("\\server\share", "\\?\C:\"), a drive the prefix has no entry for, a ".."
    // that would climb above the drive's root, and text holding a NUL character.
    // The result goes through the drive's link target (`<prefix>/drive_c/...`), lexically
    // normalised.
    std::optional<std::filesystem::path> toHost(std::string_view windowsPath) const;

    // The Windows path (`C:\users\me`, upper-case drive letter, backslashes) of an absolute host
    // path that lies under one of the prefix's drives; when several drives hold it (Z: is
    // usually the whole host), the drive whose folder is the longest match wins. A path equal to
    // a drive's folder gives `C:\`. Returns nullopt for a relative path, a path under no drive,
    // or a path with a component that holds a backslash.
    std::optional<std::string> toWindows(const std::filesystem::path& hostPath) const;

    // The host folder a drive letter stands for, or nullopt when the prefix has no such drive or
    // its link leads nowhere.
    std::optional<std::filesystem::path> driveFolder(char letter) const;

    // The prefix, or the disk's root for ForDisk.
    const std::filesystem::path& prefix() const { return m_prefix; }

  private:
    std::filesystem::path m_prefix;
    bool m_disk = false;
};

}  // namespace quillet::system
