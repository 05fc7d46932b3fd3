#include "backup/oe_locations.h"

#include "backup/identity_list.h"
#include "system/system_info.h"

namespace quillet {

std::string OutlookExpressKey(const std::string& identityKey) {
    return std::string(kIdentitiesKey) + "\\" + identityKey +
           "\\Software\\Microsoft\\Outlook Express";
}

std::optional<std::string> VersionKey(registry::ModReg& modReg, const std::string& identityKey) {
    const std::string outlookExpress = OutlookExpressKey(identityKey);
    const registry::SubkeyList versions = modReg.EnumSubkeys(outlookExpress);
    if (versions.empty()) return std::nullopt;
    return outlookExpress + "\\" + versions[0];
}

std::string IdentityAccountsKey(const std::string& identityKey) {
    return std::string(kIdentitiesKey) + "\\" + identityKey +
           "\\Software\\Microsoft\\Internet Account Manager\\Accounts";
}

std::optional<std::string> AddressBookPath(registry::ModReg& modReg) {
    std::string path;
    if (!modReg.ReadDefaultValue(kAddressBookKey, path) || path.empty()) return std::nullopt;
    return path;
}

std::optional<std::string> StoreFolder(registry::ModReg& modReg, const std::string& identityKey,
                                       const std::string& userProfile) {
    const std::optional<std::string> versionKey = VersionKey(modReg, identityKey);
    if (!versionKey) return std::nullopt;
    const registry::ValueList values = modReg.EnumValues(*versionKey);
    const std::string* storeRoot = values.findText("Store Root");
    if (storeRoot == nullptr) return std::nullopt;
    return system::ExpandUserProfile(*storeRoot, userProfile);
}

std::string StationeryFolder(registry::ModReg& modReg) {
    std::string commonFiles = modReg.ReadStringValue(kCurrentVersionKey, "CommonFilesDir");
    commonFiles = commonFiles.substr(0, commonFiles.find('\0'));
    const std::size_t first = commonFiles.find_first_not_of(' ');
    const std::size_t last = commonFiles.find_last_not_of(' ');
    commonFiles = first == std::string::npos ? "" : commonFiles.substr(first, last - first + 1);
    return commonFiles + "\\Microsoft Shared\\Stationery";
}

std::optional<std::string> ItemKey(registry::ModReg& modReg, const ItemDescription& item,
                                   const std::string& identityKey) {
    if (item.place == ItemPlace::kAccountsKey) {
        const std::string own = IdentityAccountsKey(identityKey);
        return modReg.KeyExists(own) ? own : std::string(kSharedAccountsKey);
    }
    const std::optional<std::string> versionKey = VersionKey(modReg, identityKey);
    if (!versionKey) return std::nullopt;
    return *versionKey + "\\" + std::string(item.versionSubkey);
}

std::optional<std::string> ItemFolder(registry::ModReg& modReg, const ItemDescription& item,
                                      const std::string& identityKey,
                                      const std::string& userProfile) {
    if (item.place == ItemPlace::kStationeryFolder) return StationeryFolder(modReg);
    return StoreFolder(modReg, identityKey, userProfile);
}

std::string BaseName(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

}  // namespace quillet
