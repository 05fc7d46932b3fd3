#include "support/imap/dovecot_server.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
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
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(listener);
    return port;
}

}  // namespace

DovecotServer::DovecotServer(const fs::path& folder, const DovecotOptions& options)
    : m_folder(folder) {
    m_failure = start(options);
}

std::string DovecotServer::start(const DovecotOptions& options) {
    fs::create_directories(m_folder);
    std::string output;
    const std::string certificate = this->certificate().string();
    const std::string key = (m_folder / "server.key").string();
    if (RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
                   "-days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout " +
                       ShellQuote(key) + " -out " + ShellQuote(certificate),
                   &output) != 0) {
        return "openssl failed: " + output;
    }
    // Dovecot's login processes must not run as root, nor may mail be read as root: run as root,
    // it uses its own unprivileged users, which must reach the account's home.
    const bool root = ::geteuid() == 0;
    const uid_t mailUid = root ? ::getpwnam("dovecot")->pw_uid : ::geteuid();
    const gid_t mailGid = root ? ::getpwnam("dovecot")->pw_gid : ::getegid();
    const fs::path home = m_folder / "home";
    fs::create_directories(home);
    if (root) {
        // ... through every folder above it (the test's own temporary folders).
        for (fs::path at = m_folder; at != at.parent_path(); at = at.parent_path()) {
            fs::permissions(at, fs::perms::group_exec | fs::perms::others_exec,
                            fs::perm_options::add);
        }
        if (::chown(home.c_str(), mailUid, mailGid) != 0) return "cannot hand the home over";
        // ... and all of the Maildir given.
        std::error_code error;
        bool handed =
            options.maildir.empty() || ::chown(options.maildir.c_str(), mailUid, mailGid) == 0;
        for (auto at = fs::recursive_directory_iterator(options.maildir, error);
             at != fs::recursive_directory_iterator(); ++at) {
            handed &= ::lchown(at->path().c_str(), mailUid, mailGid) == 0;
        }
        if (!handed) return "cannot hand the Maildir over";
    }
    const fs::path maildir = options.maildir.empty() ? home / "Maildir" : options.maildir;
    for (int attempt = 1;; ++attempt) {
        m_port = FreePort();
        m_startTlsPort = FreePort();
        WriteFileBytes(m_folder / "passwd",
                       std::string(kUser) + ":{PLAIN}" + kPassword + ":" + std::to_string(mailUid) +
                           ":" + std::to_string(mailGid) + "::" + home.string() + "\n");
        const std::string f = m_folder.string();
        std::ostringstream config;
        config << "base_dir = " << f << "/run\n"
               << "state_dir = " << f << "/state\n"
               << "log_path = " << f << "/dovecot.log\n"
               << "protocols = imap\n"
               << "listen = 127.0.0.1\n"
               << "ssl = required\n"
               << "ssl_cert = <" << certificate << "\n"
               << "ssl_key = <" << key << "\n"
               << "disable_plaintext_auth = yes\n"
               << "default_login_user = " << (root ? "dovenull" : ::getpwuid(mailUid)->pw_name)
               << "\n"
               << "default_internal_user = " << ::getpwuid(mailUid)->pw_name << "\n"
               << "default_internal_group = " << ::getgrgid(mailGid)->gr_name << "\n"
               << "first_valid_uid = " << mailUid << "\n"
               << "mail_fsync = never\n"  // a test's mail need not survive a power cut
               << "auth_failure_delay = 0\n"
               << "mail_location = maildir:" << maildir.string() << "\n"
               << "passdb {\n  driver = passwd-file\n  args = " << f << "/passwd\n}\n"
               << "userdb {\n  driver = passwd-file\n  args = " << f << "/passwd\n}\n"
               << "service imap-login {\n  chroot =\n"
               << "  inet_listener imap {\n    port = " << m_startTlsPort << "\n  }\n"
               << "  inet_listener imaps {\n    port = " << m_port << "\n    ssl = yes\n  }\n}\n"
               << "service anvil {\n  chroot =\n}\n"
               << "namespace inbox {\n  inbox = yes\n  separator = " << options.separator
               << "\n}\n";
        if (options.quotaKilobytes) {
            config << "mail_plugins = quota\n"
                   << "plugin {\n  quota = maildir:User quota\n  quota_rule = *:storage="
                   << *options.quotaKilobytes << "K\n}\n";
        }
        WriteFileBytes(m_folder / "dovecot.conf", config.str());
        // Dovecot writes master.pid once it listens: its folder is watched for it.
        const fs::path run = m_folder / "run";
        fs::create_directories(run);
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ::inotify_add_watch(watch, run.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO);
        const std::string conf = f + "/dovecot.conf";
        m_pid = ForkChild([&] {
            ::execlp("dovecot", "dovecot", "-F", "-c", conf.c_str(), static_cast<char*>(nullptr));
            return 127;
        });
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
        bool listening = false;
        while (!listening) {
            pollfd ends[2] = {{watch, POLLIN, 0}, {pidfd, POLLIN, 0}};
            if (::poll(ends, 2, 30'000) <= 0 || ends[1].revents != 0) break;
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
        if (listening) return {};
        ::kill(m_pid, SIGKILL);
        WaitForChild(m_pid);
        m_pid = -1;
        // Another process may take a port between FreePort and Dovecot's bind: try new ones.
        if (attempt == 3 || log().find("Address already in use") == std::string::npos) {
            return "dovecot did not start: " + log();
        }
    }
}

std::string DovecotServer::log() const {
    std::error_code error;
    return fs::exists(m_folder / "dovecot.log", error) ? ReadFileBytes(m_folder / "dovecot.log")
                                                       : "";
}

DovecotServer::~DovecotServer() {
    if (m_pid <= 0) return;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    ::kill(m_pid, SIGTERM);
    pollfd gone{pidfd, POLLIN, 0};
    if (pidfd < 0 || ::poll(&gone, 1, 10'000) == 0) ::kill(m_pid, SIGKILL);
    if (pidfd >= 0) ::close(pidfd);
    WaitForChild(m_pid);
}

std::optional<std::vector<ImapReadMessage>> DovecotServer::readBack(std::string* error) const {
    const ProgramRun read =
        RunProgram({"/usr/bin/env", "python3", QUILLET_IMAP_READER, "127.0.0.1",
                    std::to_string(m_port), certificate().string(), kUser, kPassword});
    if (read.exitCode != 0) {
        if (error != nullptr) *error = read.err;
        return std::nullopt;
    }
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
