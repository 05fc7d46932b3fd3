#include "cli/password_input.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "backup/information_file.h"
#include "cli/cli_context.h"

namespace quillet::cli {

Result<std::string> ReadPasswordFile(const std::string& file) {
    // A folder opens for reading on Linux and reads as nothing: an empty password.
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
        return Status::Error("the password file " + file + " is a folder, not a file",
                             ErrorKind::kBadInput);
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return Status::Error("cannot read the password file " + file);
    std::string password;
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

Result<std::string> ProtectionPassword(const std::optional<std::string>& passwordFile) {
    if (!passwordFile) return std::string();
    auto read = ReadPasswordFile(*passwordFile);
    if (!read) return read.status();
    if (read->empty()) {
        return Status::Error("the password file " + *passwordFile +
                                 " holds an empty password; a protected backup needs one (leave "
                                 "out --password-file for an unprotected backup)",
                             ErrorKind::kBadInput);
    }
    return read;
}

Result<std::string> AskPassword(const std::string& prompt) {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0) return Status::Error("no terminal to ask for the password: give --password-file");
    termios saved{};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    (void)!::write(tty, prompt.data(), prompt.size());
    std::string password;
    char c;
    while (::read(tty, &c, 1) == 1 && c != '\n') password += c;
    if (isTerminal) ::tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    return password;
}

Result<std::string> PasswordIfProtected(archive::Archive& archive, const std::string& archiveFile,
                                        const std::optional<std::string>& passwordFile,
                                        CliContext& context) {
    if (!archive.ArchiveHasPassword(archiveFile)) return std::string();
    if (passwordFile) return ReadPasswordFile(*passwordFile);
    return context.askPassword(archiveFile);
}

Status OpenBackup(OpenedBackup& backup, const std::string& backupFile,
                  const std::optional<std::string>& passwordFile, CliContext& context) {
    auto password = PasswordIfProtected(backup.archive(), backupFile, passwordFile, context);
    if (!password) return password.status();
    const Status opened = backup.open(backupFile, *password);
    if (opened || !(opened.is(ErrorKind::kAccessDenied) || opened.is(ErrorKind::kCorrupt))) {
        return opened;
    }
    const auto notABackup = [&](std::string why) {
        return Status::Error(backupFile + " " + kNotABackupText + (why.empty() ? "" : ": " + why),
                             ErrorKind::kCorrupt);
    };
    // A protected file that does not load fails the password check as a wrong password would.
    if (Status loaded = backup.archive().LoadArchive(backupFile); !loaded) {
        return notABackup(loaded.reason());
    }
    if (opened.is(ErrorKind::kAccessDenied)) {
        return Status::Error(std::string(kWrongPasswordText) + " " + backupFile,
                             ErrorKind::kAccessDenied);
    }
    // kInvalidBackupMessage, and after ": " the reason when there is one.
    const std::string_view reason = opened.reason();
    const std::string_view invalid = kInvalidBackupMessage;
    return notABackup(reason.starts_with(invalid) && reason.size() > invalid.size() + 2
                          ? std::string(reason.substr(invalid.size() + 2))
                          : "it holds no readable information file " +
                                std::string(kInformationFileName));
}

}  // namespace quillet::cli
