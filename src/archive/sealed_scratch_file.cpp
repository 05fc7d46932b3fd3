#include "archive/sealed_scratch_file.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "archive/crypto_failure.h"

namespace quillet::archive {

namespace {

constexpr std::size_t kBlockSize = 16;
// Bytes enciphered and written per system call.
constexpr std::size_t kBatchSize = 256 * 1024;

Status OpenFailure(const std::filesystem::path& folder, int error) {
    const std::string reason =
        "Cannot make a scratch file in " + folder.string() + ": " + std::strerror(error);
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return Status::Error(reason, ErrorKind::kNotFound);
        case EACCES:
        case EPERM:
        case EROFS:
            return Status::Error(reason, ErrorKind::kAccessDenied);
        case ENOSPC:
        case EDQUOT:
            return Status::Error(reason, ErrorKind::kDiskFull);
        default:
            return Status::Error(reason);
    }
}

// A file in `folder` that has no name: O_TMPFILE where the file system has it, else a file made
// and unlinked at once. -1 with errno set on failure.
int OpenNamelessFile(const std::filesystem::path& folder) {
    int descriptor = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (descriptor >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
        return descriptor;
    }
    std::string pattern = (folder / ".scratch-XXXXXX").string();
    descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (descriptor < 0) return -1;
    if (::unlink(pattern.c_str()) != 0) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

}  // namespace

struct SealedScratchFile::Cipher {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    // Freeing the context wipes the key schedule it holds.
    ~Cipher() { EVP_CIPHER_CTX_free(context); }
};

Result<std::unique_ptr<SealedScratchFile>> SealedScratchFile::Create(
    const std::filesystem::path& folder) {
    const int descriptor = OpenNamelessFile(folder);
    if (descriptor < 0) return OpenFailure(folder, errno);
    std::unique_ptr<SealedScratchFile> file(new SealedScratchFile(descriptor, folder));
    if (RAND_bytes(file->m_key.data(), static_cast<int>(file->m_key.size())) != 1 ||
        RAND_bytes(file->m_nonce.data(), static_cast<int>(file->m_nonce.size())) != 1) {
        return CryptoLibraryFailure("make a key");
    }
    if (file->m_cipher->context == nullptr ||
        EVP_EncryptInit_ex(file->m_cipher->context, EVP_aes_256_ctr(), nullptr, file->m_key.data(),
                           file->m_nonce.data()) != 1) {
        return CryptoLibraryFailure("start the cipher");
    }
    return file;
}

SealedScratchFile::SealedScratchFile(int descriptor, std::filesystem::path folder)
    : m_descriptor(descriptor), m_folder(std::move(folder)), m_cipher(std::make_unique<Cipher>()) {}

SealedScratchFile::~SealedScratchFile() {
    OPENSSL_cleanse(m_key.data(), m_key.size());
    OPENSSL_cleanse(m_nonce.data(), m_nonce.size());
    if (!m_buffer.empty()) OPENSSL_cleanse(m_buffer.data(), m_buffer.size());
    ::close(m_descriptor);
}

Status SealedScratchFile::transform(Cipher& cipher, std::uint64_t offset,
                                    std::span<std::byte> data) const {
    // The counter block of the block holding `offset`: the nonce plus the block's number, as one
    // 128-bit big-endian number (the way the counter mode itself counts on).
    std::array<unsigned char, kBlockSize> counter = m_nonce;
    std::uint64_t add = offset / kBlockSize;
    unsigned carry = 0;
    for (std::size_t i = kBlockSize; i-- > 0;) {
        const unsigned sum = counter[i] + static_cast<unsigned>(add & 0xFF) + carry;
        counter[i] = static_cast<unsigned char>(sum);
        carry = sum >> 8;
        add >>= 8;
    }
    int produced = 0;
    if (EVP_EncryptInit_ex(cipher.context, nullptr, nullptr, nullptr, counter.data()) != 1) {
        return CryptoLibraryFailure("set the counter");
    }
    OPENSSL_cleanse(counter.data(), counter.size());
    // Skips the key stream before `offset` in its block.
    if (const std::size_t skip = offset % kBlockSize; skip != 0) {
        unsigned char unused[kBlockSize] = {};
        if (EVP_EncryptUpdate(cipher.context, unused, &produced, unused, static_cast<int>(skip)) !=
            1) {
            return CryptoLibraryFailure("encipher");
        }
    }
    for (std::size_t done = 0; done < data.size();) {
        const std::size_t step = std::min(data.size() - done, kBatchSize);
        auto* bytes = reinterpret_cast<unsigned char*>(data.data() + done);
        if (EVP_EncryptUpdate(cipher.context, bytes, &produced, bytes, static_cast<int>(step)) !=
            1) {
            return CryptoLibraryFailure("encipher");
        }
        done += step;
    }
    return Status::Ok();
}

Status SealedScratchFile::writeFailure(int error) {
    m_failed = true;
    if (error == ENOSPC || error == EDQUOT) {
        return Status::Error(
            "The disk is full: no room left in " + m_folder.string() + " for a scratch file",
            ErrorKind::kDiskFull);
    }
    return Status::Error("Cannot write a scratch file in " + m_folder.string() + ": " +
                         std::strerror(error));
}

Status SealedScratchFile::append(std::span<const std::byte> data) {
    if (m_failed) {
        return Status::Error("The scratch file in " + m_folder.string() +
                             " failed before and takes nothing more");
    }
    if (m_buffer.empty()) m_buffer.resize(kBatchSize);
    while (!data.empty()) {
        const std::size_t step = std::min(data.size(), kBatchSize);
        std::span<std::byte> batch(m_buffer.data(), step);
        std::memcpy(batch.data(), data.data(), step);
        if (Status sealed = transform(*m_cipher, m_size, batch); !sealed) {
            m_failed = true;
            return sealed;
        }
        for (std::size_t written = 0; written < step;) {
            const ssize_t put = ::pwrite(m_descriptor, batch.data() + written, step - written,
                                         static_cast<off_t>(m_size + written));
            if (put < 0 && errno == EINTR) continue;
            if (put < 0) return writeFailure(errno);
            if (put == 0) return writeFailure(ENOSPC);
            written += static_cast<std::size_t>(put);
        }
        m_size += step;
        data = data.subspan(step);
    }
    return Status::Ok();
}

Status SealedScratchFile::readAt(std::uint64_t offset, std::span<std::byte> out) const {
    if (offset > m_size || out.size() > m_size - offset) {
        return Status::Error("A read passes the end of the scratch file in " + m_folder.string(),
                             ErrorKind::kBadInput);
    }
    for (std::size_t done = 0; done < out.size();) {
        const ssize_t got = ::pread(m_descriptor, out.data() + done, out.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            return Status::Error("Cannot read the scratch file in " + m_folder.string() + ": " +
                                 (got < 0 ? std::strerror(errno) : "it ends early"));
        }
        done += static_cast<std::size_t>(got);
    }
    return transform(*m_cipher, offset, out);
}

}  // namespace quillet::archive
