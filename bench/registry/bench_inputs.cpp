// The files the registry benchmark reads: a key tree in the registry text form and a large
// user.reg in Wine's format, both made up here from a fixed seed.
#include "bench_inputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string_view>
#include <vector>

namespace quillet::bench {
namespace {

constexpr std::size_t kValuesPerKey = 100;
constexpr std::size_t kKeysPerGroup = 20;
constexpr std::size_t kFlushBytes = 1 << 20;

// SplitMix64: small, fast and the same on every platform, so every run writes the same files.
class Random {
  public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }

  private:
    std::uint64_t m_state;
};

constexpr std::array<std::string_view, 24> kValueWords = {
    "Account Name",  "SMTP Server",   "POP3 Server",  "IMAP Server", "Display Name",
    "Email Address", "Reply To",      "Signature",    "Last Folder", "Window Position",
    "Column Widths", "Flags",         "Timeout",      "Port",        "Connection",
    "Stationery",    "Rule Action",   "Sender",       "Subject",     "Last Sync",
    "Folder ID",     "Message Count", "Preview Pane", "Layout",
};

constexpr std::array<std::string_view, 32> kTextWords = {
    "mail",    "weekly", "report",  "meeting", "draft",   "family", "holiday", "invoice",
    "project", "notes",  "archive", "inbox",   "sent",    "folder", "summer",  "quarterly",
    "budget",  "travel", "photos",  "club",    "school",  "news",   "orders",  "receipts",
    "friends", "work",   "review",  "minutes", "contact", "update", "backup",  "server",
};

// Accented letters and an em dash, as UTF-8 and as Wine writes them.
constexpr std::string_view kAccentedUtf8 = "\xC3\x89lodie \xE2\x80\x94 \xC3\xA9t\xC3\xA9";
constexpr std::string_view kAccentedWine = "\\xc9lodie \\x2014 \\xe9t\\xe9";

std::string Guid(Random& random) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}",
                  static_cast<unsigned>(random.next() & 0xFFFFFFFF),
                  static_cast<unsigned>(random.below(0x10000)),
                  static_cast<unsigned>(random.below(0x10000)),
                  static_cast<unsigned>(random.below(0x10000)),
                  static_cast<unsigned long long>(random.next() & 0xFFFFFFFFFFFFULL));
    return text;
}

std::string Sentence(Random& random, std::size_t minWords, std::size_t maxWords) {
    const std::size_t count = minWords + random.below(maxWords - minWords + 1);
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += kTextWords[random.below(kTextWords.size())];
    }
    return text;
}

// A text value as a user's settings hold them; plain ASCII with single backslashes.
std::string AsciiText(Random& random) {
    char text[96];
    switch (random.below(5)) {
        case 0:
            std::snprintf(text, sizeof text, "%s.%s%u@example.org",
                          std::string(kTextWords[random.below(kTextWords.size())]).c_str(),
                          std::string(kTextWords[random.below(kTextWords.size())]).c_str(),
                          static_cast<unsigned>(random.below(10000)));
            return text;
        case 1:
            return "C:\\users\\quillet\\Local Settings\\Application Data\\Identities\\" +
                   Guid(random) + "\\Microsoft\\Outlook Express";
        case 2:
            std::snprintf(text, sizeof text, "smtp%u.mail.example.net",
                          static_cast<unsigned>(random.below(100)));
            return text;
        default:
            return Sentence(random, 1, 12);
    }
}

std::string ValueName(Random& random, std::size_t index) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, " %03zu", index);
    return std::string(kValueWords[random.below(kValueWords.size())]) + suffix;
}

std::size_t BinarySize(Random& random, bool allowLong) {
    static constexpr std::array<std::size_t, 6> kShort = {4, 8, 16, 28, 44, 92};
    if (allowLong && random.below(8) == 0) return 128 + random.below(512);
    return kShort[random.below(kShort.size())];
}

// Collects output and writes it to the file in large pieces.
class Writer {
  public:
    explicit Writer(const std::filesystem::path& file)
        : m_file(file), m_out(file, std::ios::binary | std::ios::trunc) {}
    bool opened() const { return static_cast<bool>(m_out); }
    std::string& buffer() { return m_buffer; }
    std::uint64_t offset() const { return m_flushed + m_buffer.size(); }
    void flushIfLarge() {
        if (m_buffer.size() >= kFlushBytes) flush();
    }
    Status finish() {
        flush();
        m_out.close();
        if (!m_out) return Status::Error("cannot write " + m_file.string());
        return Status::Ok();
    }

  private:
    void flush() {
        m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
        m_flushed += m_buffer.size();
        m_buffer.clear();
    }

    std::filesystem::path m_file;
    std::ofstream m_out;
    std::string m_buffer;
    std::uint64_t m_flushed = 0;
};

void AppendTextFormValue(std::string& out, Random& random, std::size_t index) {
    out += '"';
    out += ValueName(random, index);
    const std::size_t kind = random.below(100);
    char number[16];
    if (kind < 55) {
        out += "\"= sz:";
        const std::size_t flavour = random.below(50);
        if (flavour == 0) {
            out += kAccentedUtf8;
        } else if (flavour != 1) {  // 1: an empty text
            out += AsciiText(random);
        }
    } else if (kind < 60) {
        out += "\"=esz:%UserProfile%\\Local Settings\\Application Data\\Identities\\";
        out += Guid(random);
    } else if (kind < 85) {
        const auto value = static_cast<std::int32_t>(random.next() >> (random.below(4) * 8 + 32));
        std::snprintf(number, sizeof number, "%d", value);
        out += "\"= dw:";
        out += number;
    } else {
        out += "\"=bin:";
        const std::size_t size = BinarySize(random, false);
        for (std::size_t i = 0; i < size; ++i) {
            if (i > 0) out += ',';
            std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(random.below(256)));
            out += number;
        }
    }
    out += "\r\n";
}

// Doubles backslashes and escapes quotes, as Wine does for ASCII text.
void AppendWineText(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
}

// Appends a value line as Wine's writer produces it; hex data breaks after the comma that takes
// a line past 76 columns and continues after two blanks.
void AppendWineValue(std::string& out, Random& random, const std::string& name) {
    out += '"';
    AppendWineText(out, name);
    out += "\"=";
    int column = static_cast<int>(name.size()) + 3;
    const std::size_t kind = random.below(100);
    char number[16];
    if (kind < 50) {
        out += '"';
        if (random.below(40) == 0) {
            out += kAccentedWine;
        } else {
            AppendWineText(out, AsciiText(random));
        }
        out += "\"\n";
        return;
    }
    if (kind < 55) {
        out += "str(2):\"%UserProfile%\\\\Local Settings\\\\Application Data\\\\Identities\\\\";
        out += Guid(random);
        out += "\"\n";
        return;
    }
    if (kind < 80) {
        std::snprintf(number, sizeof number, "dword:%08x\n",
                      static_cast<unsigned>(random.next() >> (random.below(4) * 8 + 32)));
        out += number;
        return;
    }
    out += "hex:";
    column += 4;
    const std::size_t size = BinarySize(random, true);
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(number, sizeof number, "%02x", static_cast<unsigned>(random.below(256)));
        out += number;
        column += 2;
        if (i + 1 < size) {
            out += ',';
            if (++column > 76) {
                out += "\\\n  ";
                column = 2;
            }
        }
    }
    out += '\n';
}

// A key path as a Wine key line writes it: backslashes doubled.
std::string WineKeyPath(std::string_view path) {
    std::string escaped;
    AppendWineText(escaped, path);
    return escaped;
}

}  // namespace

Result<KeyTreeText> WriteKeyTreeText(const std::filesystem::path& file, std::size_t values) {
    Writer writer(file);
    if (!writer.opened()) return Status::Error("cannot create " + file.string());
    Random random(0x5EED0001);
    KeyTreeText written;
    std::string& out = writer.buffer();
    out += "\\\r\n";
    written.keys = 1;
    const std::size_t keys = (values + kValuesPerKey - 1) / kValuesPerKey;
    char path[48];
    for (std::size_t key = 0; key < keys; ++key) {
        const std::size_t group = key / kKeysPerGroup + 1;
        if (key % kKeysPerGroup == 0) {
            std::snprintf(path, sizeof path, "\\Store%03zu\r\n", group);
            out += path;
            ++written.keys;
        }
        std::snprintf(path, sizeof path, "\\Store%03zu\\Item%02zu\r\n", group,
                      key % kKeysPerGroup + 1);
        out += path;
        ++written.keys;
        const std::size_t count = std::min(kValuesPerKey, values - written.values);
        for (std::size_t index = 0; index < count; ++index) {
            AppendTextFormValue(out, random, index);
        }
        written.values += count;
        writer.flushIfLarge();
    }
    written.bytes = writer.offset();
    Status status = writer.finish();
    if (!status) return status;
    return written;
}

Result<KeyTreeText> WriteReverseSiblingsText(const std::filesystem::path& file,
                                             std::size_t siblings) {
    Writer writer(file);
    if (!writer.opened()) return Status::Error("cannot create " + file.string());
    KeyTreeText written;
    std::string& out = writer.buffer();
    out += "\\\r\n";
    written.keys = 1;
    char lines[64];
    for (std::size_t key = siblings; key-- > 0;) {
        std::snprintf(lines, sizeof lines, "\\Folder%06zu\r\n\"Id\"= dw:%zu\r\n", key, key);
        out += lines;
        ++written.keys;
        ++written.values;
        writer.flushIfLarge();
    }
    written.bytes = writer.offset();
    Status status = writer.finish();
    if (!status) return status;
    return written;
}

Status WriteEmptyUserReg(const std::filesystem::path& file) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\"
           "S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
    out.close();
    if (!out) return Status::Error("cannot write " + file.string());
    return Status::Ok();
}

Result<LargeUserReg> WriteLargeUserReg(const std::filesystem::path& file,
                                       std::uint64_t targetBytes) {
    Writer writer(file);
    if (!writer.opened()) return Status::Error("cannot create " + file.string());
    Random random(0x5EED0002);
    LargeUserReg written;
    std::string& out = writer.buffer();
    out +=
        "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\"
        "S-1-5-21-0-0-0-1000\n\n#arch=win64\n";
    // 2024-01-01 00:00:00 UTC as Unix seconds on the key line and as a FILETIME on #time.
    constexpr std::uint64_t kStamp = 1704067200;
    char timeLines[64];
    std::snprintf(timeLines, sizeof timeLines, "] %llu\n#time=%llx\n",
                  static_cast<unsigned long long>(kStamp),
                  static_cast<unsigned long long>((kStamp + 11644473600ULL) * 10000000ULL));

    constexpr std::size_t kItemsPerStore = 1000;
    char path[64];
    std::vector<std::string> names;
    for (std::size_t key = 0; writer.offset() < targetBytes; ++key) {
        std::snprintf(path, sizeof path, "Software\\Quillet Bench\\Store%03zu\\Item%04zu",
                      key / kItemsPerStore + 1, key % kItemsPerStore + 1);
        out += '\n';
        const std::uint64_t blockStart = writer.offset();
        const bool changedKey = written.changedKeyPath.empty() && blockStart >= targetBytes / 2;
        out += '[';
        out += WineKeyPath(path);
        out += timeLines;
        // Wine lists values in the order they were set; ours are sorted by name, which is one
        // such order.
        const std::size_t count = 8 + random.below(7);
        names.clear();
        for (std::size_t index = 0; index < count; ++index) {
            names.push_back(ValueName(random, index));
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) AppendWineValue(out, random, name);
        if (key == 0) written.someKeyPath = path;
        if (changedKey) {
            written.changedKeyPath = path;
            written.changedValueName = names[count / 2];
            written.changedBlockStart = blockStart;
            written.changedBlockEnd = writer.offset();
        }
        ++written.keys;
        written.values += count;
        writer.flushIfLarge();
    }
    written.bytes = writer.offset();
    Status status = writer.finish();
    if (!status) return status;
    return written;
}

Result<FileOverlap> CompareFiles(const std::filesystem::path& a, const std::filesystem::path& b) {
    struct Fd {
        int fd;
        ~Fd() {
            if (fd >= 0) ::close(fd);
        }
    };
    const Fd fa{::open(a.c_str(), O_RDONLY | O_CLOEXEC)};
    const Fd fb{::open(b.c_str(), O_RDONLY | O_CLOEXEC)};
    if (fa.fd < 0) return Status::Error("cannot open " + a.string() + ": " + std::strerror(errno));
    if (fb.fd < 0) return Status::Error("cannot open " + b.string() + ": " + std::strerror(errno));
    FileOverlap overlap;
    overlap.sizeA = static_cast<std::uint64_t>(::lseek(fa.fd, 0, SEEK_END));
    overlap.sizeB = static_cast<std::uint64_t>(::lseek(fb.fd, 0, SEEK_END));
    const std::uint64_t shorter = std::min(overlap.sizeA, overlap.sizeB);

    constexpr std::size_t kPiece = 1 << 20;
    std::vector<char> pieceA(kPiece), pieceB(kPiece);
    const auto readBoth = [&](std::uint64_t offsetA, std::uint64_t offsetB, std::size_t size) {
        return ::pread(fa.fd, pieceA.data(), size, static_cast<off_t>(offsetA)) ==
                   static_cast<ssize_t>(size) &&
               ::pread(fb.fd, pieceB.data(), size, static_cast<off_t>(offsetB)) ==
                   static_cast<ssize_t>(size);
    };

    while (overlap.commonPrefix < shorter) {
        const auto size = static_cast<std::size_t>(
            std::min<std::uint64_t>(kPiece, shorter - overlap.commonPrefix));
        if (!readBoth(overlap.commonPrefix, overlap.commonPrefix, size)) {
            return Status::Error("cannot read " + a.string() + " or " + b.string());
        }
        const auto mismatch = std::mismatch(pieceA.begin(), pieceA.begin() + size, pieceB.begin());
        overlap.commonPrefix += static_cast<std::uint64_t>(mismatch.first - pieceA.begin());
        if (mismatch.first != pieceA.begin() + size) break;
    }

    // The common end may not reach into the common start, or bytes would count twice.
    const std::uint64_t suffixLimit = shorter - overlap.commonPrefix;
    while (overlap.commonSuffix < suffixLimit) {
        const auto size = static_cast<std::size_t>(
            std::min<std::uint64_t>(kPiece, suffixLimit - overlap.commonSuffix));
        const std::uint64_t endA = overlap.sizeA - overlap.commonSuffix;
        const std::uint64_t endB = overlap.sizeB - overlap.commonSuffix;
        if (!readBoth(endA - size, endB - size, size)) {
            return Status::Error("cannot read " + a.string() + " or " + b.string());
        }
        std::size_t same = 0;
        while (same < size && pieceA[size - 1 - same] == pieceB[size - 1 - same]) ++same;
        overlap.commonSuffix += same;
        if (same != size) break;
    }
    return overlap;
}

}  // namespace quillet::bench
