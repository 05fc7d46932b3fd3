#pragma once

#include <filesystem>
#include <string>

namespace quillet::testing {

// The identities of the sample prefix that examples/make-sample-prefix.sh writes: the first has
// its own accounts key, the second not.
inline constexpr char kSampleMainIdentity[] = "{6F1D7A2C-4B3E-4D59-9A61-2C7E8F0B3D41}";
inline constexpr char kSampleZoeIdentity[] = "{B84E2F17-9C05-4A3D-8E72-5D1F6A0C9E28}";
inline constexpr char kSampleMainUserName[] = "Main Identity";
inline constexpr char kSampleZoeUserName[] = "Zo\xc3\xab \xc3\x85ngstr\xc3\xb6m";

// The identity the in-memory worlds (BackupWorld) hold data for, and its profile folder.
inline constexpr char kTestIdentity[] = "{0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}";
inline constexpr char kTestProfile[] = "C:\\users\\me";

// Writes the bundled sample prefix into `folder` (which must not exist or be empty).
bool MakeSamplePrefix(const std::filesystem::path& folder);

// HKEY_CURRENT_USER\Identities\<identity>\Software\Microsoft\Outlook Express\5.0 + `below`.
std::string SampleVersionKey(const std::string& identity, const std::string& below = "");
// The identity's own accounts key.
std::string SampleIdentityAccountsKey(const std::string& identity);

// Host paths inside a sample prefix.
std::filesystem::path SampleStoreFolder(const std::filesystem::path& prefix,
                                        const std::string& identity);
std::filesystem::path SampleAddressBookFolder(const std::filesystem::path& prefix);
std::filesystem::path SampleAddressBook(const std::filesystem::path& prefix);
std::filesystem::path SampleStationeryFolder(const std::filesystem::path& prefix);

}  // namespace quillet::testing
