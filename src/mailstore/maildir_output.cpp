#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <ctime>
#include <optional>
#include <set>
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
constexpr std::string_view kDelivered = "new";
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
    MaildirOutput(std::filesystem::path target, bool root, OutputSetting setting)
        : m_target(std::move(target)),
          m_root(root),
          m_host(HostPart()),
          m_files(*setting.files),
          m_folderSwept(setting.folderSwept),
          m_folder(m_files) {}

    ~MaildirOutput() override {
        if (m_fd >= 0) (void)m_files.close(m_fd);  // the folder it is in goes with it
    }

    Status begin() override {
        const std::filesystem::path beside = m_root ? m_target / kMessages : m_target;
        if (Status s = m_folder.make(beside, m_folderSwept); !s) return s;
        for (std::string_view subfolder : kSubfolders) {
            const std::filesystem::path made = m_folder.path() / subfolder;
            if (int error = m_files.makeFolder(made, 0777); error != 0) {
                return OutputFailure("Cannot create", made, error);
            }
        }
        if (m_root) return Status::Ok();
        // Maildir++ marks each folder but the Inbox with an empty "maildirfolder" file (delivery
        // programs look for it to find the quota of the maildir above).
        const std::filesystem::path mark = m_folder.path() / kFolderMark;
        int fd = -1;
        int error = m_files.open(mark, O_WRONLY | O_CREAT | O_EXCL, 0666, &fd);
        if (error == 0) error = m_files.close(fd);
        if (error != 0) return OutputFailure("Cannot create", mark, error);
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
        if (int error = m_files.open(file, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666, &m_fd);
            error != 0) {
            m_fd = -1;
            return OutputFailure("Cannot create", file, error);
        }
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
        if (int error = m_files.close(fd); error != 0) {
            return OutputFailure("Cannot write", delivered, error);
        }
        const std::filesystem::path placed = m_folder.path() / kMessages / (m_name + m_info);
        if (int error = m_files.rename(delivered, placed); error != 0) {
            return OutputFailure("Cannot create", placed, error);
        }
        return Status::Ok();
    }

    Status commit(const BeforePlacing& beforePlacing) override {
        if (Status s = m_folder.flush(); !s) return s;
        if (beforePlacing) {
            if (Status s = beforePlacing(m_folder.path()); !s) return s;
        }
        if (existing()) {
            if (Status s = mergeIntoExisting(); !s) return s;
        } else if (m_root) {
            if (Status s = commitRoot(); !s) return s;
        } else {
            std::filesystem::path moved = m_folder.path();
            if (Status s = PutInPlace(moved, m_target, m_files); !s) return s;
            m_folder.keep();
            RemoveRemnant(moved, m_files);
        }
        const std::filesystem::path parent = m_root ? m_target : m_target.parent_path();
        if (int error = m_files.syncFolder(parent); error != 0) {
            return OutputFailure("Cannot write", parent, error);
        }
        return Status::Ok();
    }

  private:
    // Whether a Maildir (or anything of one) is there already.
    bool existing() const {
        struct stat info;
        if (!m_root) return m_files.status(m_target, false, &info) == 0;
        for (std::string_view subfolder : kSubfolders) {
            if (m_files.status(m_target / subfolder, false, &info) == 0) return true;
        }
        return false;
    }

    // Adds the messages to the Maildir there, replacing only what an earlier export wrote.
    Status mergeIntoExisting() {
        for (std::string_view subfolder : kSubfolders) {
            const std::filesystem::path made = m_target / subfolder;
            if (int error = m_files.makeFolder(made, 0777); error != 0 && error != EEXIST) {
                return OutputFailure("Cannot create", made, error);
            }
        }
        FileOperations& files = m_files;
        std::vector<std::string> names;
        const std::filesystem::path written = m_folder.path() / kMessages;
        if (int error = files.listFolder(written, &names); error != 0) {
            return OutputFailure("Cannot read", written, error);
        }
        const std::set<std::string> placed(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::filesystem::path to = m_target / kMessages / name;
            if (int error = files.rename(written / name, to); error != 0) {
                return OutputFailure("Cannot create", to, error);
            }
        }
        for (std::string_view subfolder : {kMessages, kDelivered}) {
            const std::filesystem::path folder = m_target / subfolder;
            std::vector<std::string> there;
            if (int error = files.listFolder(folder, &there); error != 0) {
                return OutputFailure("Cannot read", folder, error);
            }
            for (const std::string& name : there) {
                const bool earlier = IsExportedMessageName(name) &&
                                     !(subfolder == kMessages && placed.contains(name));
                if (earlier) (void)files.unlink(folder / name);  // what stays is only a copy
            }
            if (int error = files.syncFolder(folder); error != 0) {
                return OutputFailure("Cannot write", folder, error);
            }
        }
        RemoveRemnant(m_folder.path(), m_files);
        m_folder.keep();
        return Status::Ok();
    }

    // Puts new/, tmp/ and cur/ in place, in that order. What they replace is removed only once
    // all three are there; when one fails, those already placed are put back as they were.
    Status commitRoot() {
        std::vector<std::filesystem::path> replaced;  // what each placed folder replaced, or ""
        for (std::string_view subfolder : kSubfolders) {
            std::filesystem::path moved = m_folder.path() / subfolder;
            Status placed = PutInPlace(moved, m_target / subfolder, m_files);
            if (!placed) {
                for (std::size_t i = replaced.size(); i-- > 0;) {
                    const std::filesystem::path target = m_target / kSubfolders[i];
                    std::filesystem::path back = replaced[i];
                    // Best effort: the failure that stopped the commit is what is told.
                    if (back.empty()) {
                        (void)m_files.rename(target, m_folder.path() / kSubfolders[i]);
                    } else {
                        (void)PutInPlace(back, target, m_files);
                    }
                }
                return placed;
            }
            replaced.push_back(std::move(moved));
        }
        m_folder.keep();
        for (const std::filesystem::path& remnant : replaced) RemoveRemnant(remnant, m_files);
        RemoveRemnant(m_folder.path(), m_files);
        return Status::Ok();
    }

    Status writeBuffer() {
        Status status = WriteAllToFd(m_fd, m_buffer, m_files);
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
    FileOperations& m_files;
    bool m_folderSwept;
    SideFolder m_folder;
    std::string m_name;
    std::string m_info;
    std::optional<std::time_t> m_received;
    std::string m_buffer;
    int m_fd = -1;
};

}  // namespace

bool IsExportedMessageName(std::string_view name) {
    auto digits = [&name] {
        std::size_t count = 0;
        while (count < name.size() && name[count] >= '0' && name[count] <= '9') ++count;
        name.remove_prefix(count);
        return count > 0;
    };
    constexpr std::string_view kMark = ".Q";
    if (!digits() || !name.starts_with(kMark)) return false;
    name.remove_prefix(kMark.size());
    return digits() && name.size() > 1 && name.front() == '.';
}

std::unique_ptr<FolderOutput> MakeMaildirOutput(std::filesystem::path target, bool root,
                                                OutputSetting setting) {
    return std::make_unique<MaildirOutput>(std::move(target), root, setting);
}

}  // namespace quillet::mailstore
