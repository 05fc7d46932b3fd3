// Reads any bytes as a backup's information file, asking for every key a backup holds. Then, with
// the input cut into a key and a value, a line SaveINI writes must be read back by GetINI as the
// value it wrote.
#include <system_error>

#include "backup/backup_item.h"
#include "backup/information_file.h"
#include "fuzz_support.h"
#include "platform/text_encoding.h"

namespace {

using quillet::fuzz::Fail;

constexpr const char* kOriginKeys[] = {"BackupComputer", "BackupLogonUser",   "BackupIdentity",
                                       "BackupTime",     "BackupInformation", "BackupItem"};

void ReadEveryKey(std::string_view bytes) {
    const auto file = quillet::fuzz::WriteScratchFile(quillet::kInformationFileName, bytes);
    for (const char* key : kOriginKeys) {
        auto value = quillet::GetINI(key, file);
        if (!value) Fail("a written information file is not read: " + value.reason());
        (void)quillet::DecodeDescription(*value);
    }
    for (const auto& item : quillet::kItems) {
        auto value = quillet::GetINI(item.informationKey, file);
        if (!value) Fail("a written information file is not read: " + value.reason());
    }
}

// The first byte gives the length of the key; the rest is the value.
void WriteAndReadBack(std::string_view bytes) {
    if (bytes.empty()) return;
    const std::size_t keyLength =
        std::min<std::size_t>(static_cast<unsigned char>(bytes[0]), bytes.size() - 1);
    const std::string_view key = bytes.substr(1, keyLength);
    const std::string_view value = bytes.substr(1 + keyLength);
    // A key holding "=" or a line break, or a value holding a line break, is not one line.
    if (key.find_first_of("=\r\n") != std::string_view::npos) return;
    if (value.find_first_of("\r\n") != std::string_view::npos) return;

    const auto file = quillet::fuzz::ScratchFolder() / "written.dat";
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    const quillet::Status saved = quillet::SaveINI(key, value, file);
    if (!saved) Fail("SaveINI failed: " + saved.reason());
    auto read = quillet::GetINI(quillet::DecodeTextFileBytes(key), file);
    if (!read) Fail("GetINI failed: " + read.reason());
    std::string expected = quillet::DecodeTextFileBytes(value);
    expected.resize(std::min(expected.size(), expected.find('\0')));
    if (*read != expected) Fail("GetINI gives another value than SaveINI wrote");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = quillet::fuzz::InputText(data, size);
    ReadEveryKey(bytes);
    WriteAndReadBack(bytes);
    return 0;
}
