#include "backup/item_availability.h"

#include <filesystem>
#include <system_error>

#include "backup/oe_locations.h"

namespace quillet {
namespace {

bool AddressBookAvailable(registry::ModReg& modReg, const system::WindowsPathMapper& paths) {
    std::string addressBook;
    if (!modReg.ReadDefaultValue(kAddressBookKey, addressBook)) return true;
    if (addressBook.empty()) return false;
    const auto file = paths.toHost(addressBook);
    std::error_code error;
    return file && std::filesystem::is_regular_file(*file, error);
}

bool FolderHoldsAFile(const system::WindowsPathMapper& paths, const std::string& windowsFolder) {
    const auto folder = paths.toHost(windowsFolder);
    if (!folder) return false;
    std::error_code error;
    for (std::filesystem::directory_iterator it(*folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_regular_file(error)) return true;
    }
    return false;
}

}  // namespace

ItemMask ItemAvailability(registry::ModReg& modReg, const system::WindowsPathMapper& paths,
                          const std::string& identityKey) {
    ItemMask available{};
    for (const ItemDescription& item : kItems) {
        switch (item.place) {
            case ItemPlace::kAccountsKey:
                available[item.index] = modReg.KeyExists(*ItemKey(modReg, item, identityKey));
                break;
            case ItemPlace::kAddressBookFile:
                available[item.index] = AddressBookAvailable(modReg, paths);
                break;
            case ItemPlace::kStationeryFolder:
                available[item.index] = FolderHoldsAFile(paths, StationeryFolder(modReg));
                break;
            case ItemPlace::kVersionSubkey:
            case ItemPlace::kMessageStoreFolder:
                available[item.index] = true;
                break;
        }
    }
    return available;
}

}  // namespace quillet
