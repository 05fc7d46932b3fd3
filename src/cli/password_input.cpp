#include "cli/password_input.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
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

namespace {

// The first line that `command` prints, run by /bin/sh; fails when it does not exit 0.
Result<std::string> CommandPassword(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return Status::Error("cannot run the --password-command");
    std::string password;
    int c;
    while ((c = std::fgetc(pipe)) != EOF && c != '\n') password += static_cast<char>(c);
    while (c != EOF) c = std::fgetc(pipe);  // the rest, so that the command is not cut off
    const int status = ::pclose(pipe);
    if (status != 0) {
        return Status::Error("the --password-command \"" + command + "\" failed",
                             ErrorKind::kBadInput);
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
}

}  // namespace

Result<std::optional<std::string>> GivenPassword(const std::optional<std::string>& passwordFile,
                                                 const CliContext& context) {
    const std::optional<std::string> fromVariable =
        context.environment().get(kPasswordFileVariable);
    std::optional<Result<std::string>> read;
    if (passwordFile) {
        read.emplace(ReadPasswordFile(*passwordFile));
    } else if (context.passwordCommand) {
        read.emplace(CommandPassword(*context.passwordCommand));
    } else if (fromVariable && !fromVariable->empty()) {
        read.emplace(ReadPasswordFile(*fromVariable));
    }
    if (!read) return std::optional<std::string>();
    if (!*read) return read->status();
    return std::optional<std::string>(std::move(read->value()));
}

Result<std::string> ProtectionPassword(const std::optional<std::string>& passwordFile,
                                       const CliContext& context) {
    auto given = GivenPassword(passwordFile, context);
    if (!given) return given.status();
    if (!*given) return std::string();
    if ((*given)->empty()) {
        return Status::Error(
            "an empty password was given; a protected backup needs one (give "
            "none for an unprotected backup)",
            ErrorKind::kBadInput);
    }
    return **given;
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
    auto given = GivenPassword(passwordFile, context);
    if (!given) return given.status();
    if (*given) return **given;
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
