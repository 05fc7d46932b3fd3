// Opens any bytes as a backup file with a fixed password, as the window and quillet-cli do: the
// archive is loaded, the password checked, the information file read; a backup that opens is
// then read to the end of every entry.
#include <system_error>

#include "archive/zip_archive.h"
#include "backup/information_file.h"
#include "backup/opened_backup.h"
#include "fuzz_support.h"

namespace {

using quillet::fuzz::Fail;

// The password the seed backups are written with.
constexpr char kPassword[] = "fuzz";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto backupFile =
        quillet::fuzz::WriteScratchFile("backup.qbk", quillet::fuzz::InputText(data, size));
    const auto workFolder = quillet::fuzz::ScratchFolder() / "work";
    std::error_code ignored;
    std::filesystem::create_directories(workFolder, ignored);

    quillet::archive::ZipArchive archive;
    quillet::OpenedBackup backup(archive, workFolder);
    const quillet::Status opened = backup.open(backupFile, kPassword);
    if (std::filesystem::exists(workFolder / quillet::kInformationFileName)) {
        Fail("opening a backup left its information file in the work folder");
    }
    if (!opened) {
        if (!backup.invalid()) Fail("a backup that did not open counts as valid");
        return 0;
    }
    (void)backup.originText();
    for (int i = 0; i < quillet::kItemCount; ++i) {
        if (backup.holds(i)) (void)archive.LookupEntry(backup.entryNames(i));
    }
    (void)archive.verifyEntries();
    return 0;
}
