#include "mailstore/incomplete_export_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

#include "mailstore/folder_output.h"
#include "mailstore/side_folder.h"
#include "platform/durable_file.h"

namespace quillet::mailstore {
namespace {

// The list is the export's own: one that a user made longer than this is no list of ours.
constexpr std::size_t kMostBytes = 64 << 20;
constexpr std::size_t kReadBlock = 1 << 16;
constexpr std::string_view kNewSuffix = ".new";
constexpr std::string_view kFromLine = "From ";

bool ParseNumber(std::string_view text, std::uint64_t* value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Hands the bytes of `file` to `take`, a block at a time. Returns 0, or the error that kept it from
// being read whole (EFBIG past `most` bytes).
template <typename Take>
int ReadBlocks(FileOperations& files, const std::filesystem::path& file, std::uint64_t most,
               Take take) {
    int fd = -1;
    if (int error = files.open(file, O_RDONLY | O_NOFOLLOW, 0, &fd); error != 0) return error;
    std::vector<char> block(kReadBlock);
    std::uint64_t total = 0;
    int error = 0;
    while (true) {
        const ssize_t got = ::read(fd, block.data(), block.size());
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            error = got == 0 ? 0 : errno;
            break;
        }
        total += static_cast<std::uint64_t>(got);
        if (total > most) {
            error = EFBIG;
            break;
        }
        take(std::string_view(block.data(), static_cast<std::size_t>(got)));
    }
    (void)files.close(fd);  // read only: nothing to lose
    return error;
}

}  // namespace

Result<FolderHoldings> MeasureFolder(const std::filesystem::path& target, ExportFormat format,
                                     FileOperations& files) {
    FolderHoldings holdings;
    auto cannotRead = [&](int error) { return OutputFailure("Cannot read", target, error); };
    if (format == ExportFormat::kMbox) {
        // mboxrd quotes a body's "From " lines, so each one left is a message's first.
        bool lineStart = true;
        std::size_t matched = 0;  // of kFromLine, at a line's start
        const int error = ReadBlocks(files, target, UINT64_MAX, [&](std::string_view block) {
            holdings.bytes += block.size();
            for (const char c : block) {
                if (lineStart || matched > 0) {
                    matched = c == kFromLine[matched] ? matched + 1 : 0;
                    if (matched == kFromLine.size()) {
                        ++holdings.messages;
                        matched = 0;
                    }
                }
                lineStart = c == '\n';
            }
        });
        if (error != 0) return cannotRead(error);
        return holdings;
    }
    std::vector<std::filesystem::path> folders = {target};
    if (format == ExportFormat::kMaildir) folders = {target / "cur", target / "new"};
    for (const std::filesystem::path& folder : folders) {
        std::vector<std::string> names;
        if (int error = files.listFolder(folder, &names); error != 0) return cannotRead(error);
        for (const std::string& name : names) {
            struct stat info {};
            if (files.status(folder / name, false, &info) != 0 || !S_ISREG(info.st_mode)) continue;
            if (format == ExportFormat::kMaildir && !IsExportedMessageName(name)) continue;
            ++holdings.messages;
            holdings.bytes += static_cast<std::uint64_t>(info.st_size);
        }
    }
    return holdings;
}

IncompleteExportList::~IncompleteExportList() {
    if (m_fd >= 0) (void)m_files.close(m_fd);
}

void IncompleteExportList::read(const std::filesystem::path& outFolder) {
    std::string text;
    if (ReadBlocks(m_files, outFolder / kIncompleteExportFile, kMostBytes,
                   [&](std::string_view block) { text.append(block); }) != 0) {
        return;
    }
    // A line cut short by a crash has no end, and is no line.
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const std::string_view line = std::string_view(text).substr(start, end - start);
        const std::size_t bytesAt = line.rfind('\t');
        const std::size_t messagesAt = line.rfind('\t', bytesAt - 1);
        if (bytesAt == std::string_view::npos || messagesAt == std::string_view::npos ||
            messagesAt == 0) {
            continue;
        }
        FolderHoldings holdings;
        if (ParseNumber(line.substr(messagesAt + 1, bytesAt - messagesAt - 1),
                        &holdings.messages) &&
            ParseNumber(line.substr(bytesAt + 1), &holdings.bytes)) {
            m_read[std::string(line.substr(0, messagesAt))] = holdings;
        }
    }
}

std::optional<FolderHoldings> IncompleteExportList::listed(const std::string& key) const {
    const auto found = m_read.find(key);
    if (found == m_read.end()) return std::nullopt;
    return found->second;
}

Status IncompleteExportList::failure(const std::filesystem::path& outFolder, int error) const {
    return OutputFailure("Cannot write", outFolder / kIncompleteExportFile, error);
}

Status IncompleteExportList::add(const std::filesystem::path& outFolder, const std::string& key,
                                 const FolderHoldings& holdings) {
    const std::string line = key + "\t" + std::to_string(holdings.messages) + "\t" +
                             std::to_string(holdings.bytes) + "\n";
    const std::filesystem::path list = outFolder / kIncompleteExportFile;
    if (m_fd >= 0) {
        Status written = WriteAllToFd(m_fd, line, m_files);
        if (!written) {
            return Status::Error("Cannot write " + list.string() + ": " + written.reason(),
                                 written.kind());
        }
        if (int error = m_files.fsync(m_fd); error != 0) return failure(outFolder, error);
        return Status::Ok();
    }
    // The old list goes whole: renamed over, a link there is replaced, never followed.
    std::filesystem::path temporary = list;
    temporary += kNewSuffix;
    (void)m_files.unlink(temporary);  // a killed run's
    int fd = -1;
    if (int error = m_files.open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666, &fd);
        error != 0) {
        return failure(outFolder, error);
    }
    Status written = WriteAllToFd(fd, line, m_files);
    int error = written ? m_files.fsync(fd) : 0;
    if (int closed = m_files.close(fd); error == 0 && written) error = closed;
    if (written && error == 0) error = m_files.rename(temporary, list);
    if (!written || error != 0) {
        (void)m_files.unlink(temporary);
        if (!written) {
            return Status::Error("Cannot write " + list.string() + ": " + written.reason(),
                                 written.kind());
        }
        return failure(outFolder, error);
    }
    if (int synced = m_files.syncFolder(outFolder); synced != 0) return failure(outFolder, synced);
    if (int opened = m_files.open(list, O_WRONLY | O_APPEND | O_NOFOLLOW, 0, &m_fd); opened != 0) {
        m_fd = -1;
        return failure(outFolder, opened);
    }
    return Status::Ok();
}

void IncompleteExportList::remove(const std::filesystem::path& outFolder) {
    if (m_fd >= 0) (void)m_files.close(m_fd);
    m_fd = -1;
    // One that stays names only folders that are complete: a later export keeps what still
    // holds what it says.
    (void)m_files.unlink(outFolder / kIncompleteExportFile);
}

}  // namespace quillet::mailstore
