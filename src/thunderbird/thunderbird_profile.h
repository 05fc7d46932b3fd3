#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "backup/address_books.h"
#include "mailstore/mail_export.h"
#include "mailstore/mail_progress.h"
#include "mailstore/mail_source.h"
#include "platform/file_operations.h"
#include "platform/status.h"
#include "thunderbird/outlook_settings.h"

namespace quillet::thunderbird {

// What a Thunderbird profile is made from: an identity of a Wine prefix or a Windows disk, or a
// backup of one.
class ProfileSource {
  public:
    virtual ~ProfileSource() = default;
    // The identity's name ("Main Identity"), for the profile's name.
    virtual std::string identityName() const = 0;
    virtual OutlookSettings settings() = 0;
    // The identity's message stores; null, with the reason in noMailReason(), when it has none.
    virtual mailstore::MailSource* mail() = 0;
    virtual std::string noMailReason() const = 0;
    // The bytes of the signature file at `windowsPath`; fails with the reason when it cannot be
    // had (missing, too large, or a backup, which holds no signature files).
    virtual Result<std::string> signatureFile(const std::string& windowsPath) = 0;
    // The address book whose contacts the profile gets; fails with kNotFound when there is none.
    virtual Result<AddressBookSource> addressBook() = 0;
};

struct ProfileOptions {
    std::filesystem::path folder;  // must not exist, or be an empty folder
    std::string name;              // empty: kDefaultProfileName + the identity's name
    // Where the profile is registered; empty: it is not.
    std::filesystem::path profilesIni;
};

inline constexpr char kDefaultProfileName[] = "Outlook Express - ";

// What a profile holds and what it lacks, for the report.
struct ProfileReport {
    std::filesystem::path folder;
    std::vector<std::string> carried;
    std::vector<std::string> notCarried;
    std::optional<mailstore::ExportSummary> mail;  // none when the identity has no stores
    std::string registeredAs;   // the profile's name in profiles.ini; empty when not registered
    std::string notRegistered;  // why registering failed; empty when it did not
    bool partial = false;       // something that could have been carried was not (exit status 1)
};

// Makes a Thunderbird profile of `source` in options.folder: prefs.js with the accounts, the
// identities, their signature and SMTP servers (PlanProfile), the blocked senders as filters,
// each news account's newsrc, the signature file, the contacts in Thunderbird's Personal Address
// Book (read strictly, again salvaging when damage is found, as the mail is), and the mail under
// Mail/Local Folders as the mbox export writes it (salvaging: a damaged store gives what it still
// holds, and the report says what was left out). The profile is built in a side folder beside the
// target and renamed into place when complete, so a failure, a cancel or a kill leaves no half
// profile (a killed run's side folder is removed by the next run beside the same folder); then it
// is registered in options.profilesIni.
//
// Refused before anything is made (kInUse or kBadInput): a folder that is a symbolic link or a
// file, or holds anything; a folder whose parent does not exist; a folder inside a Thunderbird
// profile (one holding prefs.js or Thunderbird's lock). A failure while registering leaves the
// profile made and says why in notRegistered.
Result<ProfileReport> MakeThunderbirdProfile(ProfileSource& source, const ProfileOptions& options,
                                             mailstore::MailProgress* progress,
                                             FileOperations& files = RealFileOperations());

// The report's text: the profile's folder and name, each thing carried, each not carried with
// its reason, and the mail's summary.
std::string ProfileReportText(const ProfileReport& report);

}  // namespace quillet::thunderbird
