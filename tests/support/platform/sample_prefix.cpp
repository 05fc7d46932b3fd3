#include "support/platform/sample_prefix.h"

#include "support/platform/child_process.h"

namespace quillet::testing {

bool MakeSamplePrefix(const std::filesystem::path& folder) {
    return RunProgram(
               {"/bin/bash", QUILLET_SOURCE_DIR "/examples/make-sample-prefix.sh", folder.string()})
               .exitCode == 0;
}

std::string SampleVersionKey(const std::string& identity, const std::string& below) {
    return "HKEY_CURRENT_USER\\Identities\\" + identity +
           "\\Software\\Microsoft\\Outlook Express\\5.0" + below;
}

std::string SampleIdentityAccountsKey(const std::string& identity) {
    return "HKEY_CURRENT_USER\\Identities\\" + identity +
           "\\Software\\Microsoft\\Internet Account Manager\\Accounts";
}

std::filesystem::path SampleStoreFolder(const std::filesystem::path& prefix,
                                        const std::string& identity) {
    return prefix / "drive_c/users/quillet/Local Settings/Application Data/Identities" / identity /
           "Microsoft/Outlook Express";
}

std::filesystem::path SampleAddressBookFolder(const std::filesystem::path& prefix) {
    return prefix / "drive_c/users/quillet/Application Data/Microsoft/Address Book";
}

std::filesystem::path SampleAddressBook(const std::filesystem::path& prefix) {
    return SampleAddressBookFolder(prefix) / "quillet.wab";
}

std::filesystem::path SampleStationeryFolder(const std::filesystem::path& prefix) {
    return prefix / "drive_c/Program Files/Common Files/Microsoft Shared/Stationery";
}

}  // namespace quillet::testing
