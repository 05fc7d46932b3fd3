#include "archive/winzip_aes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive_test_files.h"

namespace quillet::archive {
namespace {

using quillet::testing::RandomContent;

constexpr AesStrength kStrengths[] = {AesStrength::k128, AesStrength::k192, AesStrength::k256};

std::vector<std::byte> Bytes(const std::string& text) {
    std::vector<std::byte> bytes(text.size());
    std::memcpy(bytes.data(), text.data(), text.size());
    return bytes;
}

std::unique_ptr<WinZipAesCipher> EntryCipher(AesStrength strength, const std::string& password,
                                             std::span<const std::byte> salt) {
    auto cipher = WinZipAesCipher::ForEntry(strength, password, salt);
    EXPECT_TRUE(cipher.ok()) << cipher.reason();
    return cipher ? std::move(*cipher) : nullptr;
}

// Ciphers `data` in place in pieces of the given sizes, the last piece taking the rest.
void InPieces(std::vector<std::byte>& data, const std::vector<std::size_t>& pieces,
              const std::function<Status(std::span<std::byte>)>& cipher) {
    std::span<std::byte> rest(data);
    for (std::size_t piece : pieces) {
        piece = std::min(piece, rest.size());
        ASSERT_TRUE(cipher(rest.first(piece)).ok());
        rest = rest.subspan(piece);
    }
    ASSERT_TRUE(cipher(rest).ok());
}

TEST(WinZipAesTest, SaltAndHeaderSizesFollowTheStrength) {
    EXPECT_EQ(AesSaltSize(AesStrength::k128), 8u);
    EXPECT_EQ(AesSaltSize(AesStrength::k192), 12u);
    EXPECT_EQ(AesSaltSize(AesStrength::k256), 16u);
    for (AesStrength strength : kStrengths) {
        auto cipher = WinZipAesCipher::ForNewEntry(strength, "pw");
        ASSERT_TRUE(cipher.ok()) << cipher.reason();
        EXPECT_EQ((*cipher)->header().size(), AesSaltSize(strength) + kAesVerifierSize);
    }
}

TEST(WinZipAesTest, NewEntriesGetDifferentSalts) {
    auto first = WinZipAesCipher::ForNewEntry(AesStrength::k256, "pw");
    auto second = WinZipAesCipher::ForNewEntry(AesStrength::k256, "pw");
    ASSERT_TRUE(first.ok() && second.ok());
    const auto a = (*first)->header();
    const auto b = (*second)->header();
    EXPECT_NE(std::memcmp(a.data(), b.data(), AesSaltSize(AesStrength::k256)), 0);
}

// Data passed in pieces of any size, across the key stream's 64 KiB batches, ciphers exactly as
// when passed whole; what is enciphered deciphers back, with the same authentication code.
TEST(WinZipAesTest, PiecesOfAnySizeCipherAsOneWholeAndRoundTrip) {
    const std::vector<std::byte> plain = Bytes(RandomContent(3 * 65536 + 37, 21));
    const std::vector<std::vector<std::size_t>> piecings = {
        {},
        {1, 15, 16, 17, 65535, 1, 65536},
        {65536, 65536, 65536},
        {7, 65536 + 9, 3},
        {65537, 131071},
    };
    for (AesStrength strength : kStrengths) {
        SCOPED_TRACE("strength " + std::to_string(static_cast<int>(strength)));
        auto writer = WinZipAesCipher::ForNewEntry(strength, "correct horse");
        ASSERT_TRUE(writer.ok()) << writer.reason();
        const std::vector<std::byte> header((*writer)->header().begin(), (*writer)->header().end());
        std::vector<std::byte> whole = plain;
        ASSERT_TRUE((*writer)->encrypt(whole).ok());
        const auto wholeCode = (*writer)->code();
        ASSERT_TRUE(wholeCode.ok());
        EXPECT_NE(whole, plain);

        const auto salt = std::span(header).first(AesSaltSize(strength));
        const auto verifier = std::span(header).subspan(AesSaltSize(strength));
        for (const auto& pieces : piecings) {
            SCOPED_TRACE("pieces starting " + std::to_string(pieces.empty() ? 0 : pieces[0]));
            auto encrypting = EntryCipher(strength, "correct horse", salt);
            ASSERT_NE(encrypting, nullptr);
            EXPECT_TRUE(encrypting->passwordMatches(verifier));
            std::vector<std::byte> data = plain;
            InPieces(data, pieces,
                     [&](std::span<std::byte> piece) { return encrypting->encrypt(piece); });
            EXPECT_EQ(data, whole);
            EXPECT_TRUE(encrypting->checkCode(*wholeCode).ok());

            auto decrypting = EntryCipher(strength, "correct horse", salt);
            ASSERT_NE(decrypting, nullptr);
            InPieces(data, pieces,
                     [&](std::span<std::byte> piece) { return decrypting->decrypt(piece); });
            EXPECT_EQ(data, plain);
            EXPECT_TRUE(decrypting->checkCode(*wholeCode).ok());
        }
    }
}

TEST(WinZipAesTest, WrongPasswordFailsTheVerifierAndTheCode) {
    auto writer = WinZipAesCipher::ForNewEntry(AesStrength::k256, "correct horse");
    ASSERT_TRUE(writer.ok());
    const std::vector<std::byte> header((*writer)->header().begin(), (*writer)->header().end());
    std::vector<std::byte> data = Bytes("Subject: budget\r\n\r\nthe report is attached");
    ASSERT_TRUE((*writer)->encrypt(data).ok());
    const auto code = (*writer)->code();
    ASSERT_TRUE(code.ok());

    const auto salt = std::span(header).first(16);
    const auto verifier = std::span(header).subspan(16);
    auto right = EntryCipher(AesStrength::k256, "correct horse", salt);
    EXPECT_TRUE(right->passwordMatches(verifier));
    // A wrong password passes the two-byte verifier about once in 65,536 tries (the salt is random
    // here), so at least two of these three fail it; all of them fail the code.
    int verifierFailures = 0;
    for (const char* password : {"correct horsE", "", "correct horse "}) {
        SCOPED_TRACE(password);
        auto wrong = EntryCipher(AesStrength::k256, password, salt);
        if (!wrong->passwordMatches(verifier)) ++verifierFailures;
        std::vector<std::byte> copy = data;
        ASSERT_TRUE(wrong->decrypt(copy).ok());
        EXPECT_FALSE(wrong->checkCode(*code).ok());
    }
    EXPECT_GE(verifierFailures, 2);
}

TEST(WinZipAesTest, AnyChangedByteOrCodeFailsTheCheck) {
    auto writer = WinZipAesCipher::ForNewEntry(AesStrength::k128, "pw");
    ASSERT_TRUE(writer.ok());
    const std::vector<std::byte> header((*writer)->header().begin(), (*writer)->header().end());
    const auto salt = std::span(header).first(8);
    std::vector<std::byte> ciphertext = Bytes(RandomContent(100000, 4));
    ASSERT_TRUE((*writer)->encrypt(ciphertext).ok());
    const auto code = (*writer)->code();
    ASSERT_TRUE(code.ok());

    for (std::size_t at : {std::size_t{0}, std::size_t{65536}, ciphertext.size() - 1}) {
        SCOPED_TRACE("ciphertext byte " + std::to_string(at));
        std::vector<std::byte> damaged = ciphertext;
        damaged[at] ^= std::byte{0x01};
        auto reader = EntryCipher(AesStrength::k128, "pw", salt);
        ASSERT_TRUE(reader->decrypt(damaged).ok());
        EXPECT_FALSE(reader->checkCode(*code).ok());
    }
    for (std::size_t at = 0; at < kAesCodeSize; ++at) {
        SCOPED_TRACE("code byte " + std::to_string(at));
        AesCode damaged = *code;
        damaged[at] ^= std::byte{0x80};
        std::vector<std::byte> copy = ciphertext;
        auto reader = EntryCipher(AesStrength::k128, "pw", salt);
        ASSERT_TRUE(reader->decrypt(copy).ok());
        EXPECT_FALSE(reader->checkCode(damaged).ok());
    }
    std::vector<std::byte> copy = ciphertext;
    auto reader = EntryCipher(AesStrength::k128, "pw", salt);
    ASSERT_TRUE(reader->decrypt(copy).ok());
    EXPECT_FALSE(reader->checkCode(std::span(*code).first(kAesCodeSize - 1)).ok())
        << "a short code never matches";
}

TEST(WinZipAesTest, SaltOfTheWrongSizeIsRefused) {
    const std::vector<std::byte> salt(12);
    EXPECT_FALSE(WinZipAesCipher::ForEntry(AesStrength::k256, "pw", salt).ok());
    EXPECT_TRUE(WinZipAesCipher::ForEntry(AesStrength::k192, "pw", salt).ok());
}

}  // namespace
}  // namespace quillet::archive
