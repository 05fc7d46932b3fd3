#include "thunderbird/profile_plan.h"

#include <set>
#include <tuple>

#include "platform/case_fold.h"
#include "thunderbird/filter_rules.h"

namespace quillet::thunderbird {
namespace {

// An incoming protocol as Outlook Express names its values and Thunderbird its server type.
struct Protocol {
    const char* prefix;  // "POP3": "POP3 Server", "POP3 Port", ...
    const char* type;    // Thunderbird's
    const char* label;   // in the report
    int plainPort;
    int securePort;
};
constexpr Protocol kPop3{"POP3", "pop3", "POP3", 110, 995};
constexpr Protocol kImap{"IMAP", "imap", "IMAP", 143, 993};
constexpr Protocol kNews{"NNTP", "nntp", "news", 119, 563};
constexpr Protocol kSmtp{"SMTP", "smtp", "SMTP", 25, 465};

// Thunderbird's numbers for a connection's security and a login's method.
constexpr int kPlainSocket = 0;
constexpr int kSecureSocket = 3;
constexpr int kNoLogin = 1;
constexpr int kPasswordLogin = 3;
constexpr int kWindowsLogin = 6;  // NTLM: what Outlook Express calls Secure Password Authentication

std::string Value(const OutlookAccount& account, const Protocol& protocol, const char* what) {
    return account.text(std::string(protocol.prefix) + " " + what);
}

bool Flag(const OutlookAccount& account, const std::string& name) {
    return account.number(name).value_or(0) == 1;
}

bool Secure(const OutlookAccount& account, const Protocol& protocol) {
    return Flag(account, std::string(protocol.prefix) + " Secure Connection");
}

// The account's port for `protocol`, and a note when the registry's is no port.
int PortOf(const OutlookAccount& account, const Protocol& protocol, std::string* note) {
    const int standard = Secure(account, protocol) ? protocol.securePort : protocol.plainPort;
    const auto port = account.number(std::string(protocol.prefix) + " Port");
    if (!port) return standard;
    if (*port < 1 || *port > 65535) {
        *note += "; its " + std::string(protocol.label) + " port " + std::to_string(*port) +
                 " is no port, the default " + std::to_string(standard) + " is used";
        return standard;
    }
    return *port;
}

// Folder names below Mail/, ImapMail/ or News/, unique without regard to case.
class FolderNames {
  public:
    std::string take(const std::string& root, std::string wanted) {
        for (char& c : wanted) {
            if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
        }
        if (wanted.empty() || wanted == "." || wanted == "..") wanted = "server";
        std::string name = wanted;
        for (int n = 1; !m_taken.insert(AsciiLower(root + "/" + name)).second; ++n) {
            name = wanted + "-" + std::to_string(n);
        }
        return name;
    }

  private:
    std::set<std::string> m_taken;
};

class Planner {
  public:
    Planner(const OutlookSettings& settings, const ProfileFacts& facts)
        : m_settings(settings), m_facts(facts) {
        m_names.take("Mail", "Local Folders");
    }

    ProfilePlan plan() {
        std::vector<const OutlookAccount*> ordered;
        for (const OutlookAccount& account : m_settings.accounts) {
            const bool isDefault =
                AsciiLower(account.key) == AsciiLower(m_settings.defaultMailAccount);
            ordered.insert(isDefault ? ordered.begin() : ordered.end(), &account);
        }
        for (const OutlookAccount* account : ordered) addAccount(*account);
        if (m_accounts.empty()) m_plan.carried.push_back(kLocalFoldersOnly);
        const std::string localAccount = addLocalFolders();
        for (const std::string& server : m_deferred) {
            add(server + ".deferred_to_account", localAccount);
        }
        m_accounts.push_back(localAccount);
        finish(localAccount);
        for (const std::string& rule : m_settings.ruleNames) {
            m_plan.notCarried.push_back("Rule \"" + rule + "\": " + kRuleNotCarried);
        }
        return std::move(m_plan);
    }

  private:
    void add(std::string name, PrefValue value) {
        m_plan.prefs.push_back({std::move(name), std::move(value)});
    }

    void addAccount(const OutlookAccount& account) {
        std::string name = account.text("Account Name");
        if (name.empty()) name = account.key;
        const Protocol* protocol = nullptr;
        for (const Protocol* candidate : {&kPop3, &kImap, &kNews}) {
            if (!Value(account, *candidate, "Server").empty()) {
                protocol = candidate;
                break;
            }
        }
        if (protocol == nullptr) {
            const bool directory = !account.text("LDAP Server").empty();
            m_plan.notCarried.push_back("Account \"" + name + "\": " +
                                        (directory ? kDirectoryNotCarried : kNoServerNotCarried));
            return;
        }
        const int number = static_cast<int>(m_accounts.size()) + 1;
        const std::string server = "mail.server.server" + std::to_string(number);
        const std::string accountKey = "account" + std::to_string(number);
        const std::string identity = "id" + std::to_string(number);
        const std::string host = Value(account, *protocol, "Server");
        const std::string user = Value(account, *protocol, "User Name");
        std::string note;
        const int port = PortOf(account, *protocol, &note);
        const bool windowsLogin = Flag(account, std::string(protocol->prefix) + " Use Sicily");

        add("mail.account." + accountKey + ".server", "server" + std::to_string(number));
        add("mail.account." + accountKey + ".identities", identity);
        add(server + ".type", std::string(protocol->type));
        add(server + ".hostname", host);
        add(server + ".port", port);
        add(server + ".socketType", Secure(account, *protocol) ? kSecureSocket : kPlainSocket);
        add(server + ".authMethod", windowsLogin ? kWindowsLogin : kPasswordLogin);
        add(server + ".userName", user);
        add(server + ".name", name);
        std::string folder;
        if (protocol == &kPop3) {
            folder = "Mail/" + m_names.take("Mail", host);
            add(server + ".leave_on_server", Flag(account, "Leave Mail On Server"));
            add(server + ".delete_mail_left_on_server", Flag(account, "Remove When Deleted"));
            if (Flag(account, "Remove When Expired")) {
                add(server + ".delete_by_age_from_server", true);
                add(server + ".num_days_to_leave_on_server",
                    account.number("Expire Days").value_or(5));
            }
            m_deferred.push_back(server);
        } else if (protocol == &kImap) {
            folder = "ImapMail/" + m_names.take("ImapMail", host);
            if (const std::string root = account.text("IMAP Root Folder"); !root.empty()) {
                add(server + ".server_sub_directory", root);
            }
            addFilter(folder, m_settings.blockedMailSenders);
        } else {
            folder = "News/" + m_names.take("News", host);
            const std::string newsrc = "News/newsrc-" + folder.substr(5);
            add(server + ".newsrc.file-rel", "[ProfD]" + newsrc);
            add(server + ".newsrc.file", (m_facts.folder / newsrc).string());
            std::string subscribed;
            auto groups = m_facts.newsgroups.find(AsciiLower(account.key));
            if (groups != m_facts.newsgroups.end()) {
                for (const std::string& group : groups->second) subscribed += group + ":\n";
            }
            m_plan.files.push_back({newsrc, subscribed});
            addFilter(folder, m_settings.blockedNewsSenders);
            note += "; newsgroups: " +
                    std::to_string(groups == m_facts.newsgroups.end() ? 0 : groups->second.size());
        }
        add(server + ".directory-rel", "[ProfD]" + folder);
        add(server + ".directory", (m_facts.folder / folder).string());
        m_plan.carried.push_back("Account \"" + name + "\": " + protocol->label + " " + host + ":" +
                                 std::to_string(port) + (user.empty() ? "" : ", user " + user) +
                                 note);
        addIdentity(account, protocol == &kNews ? kNews : kSmtp, identity);

        m_accounts.push_back(accountKey);
        if (protocol != &kNews && m_defaultAccount.empty()) m_defaultAccount = accountKey;
        if (!user.empty() || protocol != &kNews) {
            m_plan.notCarried.push_back("Password of \"" + name + "\": " + kPasswordNotCarried);
        }
    }

    // The identity of an account: the sender's name and addresses (of the SMTP values for mail,
    // the NNTP values for news), the signature and, for mail, its SMTP server.
    void addIdentity(const OutlookAccount& account, const Protocol& sender,
                     const std::string& identity) {
        const std::string prefix = "mail.identity." + identity;
        add(prefix + ".fullName", Value(account, sender, "Display Name"));
        add(prefix + ".useremail", Value(account, sender, "Email Address"));
        if (auto replyTo = Value(account, sender, "Reply To Email Address"); !replyTo.empty()) {
            add(prefix + ".reply_to", replyTo);
        }
        if (auto organization = Value(account, sender, "Organization Name");
            !organization.empty()) {
            add(prefix + ".organization", organization);
        }
        add(prefix + ".valid", true);
        addSignature(prefix);
        if (&sender == &kSmtp) {
            if (auto smtp = addSmtpServer(account)) add(prefix + ".smtpServer", *smtp);
        }
    }

    void addSignature(const std::string& prefix) {
        if (!m_settings.signature) return;
        const OutlookSignature& signature = *m_settings.signature;
        if (signature.text) {
            std::string text;
            for (char c : *signature.text) {
                if (c != '\r') text += c;
            }
            add(prefix + ".htmlSigText", text);
            add(prefix + ".htmlSigFormat", false);
        } else if (m_facts.signatureFile) {
            add(prefix + ".sig_file-rel", "[ProfD]" + *m_facts.signatureFile);
            add(prefix + ".sig_file", (m_facts.folder / *m_facts.signatureFile).string());
            add(prefix + ".attach_signature", true);
        }
    }

    // The key of the account's SMTP server, listed once for identical servers; nullopt when the
    // account names none.
    std::optional<std::string> addSmtpServer(const OutlookAccount& account) {
        const std::string host = Value(account, kSmtp, "Server");
        if (host.empty()) return std::nullopt;
        std::string note;
        const int port = PortOf(account, kSmtp, &note);
        // "SMTP Use Sicily": 0 no login; 1 the SMTP user name with the Windows logon; 2 the
        // incoming server's user name and method; 3 the SMTP user name with a password.
        const int login = account.number("SMTP Use Sicily").value_or(0);
        std::string user;
        int method = kNoLogin;
        if (login == 1 || login == 3) {
            user = Value(account, kSmtp, "User Name");
            method = login == 1 ? kWindowsLogin : kPasswordLogin;
        } else if (login == 2) {
            for (const Protocol* incoming : {&kPop3, &kImap}) {
                if (Value(account, *incoming, "Server").empty()) continue;
                user = Value(account, *incoming, "User Name");
                method = Flag(account, std::string(incoming->prefix) + " Use Sicily")
                             ? kWindowsLogin
                             : kPasswordLogin;
                break;
            }
        }
        const int socket = Secure(account, kSmtp) ? kSecureSocket : kPlainSocket;
        const auto identity = std::make_tuple(AsciiLower(host), port, user, method, socket);
        for (const auto& [known, key] : m_smtpServers) {
            if (known == identity) return key;
        }
        const std::string key = "smtp" + std::to_string(m_smtpServers.size() + 1);
        m_smtpServers.emplace_back(identity, key);
        const std::string prefix = "mail.smtpserver." + key;
        add(prefix + ".hostname", host);
        add(prefix + ".port", port);
        add(prefix + ".try_ssl", socket);
        add(prefix + ".authMethod", method);
        if (method != kNoLogin) add(prefix + ".username", user);
        m_plan.carried.push_back("SMTP server " + host + ":" + std::to_string(port) +
                                 (user.empty() ? "" : ", user " + user) + note);
        return key;
    }

    void addFilter(const std::string& folder, const std::vector<std::string>& senders) {
        std::string filters = BlockedSendersFilterFile(senders);
        if (!filters.empty()) m_plan.files.push_back({folder + "/msgFilterRules.dat", filters});
    }

    std::string addLocalFolders() {
        const int number = static_cast<int>(m_accounts.size()) + 1;
        const std::string server = "mail.server.server" + std::to_string(number);
        const std::string accountKey = "account" + std::to_string(number);
        add("mail.account." + accountKey + ".server", "server" + std::to_string(number));
        add(server + ".type", std::string("none"));
        add(server + ".hostname", std::string("Local Folders"));
        add(server + ".userName", std::string("nobody"));
        add(server + ".name", std::string("Local Folders"));
        add(server + ".directory-rel", std::string("[ProfD]Mail/Local Folders"));
        add(server + ".directory", (m_facts.folder / "Mail" / "Local Folders").string());
        add("mail.accountmanager.localfoldersserver", "server" + std::to_string(number));
        addFilter("Mail/Local Folders", m_settings.blockedMailSenders);
        return accountKey;
    }

    void finish(const std::string& localAccount) {
        std::string accounts;
        for (const std::string& account : m_accounts) {
            accounts += (accounts.empty() ? "" : ",") + account;
        }
        add("mail.accountmanager.accounts", accounts);
        add("mail.accountmanager.defaultaccount",
            m_defaultAccount.empty() ? localAccount : m_defaultAccount);
        add("mail.account.lastKey", static_cast<int>(m_accounts.size()));
        if (!m_smtpServers.empty()) {
            std::string servers;
            for (const auto& [known, key] : m_smtpServers) {
                servers += (servers.empty() ? "" : ",") + key;
            }
            add("mail.smtpservers", servers);
            add("mail.smtp.defaultserver", m_smtpServers.front().second);
        }
        if (m_settings.signature) {
            const std::string name = "Signature \"" + m_settings.signature->name + "\"";
            if (m_settings.signature->text || m_facts.signatureFile) {
                m_plan.carried.push_back(name);
            } else {
                m_plan.notCarried.push_back(name + ": " + m_facts.signatureMissing);
                m_plan.partial = true;
            }
        }
        const std::size_t blocked =
            m_settings.blockedMailSenders.size() + m_settings.blockedNewsSenders.size();
        if (blocked > 0) {
            m_plan.carried.push_back("Blocked senders: " + std::to_string(blocked) +
                                     ", as the filter \"" + kBlockedSendersFilterName + "\"");
        }
    }

    const OutlookSettings& m_settings;
    const ProfileFacts& m_facts;
    ProfilePlan m_plan;
    FolderNames m_names;
    std::vector<std::string> m_accounts;
    std::vector<std::string> m_deferred;
    std::string m_defaultAccount;
    std::vector<std::pair<std::tuple<std::string, int, std::string, int, int>, std::string>>
        m_smtpServers;
};

}  // namespace

ProfilePlan PlanProfile(const OutlookSettings& settings, const ProfileFacts& facts) {
    return Planner(settings, facts).plan();
}

}  // namespace quillet::thunderbird
