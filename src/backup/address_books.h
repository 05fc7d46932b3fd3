#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "backup/opened_backup.h"
#include "platform/status.h"
#include "system/windows_system.h"
#include "wab/book_bytes.h"

namespace quillet {

// An address book to read, and how a report names where it came from.
struct AddressBookSource {
    std::unique_ptr<wab::BookBytes> bytes;
    std::string description;  // "address book <windows path>", "backup <file name>", ...
};

// The address book the registry of `system` names (Wab File Name), read in place and never
// written. Fails with kNotFound when the registry names none or the file does not exist, or with
// the system's refusal to read outside its disk.
Result<AddressBookSource> SystemAddressBook(system::WindowsSystem& system);

// The address book a backup holds, read once into a sealed scratch file in `workFolder` (nothing
// of it in the clear on disk). `backup` must be open; the work folder must outlive the source.
// Fails with kNotFound when the backup holds no address book.
Result<AddressBookSource> BackupAddressBook(OpenedBackup& backup,
                                            const std::filesystem::path& workFolder);

// An address book file, read in place.
Result<AddressBookSource> AddressBookFile(const std::filesystem::path& file);

}  // namespace quillet
