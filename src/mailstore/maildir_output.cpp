#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ctime>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "mailstore/folder_output.h"
#include "mailstore/message_state.h"
#include "mailstore/side_folder.h"
#include "platform/durable_file.h"
#include "platform/signal_cleanup.h"

namespace quillet::mailstore {

namespace {

constexpr std::size_t kWriteBlock = 256 * 1024;
// FILETIME counts 100 ns from 1601; Unix time seconds from 1970.
constexpr std::uint64_t kFileTimeTicksPerSecond = 10'000'000;
constexpr std::uint64_t kFileTimeSecondsTo1970 = 11'644'473'600;

// The Maildir's folders, in the order a root maildir's are put in place: cur/ holds the messages,
// so it comes last.
constexpr std::array<std::string_view, 3> kSubfolders = {"new", "tmp", "cur"};
constexpr std::string_view kMessages = "cur";
constexpr std::string_view kDelivery = "tmp";
constexpr std::string_view kFolderMark = "maildirfolder";

// The host part of a message's file name: "/" and ":" cannot be in it, and are written as Maildir
// writers write them ("\057", "\072").
std::string HostPart() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    std::string host;
    for (const char* c = name; *c != '\0'; ++c) {
        host += *c == '/' ? "\\057" : *c == ':' ? "\\072" : std::string(1, *c);
    }
    return host;
}

// Seconds since 1970 of a FILETIME, or nullopt when it has none or it lies before 1970.
std::optional<std::time_t> UnixTime(std::uint64_t fileTime) {
    const std::uint64_t seconds = fileTime / kFileTimeTicksPerSecond;
    if (fileTime == 0 || seconds < kFileTimeSecondsTo1970) return std::nullopt;
    return static_cast<std::time_t>(seconds - kFileTimeSecondsTo1970);
}

class MaildirOutput : public FolderOutput {
  public:
    MaildirOutput(std::filesystem::path target, bool root)
        : m_target(std::move(target)), m_root(root), m_host(HostPart()) {}

    ~MaildirOutput() override {
        if (m_fd >= 0) ::close(m_fd);
    }

    Status begin() override {
        if (Status s = m_folder.make(m_root ? m_target / kMessages : m_target); !s) return s;
        for (std::string_view subfolder : kSubfolders) {
            const std::filesystem::path made = m_folder.path() / subfolder;
            if (::mkdir(made.c_str(), 0777) != 0) {
                return OutputFailure("Cannot create", made, errno);
            }
        }
        if (m_root) return Status::Ok();
        // Maildir++ marks each folder but the Inbox with an empty "maildirfolder" file (delivery
        // programs look for it to find the quota of the maildir above).
        const std::filesystem::path mark = m_folder.path() / kFolderMark;
        const int fd = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 || ::close(fd) != 0) return OutputFailure("Cannot create", mark, errno);
        return Status::Ok();
    }

    // The file is "<time>.Q<position + 1>.<host>": unique in its folder, and unlike the names
    // mail servers and programs deliver under ("<time>.M<microseconds>P<process>.<host>"); the
    // same export made again gives the same names. The time is the message's received time (0
    // when it has none), which Maildir readers sort by and, as the file's time, show as received.
    Status startMessage(std::size_t position, const MessageEntry& message) override {
        m_received = UnixTime(message.receivedTime);
        m_name = std::to_string(m_received.value_or(0)) + ".Q" + std::to_string(position + 1) +
                 "." + m_host;
        m_info = MaildirInfo(MessageState::Of(message));
        m_buffer.clear();
        const std::filesystem::path file = m_folder.path() / kDelivery / m_name;
        m_fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (m_fd < 0) return OutputFailure("Cannot create", file, errno);
        return Status::Ok();
    }

    Status write(std::span<const std::byte> piece) override {
        m_buffer.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        return m_buffer.size() < kWriteBlock ? Status::Ok() : writeBuffer();
    }

    Status finishMessage() override {
        if (Status s = writeBuffer(); !s) return s;
        const std::filesystem::path delivered = m_folder.path() / kDelivery / m_name;
        if (m_received) {
            const struct timespec times[2] = {{*m_received, 0}, {*m_received, 0}};
            ::futimens(m_fd, times);  // only a date shown: the message is whole without it
        }
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) return OutputFailure("Cannot write", delivered, errno);
        const std::filesystem::path placed = m_folder.path() / kMessages / (m_name + m_info);
        if (::rename(delivered.c_str(), placed.c_str()) != 0) {
            return OutputFailure("Cannot create", placed, errno);
        }
        return Status::Ok();
    }

    Status commit() override {
        if (Status s = m_folder.flush(); !s) return s;
        if (m_root) {
            if (Status s = commitRoot(); !s) return s;
        } else {
            std::filesystem::path moved = m_folder.path();
            if (Status s = PutInPlace(moved, m_target); !s) return s;
            m_folder.keep();
            RemoveRemnant(moved);
        }
        const std::filesystem::path parent = m_root ? m_target : m_target.parent_path();
        if (int error = RealFileOperations().syncFolder(parent); error != 0) {
            return OutputFailure("Cannot write", parent, error);
        }
        return Status::Ok();
    }

  private:
    // Puts new/, tmp/ and cur/ in place, in that order. What they replace is removed only once
    // all three are there; when one fails, those already placed are put back as they were.
    Status commitRoot() {
        std::vector<std::filesystem::path> replaced;  // what each placed folder replaced, or ""
        for (std::string_view subfolder : kSubfolders) {
            std::filesystem::path moved = m_folder.path() / subfolder;
            Status placed = PutInPlace(moved, m_target / subfolder);
            if (!placed) {
                for (std::size_t i = replaced.size(); i-- > 0;) {
                    const std::filesystem::path target = m_target / kSubfolders[i];
                    std::filesystem::path back = replaced[i];
                    if (back.empty()) {
                        ::rename(target.c_str(), (m_folder.path() / kSubfolders[i]).c_str());
                    } else {
                        // Best effort: the failure that stopped the commit is what is told.
                        (void)PutInPlace(back, target);
                    }
                }
                return placed;
            }
            replaced.push_back(std::move(moved));
        }
        m_folder.keep();
        for (const std::filesystem::path& remnant : replaced) RemoveRemnant(remnant);
        RemoveRemnant(m_folder.path());
        return Status::Ok();
    }

    Status writeBuffer() {
        Status status = WriteAllToFd(m_fd, m_buffer);
        m_buffer.clear();
        if (!status) {
            return Status::Error("Cannot write " + (m_folder.path() / kDelivery / m_name).string() +
                                     ": " + status.reason(),
                                 status.kind());
        }
        return Status::Ok();
    }

    std::filesystem::path m_target;
    bool m_root;
    std::string m_host;
    SideFolder m_folder;
    std::string m_name;
    std::string m_info;
    std::optional<std::time_t> m_received;
    std::string m_buffer;
    int m_fd = -1;
};

}  // namespace

std::unique_ptr<FolderOutput> MakeMaildirOutput(std::filesystem::path target, bool root) {
    return std::make_unique<MaildirOutput>(std::move(target), root);
}

}  // namespace quillet::mailstore
