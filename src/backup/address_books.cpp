#include "backup/address_books.h"

#include "archive/sealed_entry.h"
#include "backup/backup_item.h"
#include "backup/oe_locations.h"

namespace quillet {

Result<AddressBookSource> SystemAddressBook(system::WindowsSystem& system) {
    const std::optional<std::string> windowsPath = AddressBookPath(system.modReg());
    if (!windowsPath) {
        return Status::Error(
            std::string("the registry names no address book file (") + kAddressBookKey + ")",
            ErrorKind::kNotFound);
    }
    const auto hostPath = system.paths().toHost(*windowsPath);
    std::error_code error;
    if (!hostPath || !std::filesystem::is_regular_file(*hostPath, error)) {
        return Status::Error("the address book " + *windowsPath + " does not exist",
                             ErrorKind::kNotFound);
    }
    if (Status confined = system.confineRead(*hostPath); !confined) return confined;
    auto bytes = wab::OpenBookFile(*hostPath);
    if (!bytes) return bytes.status();
    return AddressBookSource{std::move(bytes.value()), "address book " + *windowsPath};
}

Result<AddressBookSource> BackupAddressBook(OpenedBackup& backup,
                                            const std::filesystem::path& workFolder) {
    const std::string entry = backup.entryNames(kAddressBook);
    if (!backup.holds(kAddressBook) || entry.empty()) {
        return Status::Error(
            "the backup " + backup.file().filename().string() + " holds no address book",
            ErrorKind::kNotFound);
    }
    auto bytes =
        archive::ReadEntrySealed(backup.archive(), entry, workFolder, wab::kBookWindowBytes);
    if (!bytes) return bytes.status();
    return AddressBookSource{std::move(bytes.value()),
                             "backup " + backup.file().filename().string()};
}

Result<AddressBookSource> AddressBookFile(const std::filesystem::path& file) {
    auto bytes = wab::OpenBookFile(file);
    if (!bytes) return bytes.status();
    return AddressBookSource{std::move(bytes.value()), "address book " + file.string()};
}

}  // namespace quillet
