#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/cli_context.h"
#include "wab/book_bytes.h"

namespace quillet::cli {

// The address book `contacts` and `check` read: the one the system's registry names (no PATH),
// or PATH: a backup file's address book entry, or a .wab file. What PATH is its content decides,
// never its name. A backup's entry is read into a sealed scratch file in a private work folder, so
// that nothing of it reaches the disk in the clear; the choice keeps that alive.
class AddressBookChoice {
  public:
    // Null, with the reason written to `err`: the system or the backup cannot be opened, a wrong
    // password, a registry or a backup that names no address book, a file that cannot be read,
    // --password-file with a .wab file.
    static std::unique_ptr<AddressBookChoice> Open(const std::optional<std::string>& path,
                                                   const std::optional<std::string>& passwordFile,
                                                   CliContext& context, std::ostream& err);
    virtual ~AddressBookChoice() = default;

    const wab::BookBytes& bytes() const { return *m_bytes; }
    // "address book <file>", "backup <file>".
    const std::string& description() const { return m_description; }

  protected:
    AddressBookChoice() = default;
    std::unique_ptr<wab::BookBytes> m_bytes;
    std::string m_description;
};

// Whether `path` is a regular file that begins as an address book does (its magic).
bool StartsAsAddressBook(const std::filesystem::path& path);

}  // namespace quillet::cli
