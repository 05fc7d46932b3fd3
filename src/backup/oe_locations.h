#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "backup/backup_item.h"
#include "registry/mod_reg.h"
#include "system/windows_path_mapper.h"

namespace quillet {

// Where Outlook Express keeps an identity's data, as the registry of the prefix says.

inline constexpr char kSharedAccountsKey[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts";
inline constexpr char kAddressBookKey[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name";
inline constexpr char kCurrentVersionKey[] =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// HKEY_CURRENT_USER\Identities\<id>\Software\Microsoft\Outlook Express
std::string OutlookExpressKey(const std::string& identityKey);

// The Outlook Express key + "\" + its first subkey; nullopt when it has none.
std::optional<std::string> VersionKey(registry::ModReg& modReg, const std::string& identityKey);

// The identity's own accounts key.
std::string IdentityAccountsKey(const std::string& identityKey);

// The address book file's Windows path (the unnamed value of the address book key); nullopt
// when it cannot be read or is empty.
std::optional<std::string> AddressBookPath(registry::ModReg& modReg);

// The message store folder's Windows path: the version key's `Store Root` with every
// "%UserProfile%" (that spelling only) replaced by `userProfile`. nullopt when the identity has no
// version key or no Store Root.
std::optional<std::string> StoreFolder(registry::ModReg& modReg, const std::string& identityKey,
                                       const std::string& userProfile);

// The stationery folder's Windows path: CommonFilesDir, cut at a NUL and trimmed, +
// "\Microsoft Shared\Stationery" (built from the text "Error" when CommonFilesDir is missing).
std::string StationeryFolder(registry::ModReg& modReg);

// The key whose tree a key-tree item holds: for the accounts, the identity's accounts key when it
// exists, else the shared one (which need not exist either); for a version subkey, that subkey of
// the identity's version key (which need not exist). nullopt when the identity has no version key.
std::optional<std::string> ItemKey(registry::ModReg& modReg, const ItemDescription& item,
                                   const std::string& identityKey);

// The Windows path of a folder item's folder; nullopt when the registry names none (the message
// store folder of an identity without a version key or Store Root).
std::optional<std::string> ItemFolder(registry::ModReg& modReg, const ItemDescription& item,
                                      const std::string& identityKey,
                                      const std::string& userProfile);

// The base name of a Windows or host path: the text after its last "\" or "/".
std::string BaseName(const std::string& path);

}  // namespace quillet
