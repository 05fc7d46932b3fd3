#include "backup/information_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "archive/entry_name.h"
#include "platform/bounded_read.h"
#include "platform/case_fold.h"
#include "platform/durable_file.h"
#include "platform/text_encoding.h"

namespace quillet {
namespace {

constexpr std::string_view kLineBreakMarker = "PS$QLB";

}  // namespace

bool TakesInformationFileName(std::string_view name) {
    return archive::EntryNamesCollide(name, kInformationFileName);
}

Status SaveINI(std::string_view keyName, std::string_view keyValue,
               const std::filesystem::path& fileName) {
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Status::Error("cannot open " + fileName.string() + ": " + std::strerror(errno));
    }
    // Text that is not UTF-8 (a description typed in a Windows-1252 terminal) is converted, so
    // that the file stays UTF-8 and its other lines are read back as written.
    std::string line = DecodeTextFileBytes(keyName);
    line.append("=").append(DecodeTextFileBytes(keyValue)).append("\r\n");
    Status written = WriteAllToFd(fd, line);
    if (::close(fd) != 0 && written) {
        written = Status::Error(std::strerror(errno));
    }
    if (!written)
        return Status::Error("cannot write " + fileName.string() + ": " + written.reason());
    return Status::Ok();
}

Result<std::string> ReadInformationText(const std::filesystem::path& fileName) {
    const Result<std::string> bytes = ReadFileUpTo(fileName, kMaxInformationFileBytes);
    if (!bytes) return bytes.status();
    if (bytes->size() > kMaxInformationFileBytes) {
        return Status::Error(fileName.string() + " holds more than " +
                                 std::to_string(kMaxInformationFileBytes / (1024 * 1024)) +
                                 " MB, more than an information file ever does",
                             ErrorKind::kCorrupt);
    }
    return DecodeTextFileBytes(*bytes);
}

std::string INIValue(std::string_view keyName, std::string_view text) {
    const std::string wanted = AsciiUpper(keyName);
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        start = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (AsciiUpper(line.substr(0, equals)) != wanted) continue;
        std::string value(line.substr(equals + 1));
        const std::size_t zero = value.find('\0');
        if (zero != std::string::npos) value.resize(zero);
        return value;
    }
    return std::string();
}

Result<std::string> GetINI(std::string_view keyName, const std::filesystem::path& fileName) {
    Result<std::string> text = ReadInformationText(fileName);
    if (!text) return text.status();
    return INIValue(keyName, *text);
}

std::vector<std::string> SplitNameList(std::string_view names) {
    std::vector<std::string> list;
    std::size_t start = 0;
    while (start < names.size()) {
        std::size_t end = names.find(';', start);
        if (end == std::string_view::npos) end = names.size();
        list.emplace_back(names.substr(start, end - start));
        start = end + 1;
    }
    return list;
}

Result<std::filesystem::path> sGetTempFile(std::string_view prefix,
                                           const std::filesystem::path& folder) {
    // Start where the process id points, as the system's own rule does, and walk on from there.
    const unsigned start = static_cast<unsigned>(::getpid()) & 0xFFFF;
    char number[8];
    for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
        const unsigned value = ((start + attempt) & 0xFFFF) == 0 ? 1 : (start + attempt) & 0xFFFF;
        std::snprintf(number, sizeof number, "%X", value);
        const std::filesystem::path path = folder / (std::string(prefix) + number + ".TMP");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST) {
            return Status::Error("cannot create a work file in " + folder.string() + ": " +
                                 std::strerror(errno));
        }
    }
    return Status::Error("no free work file name left in " + folder.string());
}

std::string EncodeDescription(std::string_view description) {
    std::string encoded;
    for (std::size_t i = 0; i < description.size(); ++i) {
        const char c = description[i];
        if (c == '\r' || c == '\n') {
            encoded += kLineBreakMarker;
            if (c == '\r' && i + 1 < description.size() && description[i + 1] == '\n') ++i;
        } else {
            encoded += c;
        }
    }
    return encoded;
}

std::string DecodeDescription(std::string_view stored) {
    std::string decoded;
    std::size_t start = 0;
    for (;;) {
        const std::size_t marker = stored.find(kLineBreakMarker, start);
        if (marker == std::string_view::npos) break;
        decoded.append(stored.substr(start, marker - start)).append("\r\n");
        start = marker + kLineBreakMarker.size();
    }
    decoded.append(stored.substr(start));
    return decoded;
}

}  // namespace quillet
