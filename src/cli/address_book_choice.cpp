#include "cli/address_book_choice.h"

#include <algorithm>
#include <cstring>

#include "archive/sealed_scratch_file.h"
#include "archive/zip_signature.h"
#include "backup/oe_locations.h"
#include "backup/opened_backup.h"
#include "cli/password_input.h"
#include "mailstore/loose_mail_source.h"
#include "platform/work_folder.h"
#include "wab/wab_layout.h"

namespace quillet::cli {
namespace {

// An address book read out of a backup into a sealed scratch file.
class SealedBook : public wab::WindowedBookBytes {
  public:
    SealedBook(std::string name, std::unique_ptr<archive::SealedScratchFile> file)
        : WindowedBookBytes(std::move(name), file->size()), m_file(std::move(file)) {}

  protected:
    Status readExact(std::uint64_t offset, std::span<std::byte> out) const override {
        return m_file->readAt(offset, out);
    }

  private:
    std::unique_ptr<archive::SealedScratchFile> m_file;
};

class FileChoice : public AddressBookChoice {
  public:
    static std::unique_ptr<AddressBookChoice> Open(const std::filesystem::path& file,
                                                   std::string description, std::ostream& err) {
        auto bytes = wab::OpenBookFile(file);
        if (!bytes) {
            Fail(err, bytes.reason());
            return nullptr;
        }
        std::unique_ptr<FileChoice> choice(new FileChoice());
        choice->m_bytes = std::move(bytes.value());
        choice->m_description = std::move(description);
        return choice;
    }
};

class BackupChoice : public AddressBookChoice {
  public:
    static std::unique_ptr<AddressBookChoice> Open(const std::string& path,
                                                   const std::optional<std::string>& passwordFile,
                                                   CliContext& context, std::ostream& err) {
        auto work = WorkFolder::Create(context.environment());
        if (!work) {
            Fail(err, work.reason());
            return nullptr;
        }
        std::unique_ptr<BackupChoice> choice(new BackupChoice(std::move(work.value()), context));
        OpenedBackup& backup = choice->m_backup;
        if (Status opened = OpenBackup(backup, path, passwordFile, context); !opened) {
            Fail(err, opened.reason());
            return nullptr;
        }
        const std::string entry = backup.entryNames(kAddressBook);
        if (!backup.holds(kAddressBook) || entry.empty()) {
            Fail(err, "the backup " + path + " holds no address book");
            return nullptr;
        }
        auto sealed = choice->readEntry(entry);
        if (!sealed) {
            Fail(err, sealed.reason());
            return nullptr;
        }
        choice->m_bytes = std::move(sealed.value());
        choice->m_description = "backup " + std::filesystem::path(path).filename().string();
        return choice;
    }

    ~BackupChoice() override { m_bytes.reset(); }  // before the work folder it lies in

  private:
    BackupChoice(WorkFolder workFolder, CliContext& context)
        : m_workFolder(std::move(workFolder)), m_backup(context.archive(), m_workFolder.path()) {}

    Result<std::unique_ptr<wab::BookBytes>> readEntry(const std::string& entry) {
        auto file = archive::SealedScratchFile::Create(m_workFolder.path());
        if (!file) return file.status();
        archive::SealedScratchFile& sealed = **file;
        std::optional<Status> spillFailure;
        const Status read =
            m_backup.archive().ReadEntry(entry, [&](std::span<const std::byte> data) {
                Status kept = sealed.append(data);
                if (!kept) spillFailure = kept;
                return kept;
            });
        if (spillFailure) return *spillFailure;
        if (!read) return Status::Error(entry + ": " + read.reason(), ErrorKind::kCorrupt);
        return std::unique_ptr<wab::BookBytes>(
            std::make_unique<SealedBook>(entry, std::move(file.value())));
    }

    WorkFolder m_workFolder;
    OpenedBackup m_backup;
};

std::unique_ptr<AddressBookChoice> OpenSystemBook(CliContext& context, std::ostream& err) {
    system::WindowsSystem* system = context.system(err);
    if (system == nullptr) return nullptr;
    const std::optional<std::string> windowsPath = AddressBookPath(system->modReg());
    if (!windowsPath) {
        Fail(err, std::string("the registry names no address book file (") + kAddressBookKey + ")");
        return nullptr;
    }
    const auto hostPath = system->paths().toHost(*windowsPath);
    std::error_code error;
    if (!hostPath || !std::filesystem::is_regular_file(*hostPath, error)) {
        Fail(err, "the address book " + *windowsPath + " does not exist");
        return nullptr;
    }
    if (Status confined = system->confineRead(*hostPath); !confined) {
        Fail(err, confined.reason());
        return nullptr;
    }
    return FileChoice::Open(*hostPath, "address book " + *windowsPath, err);
}

}  // namespace

bool StartsAsAddressBook(const std::filesystem::path& path) {
    auto start = mailstore::ReadFileStart(path);
    if (!start || start->bytes.size() < wab::kMagic.size()) return false;
    for (const auto& magic : {wab::kMagic, wab::kOldMagic}) {
        if (std::memcmp(start->bytes.data(), magic.data(), magic.size()) == 0) return true;
    }
    return false;
}

std::unique_ptr<AddressBookChoice> AddressBookChoice::Open(
    const std::optional<std::string>& path, const std::optional<std::string>& passwordFile,
    CliContext& context, std::ostream& err) {
    if (!path) {
        if (passwordFile) {
            Fail(err, "--password-file is for a backup file given as PATH");
            return nullptr;
        }
        return OpenSystemBook(context, err);
    }
    auto start = mailstore::ReadFileStart(*path);
    if (!start) {
        Fail(err, start.reason());
        return nullptr;
    }
    if (archive::StartsAsZip(start->bytes))
        return BackupChoice::Open(*path, passwordFile, context, err);
    if (passwordFile) {
        Fail(err, "--password-file is for a backup file, and " + *path + " is none");
        return nullptr;
    }
    // The reader tells a file that is no address book, naming what it found.
    return FileChoice::Open(*path, "address book " + *path, err);
}

}  // namespace quillet::cli
