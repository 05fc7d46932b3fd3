#include "mailstore/loose_mail_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "mailstore/dbx_header.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/folder_mail_source.h"

namespace quillet::mailstore {
namespace {

constexpr std::string_view kStoreExtension = ".dbx";

Status CannotRead(const std::filesystem::path& file, int error) {
    const ErrorKind kind = error == ENOENT   ? ErrorKind::kNotFound
                           : error == EACCES ? ErrorKind::kAccessDenied
                                             : ErrorKind::kIo;
    return Status::Error(file.string() + " cannot be read: " + std::strerror(error), kind);
}

Status NoRegularFile(const std::filesystem::path& file, mode_t mode) {
    const char* what = S_ISDIR(mode)    ? "a folder"
                       : S_ISFIFO(mode) ? "a FIFO"
                       : S_ISCHR(mode)  ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "no regular file";
    return Status::Error(file.string() + " is " + what + ", not a file", ErrorKind::kBadInput);
}

std::string NotAStore(const std::filesystem::path& file, const FileStart& start) {
    return file.string() + " is no Outlook Express message store: " + DescribeFileStart(start);
}

bool HasStoreExtension(const std::string& name) {
    return name.size() >= kStoreExtension.size() &&
           EqualsIgnoringCase(std::string_view(name).substr(name.size() - kStoreExtension.size()),
                              kStoreExtension);
}

// A file listed as a loose store, told by its content.
MailSource::StoreName Examine(const std::filesystem::path& file) {
    MailSource::StoreName store{.fileName = file.filename().string()};
    auto start = ReadFileStart(file);
    if (!start) {
        store.notAStore = start.reason();
        return store;
    }
    store.size = start->size;
    if (!StartsAsStore(*start)) {
        store.notAStore = NotAStore(file, *start);
        return store;
    }
    auto bytes = OpenStoreFile(file);
    if (!bytes) {
        store.notAStore = bytes.reason();
        return store;
    }
    // A damaged header is left for the reader, which says how it is damaged.
    if (auto header = ReadDbxHeader(**bytes); header) store.kind = header->kind;
    return store;
}

// What a loose source's description adds: the code page its names are read in.
std::string CodePageNote(const AnsiCodePage& codePage) {
    return " (names read in code page " + std::to_string(codePage.number()) + ")";
}

std::unique_ptr<MailSource> WithCodePage(std::unique_ptr<MailSource> source,
                                         const AnsiCodePage& codePage) {
    source->setOrigin({.codePage = codePage});
    return source;
}

}  // namespace

Result<FileStart> ReadFileStart(const std::filesystem::path& file) {
    // The kind is asked before opening: opening a device may act on it.
    struct stat facts {};
    if (::stat(file.c_str(), &facts) != 0) return CannotRead(file, errno);
    if (!S_ISREG(facts.st_mode)) return NoRegularFile(file, facts.st_mode);
    // Without blocking, in case a FIFO took the file's place since.
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return CannotRead(file, errno);
    if (::fstat(descriptor, &facts) != 0 || !S_ISREG(facts.st_mode)) {
        ::close(descriptor);
        return NoRegularFile(file, facts.st_mode);
    }
    FileStart start;
    start.size = static_cast<std::uint64_t>(facts.st_size);
    start.bytes.resize(FileStart::kBytes);
    std::size_t filled = 0;
    while (filled < start.bytes.size()) {
        const ssize_t got =
            ::read(descriptor, start.bytes.data() + filled, start.bytes.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int error = errno;
            ::close(descriptor);
            return CannotRead(file, error);
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    ::close(descriptor);
    start.bytes.resize(filled);
    return start;
}

bool StartsAsStore(const FileStart& start) {
    return start.bytes.size() >= kDbxMagic.size() &&
           std::memcmp(start.bytes.data(), kDbxMagic.data(), kDbxMagic.size()) == 0;
}

std::string DescribeFileStart(const FileStart& start) {
    if (start.bytes.empty()) return "it is empty";
    std::string text;
    for (const std::byte byte : start.bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (c == '\t' || c == '\r' || c == '\n') {
            text += ' ';
        } else if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            text.clear();
            break;
        }
    }
    if (!text.empty()) return "it begins with the text \"" + text + "\"";
    constexpr std::size_t kShown = 8;
    std::string shown = "it begins with the bytes";
    for (std::size_t i = 0; i < start.bytes.size() && i < kShown; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned>(start.bytes[i]));
        shown += hex;
    }
    return shown;
}

Result<std::unique_ptr<MailSource>> LooseStoreFile(const std::filesystem::path& file,
                                                   const AnsiCodePage& codePage) {
    auto start = ReadFileStart(file);
    if (!start) return start.status();
    if (!StartsAsStore(*start)) return Status::Error(NotAStore(file, *start), ErrorKind::kBadInput);
    return WithCodePage(
        MakeFolderMailSource("message store " + file.string() + CodePageNote(codePage),
                             file.parent_path(), std::vector<MailSource::StoreName>{Examine(file)}),
        codePage);
}

Result<std::unique_ptr<MailSource>> LooseStoreFolder(const std::filesystem::path& folder,
                                                     const AnsiCodePage& codePage) {
    auto failed = [&](const std::error_code& error) {
        return Status::Error(
            "Cannot list " + folder.string() + ": " + error.message(),
            error == std::errc::permission_denied ? ErrorKind::kAccessDenied : ErrorKind::kIo);
    };
    std::error_code error;
    std::filesystem::directory_iterator entry(folder, error);
    if (error) return failed(error);
    std::vector<MailSource::StoreName> stores;
    for (; entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        const std::filesystem::path& file = entry->path();
        std::error_code ignored;  // a link to nothing is examined, and told as unreadable
        if (!HasStoreExtension(file.filename().string()) ||
            std::filesystem::is_directory(file, ignored)) {
            continue;
        }
        stores.push_back(Examine(file));
    }
    if (error) return failed(error);
    if (stores.empty()) {
        return Status::Error(
            "The folder " + folder.string() + " holds no message stores (.dbx files)",
            ErrorKind::kNotFound);
    }
    SortStores(stores);
    return WithCodePage(
        MakeFolderMailSource("message store folder " + folder.string() + CodePageNote(codePage),
                             folder, std::move(stores)),
        codePage);
}

}  // namespace quillet::mailstore
