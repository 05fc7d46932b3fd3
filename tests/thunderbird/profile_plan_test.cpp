#include "thunderbird/profile_plan.h"

#include <gtest/gtest.h>

#include <map>

#include "thunderbird/filter_rules.h"

namespace quillet::thunderbird {
namespace {

using Values = std::vector<std::pair<std::string, registry::ValueData>>;
using Prefs = std::map<std::string, PrefValue>;

OutlookAccount Account(const std::string& key, const Values& values) {
    OutlookAccount account{key, {}};
    for (const auto& [name, data] : values) account.values.add(name, data);
    return account;
}

Prefs PrefsOf(const ProfilePlan& plan) {
    Prefs prefs;
    for (const Pref& pref : plan.prefs) prefs[pref.name] = pref.value;
    return prefs;
}

struct MappingCase {
    const char* name;
    Values account;
    Prefs expected;  // a subset of the plan's prefs
};

class AccountMappingTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(AccountMappingTest, RegistryValuesBecomeThePrefsOfOneAccount) {
    OutlookSettings settings;
    settings.accounts.push_back(Account("00000001", GetParam().account));
    settings.signature = OutlookSignature{"Signature #1", "Best regards,\r\nMe", std::nullopt};
    const Prefs prefs = PrefsOf(PlanProfile(settings, {.folder = "/p"}));
    for (const auto& [name, value] : GetParam().expected) {
        ASSERT_TRUE(prefs.contains(name)) << name;
        EXPECT_EQ(prefs.at(name), value) << name;
    }
}

const Values kPop3 = {{"Account Name", "Main Mail"},
                      {"POP3 Server", "pop.example.com"},
                      {"POP3 User Name", "me"},
                      {"Leave Mail On Server", 1},
                      {"SMTP Server", "smtp.example.com"},
                      {"SMTP Display Name", "Me"},
                      {"SMTP Email Address", "me@example.com"}};

Values With(Values values, const Values& more) {
    values.insert(values.end(), more.begin(), more.end());
    return values;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AccountMappingTest,
    ::testing::Values(
        MappingCase{"Pop3IntoLocalFolders",
                    kPop3,
                    {{"mail.server.server1.type", std::string("pop3")},
                     {"mail.server.server1.hostname", std::string("pop.example.com")},
                     {"mail.server.server1.port", 110},
                     {"mail.server.server1.socketType", 0},
                     {"mail.server.server1.userName", std::string("me")},
                     {"mail.server.server1.name", std::string("Main Mail")},
                     {"mail.server.server1.leave_on_server", true},
                     {"mail.server.server1.deferred_to_account", std::string("account2")},
                     {"mail.accountmanager.localfoldersserver", std::string("server2")},
                     {"mail.accountmanager.accounts", std::string("account1,account2")},
                     {"mail.accountmanager.defaultaccount", std::string("account1")},
                     {"mail.identity.id1.fullName", std::string("Me")},
                     {"mail.identity.id1.useremail", std::string("me@example.com")},
                     {"mail.identity.id1.htmlSigText", std::string("Best regards,\nMe")},
                     {"mail.identity.id1.htmlSigFormat", false},
                     {"mail.identity.id1.smtpServer", std::string("smtp1")},
                     {"mail.smtpserver.smtp1.hostname", std::string("smtp.example.com")},
                     {"mail.smtpserver.smtp1.port", 25},
                     {"mail.smtpserver.smtp1.authMethod", 1},
                     {"mail.smtpservers", std::string("smtp1")},
                     {"mail.smtp.defaultserver", std::string("smtp1")}}},
        MappingCase{"SecureImapWithSmtpLogin",
                    {{"IMAP Server", "imap.example.com"},
                     {"IMAP User Name", "me"},
                     {"IMAP Secure Connection", 1},
                     {"IMAP Root Folder", "INBOX"},
                     {"SMTP Server", "smtp.example.com"},
                     {"SMTP Secure Connection", 1},
                     {"SMTP Use Sicily", 3},
                     {"SMTP User Name", "sender"},
                     {"SMTP Reply To Email Address", "reply@example.com"},
                     {"SMTP Organization Name", "Example Ltd"}},
                    {{"mail.server.server1.type", std::string("imap")},
                     {"mail.server.server1.port", 993},
                     {"mail.server.server1.socketType", 3},
                     {"mail.server.server1.server_sub_directory", std::string("INBOX")},
                     {"mail.identity.id1.reply_to", std::string("reply@example.com")},
                     {"mail.identity.id1.organization", std::string("Example Ltd")},
                     {"mail.smtpserver.smtp1.port", 465},
                     {"mail.smtpserver.smtp1.try_ssl", 3},
                     {"mail.smtpserver.smtp1.username", std::string("sender")},
                     {"mail.smtpserver.smtp1.authMethod", 3}}},
        MappingCase{"SmtpLoginAsIncomingWithWindowsLogon",
                    With(kPop3, {{"SMTP Use Sicily", 2}, {"POP3 Use Sicily", 1}}),
                    {{"mail.server.server1.authMethod", 6},
                     {"mail.smtpserver.smtp1.username", std::string("me")},
                     {"mail.smtpserver.smtp1.authMethod", 6}}},
        MappingCase{"PortOutOfRangeTakesTheDefault",
                    With(kPop3, {{"POP3 Port", 70000}, {"SMTP Port", 0}}),
                    {{"mail.server.server1.port", 110}, {"mail.smtpserver.smtp1.port", 25}}},
        MappingCase{"NewsAccount",
                    {{"Account Name", "News"},
                     {"NNTP Server", "news.example.com"},
                     {"NNTP Port", 119},
                     {"NNTP Display Name", "Me"}},
                    {{"mail.server.server1.type", std::string("nntp")},
                     {"mail.server.server1.newsrc.file-rel",
                      std::string("[ProfD]News/newsrc-news.example.com")},
                     {"mail.identity.id1.fullName", std::string("Me")},
                     {"mail.accountmanager.defaultaccount", std::string("account2")}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProfilePlanTest, NamesWhatItCannotCarryAndListsEachSmtpServerOnce) {
    OutlookSettings settings;
    settings.accounts = {
        Account("00000001", kPop3), Account("00000002", With(kPop3, {})),
        Account("00000003", {{"Account Name", "Directory"}, {"LDAP Server", "ldap.example.com"}}),
        Account("00000004", {{"Account Name", "Empty"}})};
    settings.defaultMailAccount = "00000002";
    settings.ruleNames = {"Invoices"};
    settings.signature = OutlookSignature{"From a file", std::nullopt, "C:\\sig.htm"};
    const ProfilePlan plan =
        PlanProfile(settings, {.folder = "/p", .signatureMissing = "it is missing"});
    const std::vector<std::string> expected = {
        "Password of \"Main Mail\": " + std::string(kPasswordNotCarried),
        "Password of \"Main Mail\": " + std::string(kPasswordNotCarried),
        "Account \"Directory\": " + std::string(kDirectoryNotCarried),
        "Account \"Empty\": " + std::string(kNoServerNotCarried),
        "Signature \"From a file\": it is missing",
        "Rule \"Invoices\": " + std::string(kRuleNotCarried)};
    EXPECT_EQ(plan.notCarried, expected);
    EXPECT_TRUE(plan.partial);
    EXPECT_EQ(PlanProfile({}, {.folder = "/p"}).carried,
              std::vector<std::string>{kLocalFoldersOnly});
    const Prefs prefs = PrefsOf(plan);
    EXPECT_EQ(prefs.at("mail.smtpservers"), PrefValue(std::string("smtp1")));
    // The default account (00000002) comes first; its POP3 folder gets a name of its own.
    EXPECT_EQ(prefs.at("mail.server.server1.directory-rel"),
              PrefValue(std::string("[ProfD]Mail/pop.example.com")));
    EXPECT_EQ(prefs.at("mail.server.server2.directory-rel"),
              PrefValue(std::string("[ProfD]Mail/pop.example.com-1")));
}

TEST(ProfilePlanTest, BlockedSendersFilterLocalFoldersAndEachImapAndNewsServer) {
    OutlookSettings settings;
    settings.accounts = {Account("1", {{"IMAP Server", "imap.example.com"}}),
                         Account("2", {{"NNTP Server", "news.example.com"}})};
    settings.blockedMailSenders = {"a@example.com"};
    settings.blockedNewsSenders = {"b@example.com"};
    std::map<std::string, std::string> files;
    for (const ServerFile& file :
         PlanProfile(settings, {.folder = "/p", .newsgroups = {{"2", {"alt.test"}}}}).files) {
        files[file.path.string()] = file.content;
    }
    EXPECT_EQ(files,
              (std::map<std::string, std::string>{{"ImapMail/imap.example.com/msgFilterRules.dat",
                                                   BlockedSendersFilterFile({"a@example.com"})},
                                                  {"News/newsrc-news.example.com", "alt.test:\n"},
                                                  {"News/news.example.com/msgFilterRules.dat",
                                                   BlockedSendersFilterFile({"b@example.com"})},
                                                  {"Mail/Local Folders/msgFilterRules.dat",
                                                   BlockedSendersFilterFile({"a@example.com"})}}));
}

}  // namespace
}  // namespace quillet::thunderbird
