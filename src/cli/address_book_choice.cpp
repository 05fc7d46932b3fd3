#include "cli/address_book_choice.h"

#include <cstring>

#include "archive/zip_signature.h"
#include "backup/address_books.h"
#include "cli/backup_reading.h"
#include "mailstore/loose_mail_source.h"
#include "wab/wab_layout.h"

namespace quillet::cli {
namespace {

// The address book a choice reads, and the backup it reads through, if any.
class OpenedChoice : public AddressBookChoice {
  public:
    static std::unique_ptr<AddressBookChoice> Make(Result<AddressBookSource> source,
                                                   std::ostream& err,
                                                   std::unique_ptr<BackupReading> reading = {}) {
        if (!source) {
            Fail(err, source.reason());
            return nullptr;
        }
        std::unique_ptr<OpenedChoice> choice(new OpenedChoice());
        choice->m_reading = std::move(reading);
        choice->m_bytes = std::move(source->bytes);
        choice->m_description = std::move(source->description);
        return choice;
    }

    ~OpenedChoice() override { m_bytes.reset(); }  // before the work folder it lies in

  private:
    std::unique_ptr<BackupReading> m_reading;
};

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
        system::WindowsSystem* system = context.system(err);
        if (system == nullptr) return nullptr;
        return OpenedChoice::Make(SystemAddressBook(*system), err);
    }
    auto start = mailstore::ReadFileStart(*path);
    if (!start) {
        Fail(err, start.reason());
        return nullptr;
    }
    if (archive::StartsAsZip(start->bytes)) {
        auto reading = BackupReading::Open(*path, passwordFile, context, err);
        if (!reading) return nullptr;
        auto source = BackupAddressBook(reading->backup(), reading->workFolder());
        return OpenedChoice::Make(std::move(source), err, std::move(reading));
    }
    if (passwordFile) {
        Fail(err, "--password-file is for a backup file, and " + *path + " is none");
        return nullptr;
    }
    // The reader tells a file that is no address book, naming what it found.
    return OpenedChoice::Make(AddressBookFile(*path), err);
}

}  // namespace quillet::cli
