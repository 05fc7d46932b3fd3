#include "archive/zip_reader.h"

#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <memory>
#include <unordered_map>

#include "archive/entry_name.h"
#include "archive/read_ahead.h"
#include "archive/winzip_aes.h"
#include "archive/zip_error_text.h"
#include "platform/case_fold.h"

namespace quillet::archive {

namespace {

// Stored data is read (and deciphered) on a thread of its own, ahead of the inflating one, in
// pieces of kRawChunk bytes, at most kRawChunksAhead of them.
constexpr std::size_t kRawChunk = 256 * 1024;
constexpr std::size_t kRawChunksAhead = 4;
constexpr std::size_t kPlainChunk = 256 * 1024;

bool IsWinZipAes(std::uint16_t encryption) {
    return encryption == ZIP_EM_AES_128 || encryption == ZIP_EM_AES_192 ||
           encryption == ZIP_EM_AES_256;
}

// An entry recorded as a symbolic link, a folder or a device is not a file Quillet wrote; the
// Unix file type is in the high half of the external attributes, the MS-DOS folder bit in the
// low byte. An entry with no file type recorded is taken as a plain file.
Status CheckFileType(zip_t* archive, zip_uint64_t index, const std::string& name) {
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) {
        return Status::Error(zip_strerror(archive));
    }
    const zip_uint32_t unixType = (attributes >> 16) & S_IFMT;
    const bool folder = (attributes & 0x10) != 0 && system != ZIP_OPSYS_UNIX;
    if ((system == ZIP_OPSYS_UNIX && unixType != 0 && unixType != S_IFREG) || folder) {
        return Status::Error("the entry \"" + name + "\" is not a plain file");
    }
    return Status::Ok();
}

class Inflater {
  public:
    Inflater() { m_ready = inflateInit2(&m_stream, -15) == Z_OK; }
    ~Inflater() {
        if (m_ready) inflateEnd(&m_stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;
    bool ready() const { return m_ready; }
    z_stream& stream() { return m_stream; }

  private:
    z_stream m_stream{};
    bool m_ready = false;
};

// An entry's stored data as libzip reads it: compressed, and for a WinZip AES entry (after
// startAes) deciphered and authenticated here.
class RawEntryReader {
  public:
    RawEntryReader(zip_file_t* file, const std::string& quoted) : m_file(file), m_quoted(quoted) {}

    // Reads the salt and password verifier of an AES entry of `storedSize` bytes and sets up its
    // cipher. Fails on a wrong password.
    Status startAes(AesStrength strength, const std::string& password, std::uint64_t storedSize) {
        const std::size_t saltSize = AesSaltSize(strength);
        if (storedSize < saltSize + kAesVerifierSize + kAesCodeSize) {
            return Status::Error("The entry " + m_quoted +
                                 " is damaged: too short to be encrypted");
        }
        std::array<std::byte, 16 + kAesVerifierSize> header{};
        const std::span<std::byte> stored(header.data(), saltSize + kAesVerifierSize);
        if (Status read = readExactly(stored); !read) return read;
        Result<std::unique_ptr<WinZipAesCipher>> cipher =
            WinZipAesCipher::ForEntry(strength, password, stored.first(saltSize));
        if (!cipher) return cipher.status();
        if (!(*cipher)->passwordMatches(stored.subspan(saltSize))) {
            return Status::Error("Wrong password for " + m_quoted);
        }
        m_cipher = std::move(*cipher);
        m_ciphertextLeft = storedSize - saltSize - kAesVerifierSize - kAesCodeSize;
        return Status::Ok();
    }

    // The next bytes of compressed data; 0 at the end, once the authentication code has been
    // checked.
    Result<std::size_t> read(std::span<std::byte> out) {
        if (!m_cipher) {
            const zip_int64_t count = zip_fread(m_file, out.data(), out.size());
            if (count < 0) return failure();
            return static_cast<std::size_t>(count);
        }
        if (m_ciphertextLeft == 0) {
            if (!m_authenticated) {
                std::array<std::byte, kAesCodeSize> stored{};
                if (Status read = readExactly(stored); !read) return read;
                if (!m_cipher->checkCode(stored)) {
                    return Status::Error("The entry " + m_quoted +
                                         " failed its authentication check: wrong password or "
                                         "damaged archive");
                }
                m_authenticated = true;
            }
            return std::size_t{0};
        }
        // Never more than the stored data: libzip must not be asked past its end, where for a
        // stored entry it would compare the entry's CRC with that of the ciphertext.
        out = out.first(
            static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), m_ciphertextLeft)));
        if (Status read = readExactly(out); !read) return read;
        m_ciphertextLeft -= out.size();
        if (Status deciphered = m_cipher->decrypt(out); !deciphered) return deciphered;
        return out.size();
    }

  private:
    Status readExactly(std::span<std::byte> out) {
        const zip_int64_t count = zip_fread(m_file, out.data(), out.size());
        if (count < 0) return failure();
        if (static_cast<std::size_t>(count) != out.size()) {
            return Status::Error("The entry " + m_quoted + " is damaged: its data is cut short");
        }
        return Status::Ok();
    }

    Status failure() const {
        const int code = zip_error_code_zip(zip_file_get_error(m_file));
        return Status::Error("The entry " + m_quoted + " is damaged: " + ZipErrorText(code));
    }

    zip_file_t* m_file;
    const std::string& m_quoted;
    std::unique_ptr<WinZipAesCipher> m_cipher;
    std::uint64_t m_ciphertextLeft = 0;
    bool m_authenticated = false;
};

}  // namespace

ZipReader::~ZipReader() { close(); }

void ZipReader::close() {
    if (m_archive != nullptr) zip_discard(m_archive);
    m_archive = nullptr;
    m_entries.clear();
    m_details.clear();
    m_positions.clear();
    m_file.clear();
}

Status ZipReader::open(const std::filesystem::path& file) {
    close();
    int openError = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &openError);
    if (archive == nullptr) {
        // libzip's text for this one, "File already exists", would send the user looking for a
        // file in the way.
        if (openError == ZIP_ER_EXISTS) {
            return Status::Error("The archive '" + file.string() +
                                 "' is invalid: it holds an entry name twice");
        }
        return Status::Error("Cannot open the archive '" + file.string() +
                             "': " + ZipErrorText(openError));
    }
    std::unique_ptr<zip_t, decltype(&zip_discard)> guard(archive, &zip_discard);
    const std::string invalid = "The archive '" + file.string() + "' is invalid: ";

    const zip_int64_t count = zip_get_num_entries(archive, 0);
    std::unordered_map<std::string, std::string> namesIgnoringCase;
    std::vector<ArchiveEntry> entries;
    std::vector<EntryDetails> details;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat) != 0) {
            return Status::Error(invalid + zip_strerror(archive));
        }
        const zip_uint64_t needed = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE |
                                    ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
        // WinZip AES entries of the second kind record a CRC of 0 (their authentication code
        // covers the data); every other entry must have a CRC. libzip reports such a 0 as a CRC
        // unless the entry is under 20 bytes, and does not tell the two kinds apart: an AES entry
        // whose CRC is 0 is authenticated by its code alone.
        const bool aes = IsWinZipAes(stat.encryption_method);
        const bool crcKnown = (stat.valid & ZIP_STAT_CRC) != 0 && !(aes && stat.crc == 0);
        if ((stat.valid & needed) != needed || stat.name == nullptr || (!crcKnown && !aes)) {
            return Status::Error(invalid + "an entry's directory record is incomplete");
        }
        const std::string name = stat.name;
        if (Status plain = CheckEntryName(name); !plain) {
            return Status::Error(invalid + plain.reason());
        }
        // A name not flagged as UTF-8 is read as code page 437, which shows control characters as
        // symbols: the bytes as stored must pass too.
        const char* stored = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (stored == nullptr) return Status::Error(invalid + zip_strerror(archive));
        if (Status plain = CheckEntryName(stored); !plain) {
            return Status::Error(invalid + plain.reason());
        }
        if (Status plain = CheckFileType(archive, static_cast<zip_uint64_t>(i), name); !plain) {
            return Status::Error(invalid + plain.reason());
        }
        // Names equal but for the case of letters would overwrite each other on Windows, whose file
        // names ignore case; Quillet never writes such an archive, so it is not one of ours.
        const auto [seen, isNew] = namesIgnoringCase.emplace(AsciiLower(name), name);
        if (!isNew) {
            if (seen->second == name) {
                return Status::Error(invalid + "it holds the entry \"" + name + "\" twice");
            }
            return Status::Error(invalid + "the entries \"" + seen->second + "\" and \"" + name +
                                 "\" name the same file");
        }
        entries.push_back({name, stat.size, stat.encryption_method != ZIP_EM_NONE});
        details.push_back({static_cast<std::uint64_t>(i), stat.comp_size, stat.crc, crcKnown,
                           stat.comp_method, stat.encryption_method});
    }
    // In a protected archive every entry is authenticated by the password: an entry left plain
    // (or under the traditional zip cipher) could have been put there by anyone able to write the
    // file, and would be restored as it stands.
    const bool protectedArchive = std::any_of(
        details.begin(), details.end(), [](const auto& d) { return d.encryption != ZIP_EM_NONE; });
    for (std::size_t i = 0; protectedArchive && i < details.size(); ++i) {
        if (!IsWinZipAes(details[i].encryption)) {
            return Status::Error(invalid + "it is protected by a password but its entry \"" +
                                 entries[i].name + "\" is not encrypted with WinZip AES");
        }
    }

    std::unordered_map<std::string, std::size_t> positions;
    positions.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) positions.emplace(entries[i].name, i);

    m_archive = guard.release();
    m_file = file;
    m_entries = std::move(entries);
    m_details = std::move(details);
    m_positions = std::move(positions);
    return Status::Ok();
}

std::optional<std::size_t> ZipReader::find(std::string_view name) const {
    const auto found = m_positions.find(std::string(name));
    if (found == m_positions.end()) return std::nullopt;
    return found->second;
}

Status ZipReader::readEntry(std::size_t position, const std::string& password,
                            const Sink& sink) const {
    if (m_archive == nullptr || position >= m_entries.size()) {
        return Status::Error("No such entry in the archive");
    }
    const ArchiveEntry& entry = m_entries[position];
    const EntryDetails& details = m_details[position];
    const std::string quoted = "'" + entry.name + "'";
    if (details.method != ZIP_CM_STORE && details.method != ZIP_CM_DEFLATE) {
        return Status::Error("The entry " + quoted + " uses a compression method (" +
                             std::to_string(details.method) + ") that cannot be read");
    }
    if (entry.encrypted && password.empty()) {
        return Status::Error("The entry " + quoted + " is protected by a password");
    }

    const bool ownAes = IsWinZipAes(details.encryption);
    // WinZip AES entries are read as stored (salt, verifier, ciphertext, code) and deciphered
    // here, in large batches; other encrypted entries are deciphered by libzip.
    zip_file_t* file =
        ownAes ? zip_fopen_index(m_archive, details.index, ZIP_FL_ENCRYPTED)
               : zip_fopen_index_encrypted(m_archive, details.index, ZIP_FL_COMPRESSED,
                                           entry.encrypted ? password.c_str() : nullptr);
    if (file == nullptr) {
        const int code = zip_error_code_zip(zip_get_error(m_archive));
        zip_error_clear(m_archive);
        if (code == ZIP_ER_WRONGPASSWD) return Status::Error("Wrong password for " + quoted);
        return Status::Error("Cannot read the entry " + quoted + ": " + ZipErrorText(code));
    }
    // Closed exactly once, below or on an early return.
    std::unique_ptr<zip_file_t, decltype(&zip_fclose)> guard(file, &zip_fclose);

    RawEntryReader raw(file, quoted);
    if (ownAes) {
        const auto strength = static_cast<AesStrength>(details.encryption & 0xff);
        if (Status started = raw.startAes(strength, password, details.compressedSize); !started) {
            return started;
        }
    }

    const bool deflated = details.method == ZIP_CM_DEFLATE;
    Inflater inflater;
    if (deflated && !inflater.ready()) return Status::Error("Cannot set up decompression");
    // From here until it is stopped, only the read-ahead thread uses `raw` and the libzip file;
    // it is stopped before the file is closed, also on an early return (declared after `guard`).
    ReadAhead ahead([&raw](std::span<std::byte> out) { return raw.read(out); }, kRawChunk,
                    kRawChunksAhead);
    if (Status started = ahead.start(); !started) return started;
    std::vector<std::byte> plain(deflated ? kPlainChunk : 0);
    std::uint64_t produced = 0;
    uLong crc = crc32(0, nullptr, 0);
    bool streamEnded = !deflated;

    const auto deliver = [&](const std::byte* data, std::size_t size) -> Status {
        produced += size;
        if (produced > entry.size) {
            return Status::Error("The entry " + quoted + " is damaged: more data than recorded");
        }
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
        return sink(std::span<const std::byte>(data, size));
    };

    for (;;) {
        Result<std::span<const std::byte>> input = ahead.next();
        if (!input) return input.status();
        if (input->empty()) break;
        if (!deflated) {
            if (Status taken = deliver(input->data(), input->size()); !taken) return taken;
            continue;
        }
        z_stream& stream = inflater.stream();
        // zlib only reads through next_in.
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(input->data()));
        stream.avail_in = static_cast<uInt>(input->size());
        // Inflate until this chunk is used up and no output is pending (a full output buffer may
        // leave more behind even when all input has been taken).
        for (bool more = true; more;) {
            if (streamEnded) {
                if (stream.avail_in == 0) break;
                return Status::Error("The entry " + quoted +
                                     " is damaged: data after the end of its compressed stream");
            }
            stream.next_out = reinterpret_cast<Bytef*>(plain.data());
            stream.avail_out = static_cast<uInt>(plain.size());
            const int result = inflate(&stream, Z_NO_FLUSH);
            if (result == Z_STREAM_END) {
                streamEnded = true;
            } else if (result == Z_BUF_ERROR) {
                break;  // nothing more to do before the next chunk
            } else if (result != Z_OK) {
                return Status::Error("The entry " + quoted +
                                     " is damaged: its compressed data is invalid");
            }
            const std::size_t made = plain.size() - stream.avail_out;
            if (made > 0) {
                if (Status taken = deliver(plain.data(), made); !taken) return taken;
            }
            more = stream.avail_in > 0 || stream.avail_out == 0;
        }
    }

    if (!streamEnded) {
        return Status::Error("The entry " + quoted +
                             " is damaged: its compressed data is cut short");
    }
    if (produced != entry.size) {
        return Status::Error("The entry " + quoted + " is damaged: its size does not match");
    }
    if (details.crcKnown && crc != details.crc) {
        return Status::Error("The entry " + quoted + " is damaged: CRC mismatch");
    }
    ahead.stop();
    const int closed = zip_fclose(guard.release());
    if (closed != 0) {
        return Status::Error("The entry " + quoted +
                             " failed its final check: " + ZipErrorText(closed));
    }
    return Status::Ok();
}

}  // namespace quillet::archive
