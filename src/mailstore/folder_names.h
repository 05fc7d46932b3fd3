#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace quillet::mailstore {

// The longest folder name an export writes, in bytes of UTF-8: room is left for " (n)", for
// ".sbd" and for the temporary names beside it within the 255 bytes a file name may have.
inline constexpr std::size_t kFolderNameLimit = 150;
// The name of a folder whose own name has nothing left that a file system can hold.
inline constexpr std::string_view kUnnamedFolder = "Folder";

// A folder's name made fit to be a file's or folder's name: "/", "\", control characters and the
// characters that change the direction of text (U+200E, U+200F, U+202A..U+202E, U+2066..U+2069)
// become "_"; blanks and dots at either end are dropped (so it is never "." or "..", nor hidden);
// it is cut to kFolderNameLimit bytes on a character's boundary; an empty result is
// kUnnamedFolder. Pure; safe from any thread.
std::string SafeFolderName(std::string_view name);

// Gives the folders of an export their names: safe (SafeFolderName) and unique among the folders
// that share a parent, compared without regard to case; a name already taken gets " (2)",
// " (3)"... The same folder asked for again gets the same name. With `subfolderSuffix` (".sbd" in
// the mbox layout, where a folder's subfolders go into "<name>.sbd") a name also takes the name
// with that suffix. Keys are the caller's: any number that tells a folder (and a parent) apart.
class FolderNamer {
  public:
    static constexpr std::uint64_t kTopLevel = ~std::uint64_t{0};

    explicit FolderNamer(std::string subfolderSuffix = {})
        : m_subfolderSuffix(std::move(subfolderSuffix)) {}

    const std::string& name(std::uint64_t parent, std::uint64_t folder, std::string_view wanted);

  private:
    bool taken(std::uint64_t parent, const std::string& name) const;

    std::string m_subfolderSuffix;
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> m_names;
    std::set<std::pair<std::uint64_t, std::string>> m_taken;  // folded names under each parent
};

}  // namespace quillet::mailstore
