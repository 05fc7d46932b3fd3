#include "thunderbird/thunderbird_profile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "backup/oe_locations.h"
#include "mailstore/export_summary_text.h"
#include "mailstore/folder_list.h"
#include "mailstore/side_folder.h"
#include "platform/case_fold.h"
#include "thunderbird/address_book_file.h"
#include "thunderbird/profile_plan.h"
#include "thunderbird/profiles_ini.h"
#include "wab/vcard_export.h"

namespace quillet::thunderbird {
namespace {

using mailstore::OutputFailure;

bool Exists(FileOperations& files, const std::filesystem::path& path, bool followLinks,
            struct stat* info) {
    return files.status(path, followLinks, info) == 0;
}

// Whether `folder` is a Thunderbird profile: it holds prefs.js or Thunderbird's lock.
bool IsProfile(FileOperations& files, const std::filesystem::path& folder) {
    struct stat info {};
    for (const char* mark : {"prefs.js", "lock", ".parentlock"}) {
        if (Exists(files, folder / mark, false, &info)) return true;
    }
    return false;
}

// Refuses a target the profile must not go to (see MakeThunderbirdProfile).
Status CheckTarget(const std::filesystem::path& folder, FileOperations& files) {
    struct stat info {};
    if (Exists(files, folder, false, &info)) {
        if (S_ISLNK(info.st_mode)) {
            return Status::Error(folder.string() + " is a symbolic link; name the folder itself",
                                 ErrorKind::kInUse);
        }
        if (!S_ISDIR(info.st_mode)) {
            return Status::Error(folder.string() + " is a file, not a folder", ErrorKind::kInUse);
        }
        std::vector<std::string> names;
        if (int error = files.listFolder(folder, &names); error != 0) {
            return OutputFailure("Cannot list", folder, error);
        }
        if (!names.empty()) {
            return Status::Error(folder.string() +
                                     " is not empty; a profile is made only in a "
                                     "new or empty folder",
                                 ErrorKind::kInUse);
        }
    }
    const std::filesystem::path parent = folder.parent_path();
    if (!Exists(files, parent, true, &info) || !S_ISDIR(info.st_mode)) {
        return Status::Error("The folder " + parent.string() + " does not exist",
                             ErrorKind::kNotFound);
    }
    for (std::filesystem::path above = parent;; above = above.parent_path()) {
        if (IsProfile(files, above)) {
            return Status::Error(folder.string() + " is inside the Thunderbird profile " +
                                     above.string() + "; name a folder outside it",
                                 ErrorKind::kInUse);
        }
        if (above == above.parent_path()) break;
    }
    return Status::Ok();
}

Status WriteNewFile(FileOperations& files, const std::filesystem::path& path,
                    std::string_view content) {
    int fd = -1;
    if (int error =
            files.open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600, &fd);
        error != 0) {
        return OutputFailure("Cannot create", path, error);
    }
    std::size_t written = 0;
    int error = 0;
    while (error == 0 && written < content.size()) {
        std::size_t piece = 0;
        error = files.write(fd, content.substr(written), &piece);
        written += piece;
    }
    if (error == 0) error = files.fsync(fd);
    const int closed = files.close(fd);
    if (error == 0) error = closed;
    if (error != 0) return OutputFailure("Cannot write", path, error);
    return Status::Ok();
}

// Makes every folder on the way to `folder` below `root` (which exists), and adds each to `made`
// (for the flush of their entries).
Status MakeFolders(FileOperations& files, const std::filesystem::path& root,
                   const std::filesystem::path& folder, std::vector<std::filesystem::path>& made) {
    std::filesystem::path path = root;
    for (const auto& part : folder) {
        path /= part;
        const int error = files.makeFolder(path, 0700);
        if (error != 0 && error != EEXIST) return OutputFailure("Cannot create", path, error);
        if (error == 0) made.push_back(path);
    }
    return Status::Ok();
}

// The newsgroups each news account's folders are, by account key in lower case, as the folder
// list names them; none when it cannot be read (the mail export then says why).
std::map<std::string, std::vector<std::string>> Newsgroups(mailstore::MailSource& mail) {
    std::map<std::string, std::vector<std::string>> groups;
    for (const auto& store : mail.stores()) {
        if (AsciiLower(store.fileName) != "folders.dbx") continue;
        auto bytes = mail.openStore(store.fileName);
        if (!bytes) return groups;
        std::vector<mailstore::StoreDamage> damages;
        auto folders = mailstore::ReadFolderList(**bytes, mailstore::ReadMode::kSalvage, &damages,
                                                 mail.origin().codePage);
        if (!folders) return groups;
        for (const mailstore::MailFolder& folder : *folders) {
            if (folder.storeKind == mailstore::MailFolder::kNewsKind && !folder.storeFile.empty() &&
                !folder.accountKey.empty()) {
                groups[AsciiLower(folder.accountKey)].push_back(folder.name);
            }
        }
    }
    return groups;
}

// Copies the signature file into the profile; sets facts.signatureFile, or signatureMissing.
Status CopySignature(ProfileSource& source, const OutlookSettings& settings,
                     const std::filesystem::path& profile, FileOperations& files,
                     ProfileFacts& facts) {
    if (!settings.signature || !settings.signature->file) return Status::Ok();
    const std::string& windowsPath = *settings.signature->file;
    auto bytes = source.signatureFile(windowsPath);
    if (!bytes) {
        facts.signatureMissing = bytes.reason();
        return Status::Ok();
    }
    std::string name = BaseName(windowsPath);
    if (name.empty() || name == "." || name == ".." || name == "prefs.js") name = "signature.txt";
    if (Status written = WriteNewFile(files, profile / name, *bytes); !written) return written;
    facts.signatureFile = name;
    return Status::Ok();
}

// The mail under `folder`, as the mbox export writes it. A strict read first, which costs one
// pass over the stores; only when it meets damage is the folder written again by a salvaging
// read, which also searches each store for what its index lost.
Result<mailstore::ExportSummary> ExportLocalFolders(mailstore::MailSource& mail,
                                                    const std::filesystem::path& folder,
                                                    mailstore::MailProgress* progress,
                                                    FileOperations& files) {
    mailstore::ExportOptions options;
    options.outFolder = folder;
    auto strict = mailstore::ExportMail(mail, options, progress, files);
    const bool damaged =
        strict ? !strict->stopped.empty() : strict.status().is(ErrorKind::kCorrupt);
    if (!damaged) return strict;
    if (int error = files.removeTree(folder); error != 0 && error != ENOENT) {
        return OutputFailure("Cannot remove", folder, error);
    }
    options.mode = mailstore::ReadMode::kSalvage;
    return mailstore::ExportMail(mail, options, progress, files);
}

// The contacts into the profile's address book. An address book that is missing or cannot be read
// is said in the report; only a failure to write the profile fails.
Status CarryContacts(ProfileSource& source, const std::filesystem::path& profile,
                     FileOperations& files, ProfileReport& report) {
    auto leftOut = [&](const std::string& why, bool partial) {
        report.notCarried.push_back("Contacts: " + why);
        report.partial = report.partial || partial;
        return Status::Ok();
    };
    auto opened = source.addressBook();
    if (!opened) return leftOut(opened.reason(), !opened.status().is(ErrorKind::kNotFound));
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    auto made = MakeThunderbirdAddressBook(*opened->bytes, wab::ReadMode::kStrict, now);
    if (!made && made.status().is(ErrorKind::kCorrupt)) {
        made = MakeThunderbirdAddressBook(*opened->bytes, wab::ReadMode::kSalvage, now);
    }
    if (!made) return leftOut(made.reason(), true);
    for (const std::string& group : made->groupsLeftOut) {
        leftOut("the group \"" + group + "\": " + wab::kGroupsNotCarried, false);
    }
    for (const wab::BookDamage& damage : made->damages) leftOut("damage: " + damage.what, true);
    if (made->cards == 0) return leftOut(opened->description + " holds no person", false);
    if (Status written = WriteNewFile(files, profile / kAddressBookFileName, made->bytes);
        !written) {
        return written;
    }
    std::string carried = std::to_string(made->cards) + " contacts from " + opened->description +
                          " in the Personal Address Book";
    if (made->recovered > 0) {
        carried += " (" + std::to_string(made->recovered) +
                   " of them recovered from deleted or lost records)";
    }
    report.carried.push_back(carried);
    return Status::Ok();
}

}  // namespace

Result<ProfileReport> MakeThunderbirdProfile(ProfileSource& source, const ProfileOptions& options,
                                             mailstore::MailProgress* progress,
                                             FileOperations& files) {
    const std::filesystem::path folder =
        std::filesystem::absolute(options.folder).lexically_normal();
    if (folder.filename().empty()) {
        return Status::Error("Name the profile's folder itself: " + options.folder.string(),
                             ErrorKind::kBadInput);
    }
    if (Status target = CheckTarget(folder, files); !target) return target;

    mailstore::SideFolder side(files);
    if (Status made = side.make(folder, false); !made) return made;
    const std::filesystem::path work = side.path();

    ProfileReport report;
    report.folder = folder;
    // The folders made here, whose entries are flushed before the profile is put in place.
    std::vector<std::filesystem::path> folders;
    const OutlookSettings settings = source.settings();
    ProfileFacts facts;
    facts.folder = folder;
    if (Status copied = CopySignature(source, settings, work, files, facts); !copied) {
        return copied;
    }
    if (mailstore::MailSource* mail = source.mail()) {
        facts.newsgroups = Newsgroups(*mail);
        if (Status made = MakeFolders(files, work, "Mail", folders); !made) return made;
        auto summary = ExportLocalFolders(*mail, work / "Mail" / "Local Folders", progress, files);
        if (!summary) return summary.status();
        if (!summary->stopped.empty()) {
            return Status::Error("The mail could not all be written: " + summary->stopped,
                                 ErrorKind::kIo);
        }
        report.mail = std::move(summary.value());
    } else {
        report.notCarried.push_back("Mail: " + source.noMailReason());
    }

    if (Status contacts = CarryContacts(source, work, files, report); !contacts) return contacts;

    ProfilePlan plan = PlanProfile(settings, facts);
    if (Status made = MakeFolders(files, work, "Mail/Local Folders", folders); !made) return made;
    for (const ServerFile& file : plan.files) {
        if (Status made = MakeFolders(files, work, file.path.parent_path(), folders); !made) {
            return made;
        }
        if (Status written = WriteNewFile(files, work / file.path, file.content); !written) {
            return written;
        }
    }
    if (Status written = WriteNewFile(files, work / "prefs.js", PrefsFileText(plan.prefs));
        !written) {
        return written;
    }
    // Each file written here was flushed as it was written, and the mail export flushes its own;
    // the folders' entries remain (the whole file system is not flushed: that would wait for
    // every other program's writes too).
    folders.push_back(work / "Mail" / "Local Folders");
    folders.push_back(work);
    for (const std::filesystem::path& made : folders) {
        if (int error = files.syncFolder(made); error != 0 && error != EINVAL && error != ENOTSUP) {
            return OutputFailure("Cannot flush", made, error);
        }
    }
    if (int error = files.rename(work, folder); error != 0) {
        if (error == ENOTEMPTY || error == EEXIST) {
            return Status::Error(folder.string() + " is no longer empty; nothing was made",
                                 ErrorKind::kInUse);
        }
        return OutputFailure("Cannot put the profile in place at", folder, error);
    }
    side.keep();
    files.syncFolder(folder.parent_path());

    report.carried.insert(report.carried.end(), plan.carried.begin(), plan.carried.end());
    report.notCarried.insert(report.notCarried.end(), plan.notCarried.begin(),
                             plan.notCarried.end());
    report.partial = report.partial || plan.partial || (report.mail && report.mail->partial());
    if (!options.profilesIni.empty()) {
        const std::string name =
            options.name.empty() ? kDefaultProfileName + source.identityName() : options.name;
        if (Status registered = RegisterProfile(options.profilesIni, name, folder, files);
            registered) {
            report.registeredAs = name;
        } else {
            report.notRegistered = registered.reason();
            report.partial = true;
        }
    }
    return report;
}

std::string ProfileReportText(const ProfileReport& report) {
    std::string text = "Thunderbird profile: " + report.folder.string() + "\n";
    if (!report.registeredAs.empty()) {
        text += "Registered as \"" + report.registeredAs + "\": thunderbird -P offers it\n";
    } else if (!report.notRegistered.empty()) {
        text += "Not registered: " + report.notRegistered + "\n";
    }
    for (const std::string& line : report.carried) text += "Carried: " + line + "\n";
    for (const std::string& line : report.notCarried) text += "Left out: " + line + "\n";
    if (report.mail) {
        text +=
            mailstore::ExportSummaryText("the identity's message stores",
                                         report.folder / "Mail" / "Local Folders", *report.mail);
    }
    return text;
}

}  // namespace quillet::thunderbird
