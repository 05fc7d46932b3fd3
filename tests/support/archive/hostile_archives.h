#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillet::testing {

// One hostile backup file of the generated corpus (tests/data/hostile/README.md lists them).
// Each is a backup of the messages item ("Inbox.dbx") with one attack added: a sound reader
// refuses to open it, or opens it and fails to read the entry the attack is in.
struct HostileArchive {
    std::string file;    // the file name in the folder the corpus was written to
    std::string attack;  // what it tries, for failure messages
    // Whether opening is refused; when false, reading `unreadableEntry` fails instead.
    bool refusedOnOpen = true;
    // A piece of text the refusal's reason holds (empty: any reason).
    std::string reasonPart{};
    std::string unreadableEntry{};
};

// Writes every hostile archive of the corpus into `folder` (which must exist) and returns them
// in a fixed order. Fails the current test when one cannot be written.
std::vector<HostileArchive> WriteHostileArchives(const std::filesystem::path& folder);

}  // namespace quillet::testing
