#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/status.h"

namespace quillet::archive {

// The key strengths of WinZip AES, numbered as in the entry's 0x9901 extra field.
enum class AesStrength : std::uint8_t { k128 = 1, k192 = 2, k256 = 3 };

// Bytes of salt stored before an entry's ciphertext: 8, 12 or 16.
std::size_t AesSaltSize(AesStrength strength);

// The two-byte password verifier stored after the salt, and the authentication code stored after
// the ciphertext (the first 10 bytes of an HMAC-SHA1 over the ciphertext).
inline constexpr std::size_t kAesVerifierSize = 2;
inline constexpr std::size_t kAesCodeSize = 10;
using AesCode = std::array<std::byte, kAesCodeSize>;

// WinZip AES encryption of one zip entry's (compressed) data, on OpenSSL's libcrypto: keys derived
// with PBKDF2-HMAC-SHA1 (1000 rounds) from the password and the entry's salt, AES in counter mode
// with WinZip's little-endian counter starting at 1, and HMAC-SHA1 over the ciphertext.
//
// The data may be passed in pieces of any size; the key stream is produced in large batches, one
// library call per batch. All libcrypto failures are translated here into a Status.
//
// One object ciphers one entry, in one direction. Not thread-safe; objects share no state.
class WinZipAesCipher {
  public:
    // The cipher of an existing entry whose data starts with `salt` (AesSaltSize bytes). Fails only
    // when the library fails (out of memory). Whether the password is right is told by
    // passwordMatches, and for certain only by the authentication code at the end.
    static Result<std::unique_ptr<WinZipAesCipher>> ForEntry(AesStrength strength,
                                                             std::string_view password,
                                                             std::span<const std::byte> salt);
    // The cipher of a new entry, with a fresh random salt. Its header() goes before the
    // ciphertext, the code() after it.
    static Result<std::unique_ptr<WinZipAesCipher>> ForNewEntry(AesStrength strength,
                                                                std::string_view password);

    ~WinZipAesCipher();
    WinZipAesCipher(const WinZipAesCipher&) = delete;
    WinZipAesCipher& operator=(const WinZipAesCipher&) = delete;

    // Whether `verifier`, the two bytes stored after the salt, matches the password. A wrong
    // password passes about once in 65,536 tries; only the authentication code is conclusive.
    bool passwordMatches(std::span<const std::byte> verifier) const;

    // Salt and password verifier, as stored before the ciphertext.
    std::span<const std::byte> header() const;

    // Deciphers (reading) or enciphers (writing) `data` in place, following the data passed before.
    Status decrypt(std::span<std::byte> data);
    Status encrypt(std::span<std::byte> data);

    // The authentication code of all the ciphertext passed so far. Call once, at the end.
    Result<AesCode> code();

    // Whether the `stored` code (kAesCodeSize bytes) equals code(), compared in constant time.
    // Call once, at the end, instead of code().
    Status checkCode(std::span<const std::byte> stored);

  private:
    struct Library;

    explicit WinZipAesCipher(AesStrength strength);
    Status deriveKeys(std::string_view password);
    Status applyKeyStream(std::span<std::byte> data);
    Status refillKeyStream(std::size_t wanted);
    Status authenticate(std::span<const std::byte> ciphertext);

    AesStrength m_strength;
    std::array<std::byte, 16 + kAesVerifierSize> m_header{};  // salt, then verifier
    std::unique_ptr<Library> m_library;
    std::unique_ptr<std::byte[]> m_keyStream;
    std::size_t m_keyStreamSize = 0;  // bytes produced in the last batch
    std::size_t m_keyStreamUsed = 0;  // of those, bytes already applied
    std::uint64_t m_counterLow = 1;   // the next counter block, as two 64-bit halves
    std::uint64_t m_counterHigh = 0;
};

}  // namespace quillet::archive
