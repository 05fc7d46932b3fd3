#include "support/imap/dovecot_server.h"

#include <arpa/inet.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <sstream>

#include "support/platform/child_process.h"
#include "support/platform/shell_command.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {

namespace {

namespace fs = std::filesystem;

// A port of 127.0.0.1 that nothing listens on now.
std::uint16_t FreePort() {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(listener);
    return ntohs(address.sin_port);
}

}  // namespace

DovecotServer::DovecotServer(const fs::path& folder, const DovecotOptions& options)
    : m_folder(folder), m_failure(start(options)) {}

std::string DovecotServer::start(const DovecotOptions& options) {
    const fs::path home = m_folder / "home", run = m_folder / "run";
    const fs::path maildir = options.maildir.empty() ? home / "Maildir" : options.maildir;
    for (const fs::path& folder : {home, maildir, run}) fs::create_directories(folder);
    const std::string f = m_folder.string(), key = f + "/server.key";
    std::string output;
    if (RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                   "-days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                       ShellQuote(key) + " -out " + ShellQuote(certificate().string()),
                   &output) != 0) {
        return "openssl failed: " + output;
    }
    // Dovecot reads no mail and runs no login as root: as root, it runs as its own users, and the
    // user dovecot must reach the account's home (through the test's folders) and own its mail.
    const bool root = ::geteuid() == 0;
    const passwd* mailUser = root ? ::getpwnam("dovecot") : ::getpwuid(::geteuid());
    if (root) {
        for (fs::path at = m_folder; at != at.parent_path(); at = at.parent_path()) {
            fs::permissions(at, fs::perms::others_exec, fs::perm_options::add);
        }
        const std::string mail = ShellQuote(home.string()) + " " + ShellQuote(maildir.string());
        if (RunCommand("chown -R dovecot: " + mail, &output) != 0) return "chown: " + output;
    }
    const std::string uid = std::to_string(mailUser->pw_uid);
    WriteFileBytes(m_folder / "passwd", std::string(kUser) + ":{PLAIN}" + kPassword + ":" + uid +
                                            ":" + std::to_string(mailUser->pw_gid) +
                                            "::" + home.string() + "\n");
    m_port = FreePort();
    m_startTlsPort = FreePort();
    std::ostringstream config;
    config << "base_dir = " << f << "/run\nstate_dir = " << f << "/state\n"
           << "log_path = " << f << "/dovecot.log\nprotocols = imap\nlisten = 127.0.0.1\n"
           << "ssl = required\nssl_cert = <" << certificate().string() << "\nssl_key = <" << key
           << "\ndisable_plaintext_auth = yes\n"
           << "default_login_user = " << (root ? "dovenull" : mailUser->pw_name) << "\n"
           << "default_internal_user = " << mailUser->pw_name << "\n"
           << "default_internal_group = " << ::getgrgid(mailUser->pw_gid)->gr_name << "\n"
           << "first_valid_uid = " << uid << "\n"
           << "mail_fsync = never\nauth_failure_delay = 0\n"
           << "mail_location = maildir:" << maildir.string() << "\n"
           << "passdb {\n  driver = passwd-file\n  args = " << f << "/passwd\n}\n"
           << "userdb {\n  driver = passwd-file\n  args = " << f << "/passwd\n}\n"
           << "service imap-login {\n  chroot =\n"
           << "  inet_listener imap {\n    port = " << m_startTlsPort << "\n  }\n"
           << "  inet_listener imaps {\n    port = " << m_port << "\n    ssl = yes\n  }\n}\n"
           << "service anvil {\n  chroot =\n}\n"
           << "namespace inbox {\n  inbox = yes\n  separator = " << options.separator << "\n}\n";
    if (options.quotaKilobytes) {
        config << "mail_plugins = quota\nplugin {\n  quota = maildir:User quota\n"
               << "  quota_rule = *:storage=" << *options.quotaKilobytes << "K\n}\n";
    }
    WriteFileBytes(m_folder / "dovecot.conf", config.str());
    // Dovecot writes master.pid once it listens: its folder is watched for it, and the server for
    // its end.
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ::inotify_add_watch(watch, run.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
    const std::string conf = f + "/dovecot.conf";
    m_pid = ForkChild([&] {
        ::execlp("dovecot", "dovecot", "-F", "-c", conf.c_str(), static_cast<char*>(nullptr));
        return 127;
    });
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    bool listening = false;
    for (pollfd ends[2] = {{watch, POLLIN, 0}, {pidfd, POLLIN, 0}};
         !listening && ::poll(ends, 2, 30'000) > 0 && ends[1].revents == 0;) {
        alignas(inotify_event) char events[4096];
        const ssize_t got = ::read(watch, events, sizeof events);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            listening |= event->len > 0 && std::string(event->name) == "master.pid";
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
    ::close(pidfd);
    const fs::path log = m_folder / "dovecot.log";
    if (listening) return "";
    return "dovecot did not start: " + (fs::exists(log) ? ReadFileBytes(log) : std::string());
}

DovecotServer::~DovecotServer() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    WaitForChild(m_pid);
}

std::vector<ImapReadMessage> DovecotServer::readBack() const {
    const ProgramRun read =
        RunProgram({"/usr/bin/env", "python3", QUILLET_IMAP_READER, "127.0.0.1",
                    std::to_string(m_port), certificate().string(), kUser, kPassword});
    EXPECT_EQ(read.exitCode, 0) << read.err;
    std::vector<ImapReadMessage> messages;
    std::istringstream lines(read.out);
    for (ImapReadMessage m; std::getline(lines, m.mailbox, '\t');) {
        std::string date, hex;
        std::getline(lines, m.flags, '\t');
        std::getline(lines, date, '\t');
        std::getline(lines, hex);
        m.internalDate = std::stoll(date);
        m.bytes.clear();
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
            m.bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
        messages.push_back(m);
    }
    return messages;
}

}  // namespace quillet::testing
