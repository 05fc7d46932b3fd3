#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "thunderbird/outlook_settings.h"
#include "thunderbird/prefs_file.h"

namespace quillet::thunderbird {

// Why things are not carried into a profile, as the report says them.
inline constexpr char kPasswordNotCarried[] =
    "not carried: Outlook Express keeps it enciphered with the Windows logon, which nothing "
    "outside that Windows can open; Thunderbird asks for it when it first connects";
inline constexpr char kRuleNotCarried[] =
    "not carried: Outlook Express keeps its rules in a form no public description covers";
inline constexpr char kDirectoryNotCarried[] = "not carried: a directory (LDAP) account";
inline constexpr char kNoServerNotCarried[] = "not carried: it names no POP3, IMAP or news server";

// The report's line for an identity none of whose accounts could be carried.
inline constexpr char kLocalFoldersOnly[] =
    "Accounts: none the identity has can be carried; the profile holds Local Folders only";

// What a profile's plan needs besides the settings.
struct ProfileFacts {
    std::filesystem::path folder;  // the profile's own folder, absolute, where it will stay
    // The newsgroups each news account's folders are, by account key in lower case.
    std::map<std::string, std::vector<std::string>> newsgroups{};
    // The file signature's name in the profile folder when it was copied there; when it could not
    // be, the reason is in signatureMissing.
    std::optional<std::string> signatureFile{};
    std::string signatureMissing{};
};

// A file a server keeps in its folder, below the profile.
struct ServerFile {
    std::filesystem::path path;  // relative to the profile
    std::string content;
};

// Everything of a profile but its mail: the preferences, the servers' files (filters, newsrc),
// and the report's lines.
struct ProfilePlan {
    std::vector<Pref> prefs;
    std::vector<ServerFile> files;
    std::vector<std::string> carried;     // "Account "Main Mail": POP3 pop.example.com:110, ..."
    std::vector<std::string> notCarried;  // "Password of "Main Mail": not carried: ..."
    bool partial = false;                 // something that could have been carried was not
};

// The Thunderbird accounts of `settings`: for each account with a POP3 or IMAP server one mail
// account (incoming server, identity, SMTP server; a POP3 account's mail delivered into Local
// Folders, as Outlook Express put every POP3 account's mail into its one Inbox), for each news
// server a news account subscribed to its newsgroups, and Local Folders (where the mail is).
// The default mail account comes first. Identical SMTP servers are listed once. A port outside
// 1-65535 is replaced by the protocol's default, named in the report. The default signature goes
// to every identity; the blocked senders become one filter on Local Folders and on each IMAP
// account (mail) and on each news account (news). Passwords, rules, directory accounts and
// accounts without a server are named as not carried.
ProfilePlan PlanProfile(const OutlookSettings& settings, const ProfileFacts& facts);

}  // namespace quillet::thunderbird
