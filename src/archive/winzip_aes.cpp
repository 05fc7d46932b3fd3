#include "archive/winzip_aes.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "archive/crypto_failure.h"

namespace quillet::archive {

namespace {

constexpr int kKeyRounds = 1000;
constexpr std::size_t kBlockSize = 16;
// Key stream made per library call: large enough that the call's own cost vanishes, small enough
// to stay in the processor's cache while it is applied.
constexpr std::size_t kKeyStreamBatch = 64 * 1024;

std::size_t KeySize(AesStrength strength) {
    switch (strength) {
        case AesStrength::k128:
            return 16;
        case AesStrength::k192:
            return 24;
        case AesStrength::k256:
            return 32;
    }
    return 32;
}

const EVP_CIPHER* BlockCipher(AesStrength strength) {
    switch (strength) {
        case AesStrength::k128:
            return EVP_aes_128_ecb();
        case AesStrength::k192:
            return EVP_aes_192_ecb();
        case AesStrength::k256:
            return EVP_aes_256_ecb();
    }
    return EVP_aes_256_ecb();
}

void StoreLittleEndian(std::uint64_t value, std::byte* out) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &value, sizeof(value));
    } else {
        for (int i = 0; i < 8; ++i) out[i] = static_cast<std::byte>(value >> (8 * i));
    }
}

}  // namespace

struct WinZipAesCipher::Library {
    EVP_CIPHER_CTX* blocks = nullptr;
    EVP_MAC* mac = nullptr;
    EVP_MAC_CTX* authentication = nullptr;

    ~Library() {
        EVP_MAC_CTX_free(authentication);
        EVP_MAC_free(mac);
        EVP_CIPHER_CTX_free(blocks);
    }
};

std::size_t AesSaltSize(AesStrength strength) { return KeySize(strength) / 2; }

WinZipAesCipher::WinZipAesCipher(AesStrength strength)
    : m_strength(strength), m_library(std::make_unique<Library>()) {}

WinZipAesCipher::~WinZipAesCipher() {
    if (m_keyStream) OPENSSL_cleanse(m_keyStream.get(), kKeyStreamBatch);
}

Result<std::unique_ptr<WinZipAesCipher>> WinZipAesCipher::ForEntry(
    AesStrength strength, std::string_view password, std::span<const std::byte> salt) {
    std::unique_ptr<WinZipAesCipher> cipher(new WinZipAesCipher(strength));
    if (salt.size() != AesSaltSize(strength)) return Status::Error("The salt has the wrong size");
    std::memcpy(cipher->m_header.data(), salt.data(), salt.size());
    if (Status derived = cipher->deriveKeys(password); !derived) return derived;
    return cipher;
}

Result<std::unique_ptr<WinZipAesCipher>> WinZipAesCipher::ForNewEntry(AesStrength strength,
                                                                      std::string_view password) {
    std::unique_ptr<WinZipAesCipher> cipher(new WinZipAesCipher(strength));
    if (RAND_bytes(reinterpret_cast<unsigned char*>(cipher->m_header.data()),
                   static_cast<int>(AesSaltSize(strength))) != 1) {
        return CryptoLibraryFailure("make a random salt");
    }
    if (Status derived = cipher->deriveKeys(password); !derived) return derived;
    return cipher;
}

Status WinZipAesCipher::deriveKeys(std::string_view password) {
    const std::size_t keySize = KeySize(m_strength);
    const std::size_t saltSize = AesSaltSize(m_strength);
    // AES key, HMAC key, password verifier.
    std::array<unsigned char, 2 * 32 + kAesVerifierSize> keys{};
    const std::size_t keysSize = 2 * keySize + kAesVerifierSize;
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()),
                               reinterpret_cast<const unsigned char*>(m_header.data()),
                               static_cast<int>(saltSize), kKeyRounds, static_cast<int>(keysSize),
                               keys.data()) != 1) {
        return CryptoLibraryFailure("derive the keys from the password");
    }
    std::memcpy(m_header.data() + saltSize, keys.data() + 2 * keySize, kAesVerifierSize);

    Status outcome = Status::Ok();
    Library& library = *m_library;
    library.blocks = EVP_CIPHER_CTX_new();
    if (library.blocks == nullptr ||
        EVP_EncryptInit_ex(library.blocks, BlockCipher(m_strength), nullptr, keys.data(),
                           nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(library.blocks, 0) != 1) {
        outcome = CryptoLibraryFailure("set up AES");
    }
    if (outcome) {
        library.mac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr);
        library.authentication = library.mac != nullptr ? EVP_MAC_CTX_new(library.mac) : nullptr;
        char digest[] = OSSL_DIGEST_NAME_SHA1;
        const OSSL_PARAM parameters[] = {
            OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
            OSSL_PARAM_construct_end()};
        if (library.authentication == nullptr ||
            EVP_MAC_init(library.authentication, keys.data() + keySize, keySize, parameters) != 1) {
            outcome = CryptoLibraryFailure("set up HMAC-SHA1");
        }
    }
    OPENSSL_cleanse(keys.data(), keys.size());
    return outcome;
}

bool WinZipAesCipher::passwordMatches(std::span<const std::byte> verifier) const {
    return verifier.size() == kAesVerifierSize &&
           std::memcmp(verifier.data(), m_header.data() + AesSaltSize(m_strength),
                       kAesVerifierSize) == 0;
}

std::span<const std::byte> WinZipAesCipher::header() const {
    return std::span(m_header.data(), AesSaltSize(m_strength) + kAesVerifierSize);
}

Status WinZipAesCipher::decrypt(std::span<std::byte> data) {
    if (Status authenticated = authenticate(data); !authenticated) return authenticated;
    return applyKeyStream(data);
}

Status WinZipAesCipher::encrypt(std::span<std::byte> data) {
    if (Status applied = applyKeyStream(data); !applied) return applied;
    return authenticate(data);
}

Status WinZipAesCipher::authenticate(std::span<const std::byte> ciphertext) {
    if (ciphertext.empty()) return Status::Ok();
    if (EVP_MAC_update(m_library->authentication,
                       reinterpret_cast<const unsigned char*>(ciphertext.data()),
                       ciphertext.size()) != 1) {
        return CryptoLibraryFailure("compute HMAC-SHA1");
    }
    return Status::Ok();
}

Status WinZipAesCipher::refillKeyStream(std::size_t wanted) {
    if (!m_keyStream) m_keyStream = std::make_unique<std::byte[]>(kKeyStreamBatch);
    // Counter blocks, enciphered in place: counter mode with WinZip's little-endian counter, which
    // OpenSSL's own counter mode (big-endian) does not offer.
    const std::size_t blocks =
        std::min(kKeyStreamBatch, (wanted + kBlockSize - 1) / kBlockSize * kBlockSize) / kBlockSize;
    std::byte* out = m_keyStream.get();
    for (std::size_t i = 0; i < blocks; ++i) {
        StoreLittleEndian(m_counterLow, out + i * kBlockSize);
        StoreLittleEndian(m_counterHigh, out + i * kBlockSize + 8);
        if (++m_counterLow == 0) ++m_counterHigh;
    }
    int produced = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    if (EVP_EncryptUpdate(m_library->blocks, bytes, &produced, bytes,
                          static_cast<int>(blocks * kBlockSize)) != 1 ||
        produced != static_cast<int>(blocks * kBlockSize)) {
        return CryptoLibraryFailure("run AES");
    }
    m_keyStreamSize = blocks * kBlockSize;
    m_keyStreamUsed = 0;
    return Status::Ok();
}

Status WinZipAesCipher::applyKeyStream(std::span<std::byte> data) {
    while (!data.empty()) {
        if (m_keyStreamUsed == m_keyStreamSize) {
            if (Status refilled = refillKeyStream(data.size()); !refilled) return refilled;
        }
        const std::size_t count = std::min(data.size(), m_keyStreamSize - m_keyStreamUsed);
        const std::byte* stream = m_keyStream.get() + m_keyStreamUsed;
        for (std::size_t i = 0; i < count; ++i) data[i] ^= stream[i];
        m_keyStreamUsed += count;
        data = data.subspan(count);
    }
    return Status::Ok();
}

Result<AesCode> WinZipAesCipher::code() {
    unsigned char full[EVP_MAX_MD_SIZE];
    std::size_t size = 0;
    if (EVP_MAC_final(m_library->authentication, full, &size, sizeof(full)) != 1 ||
        size < kAesCodeSize) {
        return CryptoLibraryFailure("finish HMAC-SHA1");
    }
    AesCode code{};
    std::memcpy(code.data(), full, kAesCodeSize);
    return code;
}

Status WinZipAesCipher::checkCode(std::span<const std::byte> stored) {
    Result<AesCode> computed = code();
    if (!computed) return computed.status();
    if (stored.size() != kAesCodeSize ||
        CRYPTO_memcmp(stored.data(), computed->data(), kAesCodeSize) != 0) {
        return Status::Error("The authentication code does not match");
    }
    return Status::Ok();
}

}  // namespace quillet::archive
