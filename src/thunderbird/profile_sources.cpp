#include "thunderbird/profile_sources.h"

#include "backup/backup_item.h"
#include "backup/mail_sources.h"
#include "backup/oe_locations.h"
#include "platform/bounded_read.h"
#include "registry/registry_text.h"
#include "registry/scratch_registry.h"

namespace quillet::thunderbird {
namespace {

// A signature file is a few kilobytes of text or HTML; a larger one is not carried.
constexpr std::uint64_t kMaxSignatureFileBytes = 1024 * 1024;

class SystemSource : public ProfileSource {
  public:
    SystemSource(system::WindowsSystem& system, Identity identity)
        : m_system(system), m_identity(std::move(identity)) {
        auto mail = IdentityMailSource(system, m_identity.key);
        if (mail) {
            m_mail = std::move(mail.value());
        } else {
            m_noMail = mail.reason();
        }
    }

    std::string identityName() const override {
        return m_identity.userName.empty() ? m_identity.key : m_identity.userName;
    }
    OutlookSettings settings() override {
        return ReadOutlookSettings(m_system.modReg(), m_identity.key);
    }
    mailstore::MailSource* mail() override { return m_mail.get(); }
    std::string noMailReason() const override { return m_noMail; }
    Result<AddressBookSource> addressBook() override { return SystemAddressBook(m_system); }

    Result<std::string> signatureFile(const std::string& windowsPath) override {
        const auto host = m_system.paths().toHost(windowsPath);
        if (!host) {
            return Status::Error("the signature file " + windowsPath + " is on no drive here",
                                 ErrorKind::kNotFound);
        }
        auto bytes = ReadFileUpTo(*host, kMaxSignatureFileBytes);
        if (!bytes)
            return Status::Error("the signature file " + windowsPath + ": " + bytes.reason(),
                                 bytes.status().kind());
        if (bytes->size() > kMaxSignatureFileBytes) {
            return Status::Error("the signature file " + windowsPath + " is larger than 1 MB",
                                 ErrorKind::kBadInput);
        }
        return bytes;
    }

  private:
    system::WindowsSystem& m_system;
    Identity m_identity;
    std::unique_ptr<mailstore::MailSource> m_mail;
    std::string m_noMail;
};

// The key the backup's identity is rebuilt under in the scratch registry.
constexpr char kScratchIdentity[] = "{00000000-0000-0000-0000-000000000000}";

class BackupSource : public ProfileSource {
  public:
    BackupSource(OpenedBackup& backup, std::unique_ptr<registry::RegistryStore> store)
        : m_backup(backup), m_store(std::move(store)), m_modReg(*m_store) {}

    Status load(const std::filesystem::path& workFolder) {
        m_workFolder = workFolder;
        const std::string versionKey = OutlookExpressKey(kScratchIdentity) + "\\5.0";
        if (registry::RegResult made = m_modReg.CreateKey(versionKey);
            made != registry::kErrorSuccess) {
            return Status::Error("Cannot hold the backup's settings in memory");
        }
        for (int index : {kAccounts, kRules, kBlockSenders, kSignatures}) {
            if (!m_backup.holds(index) || m_backup.entryNames(index).empty()) continue;
            const std::string base =
                index == kAccounts ? IdentityAccountsKey(kScratchIdentity)
                                   : versionKey + "\\" + std::string(kItems[index].versionSubkey);
            if (Status read = importEntry(m_backup.entryNames(index), base); !read) return read;
        }
        auto mail = BackupMailSource(m_backup, workFolder);
        if (mail) {
            m_mail = std::move(mail.value());
        } else if (mail.status().is(ErrorKind::kNotFound)) {
            m_noMail = mail.reason();
        } else {
            return mail.status();
        }
        return Status::Ok();
    }

    std::string identityName() const override {
        return m_backup.identity().empty() ? m_backup.file().stem().string() : m_backup.identity();
    }
    OutlookSettings settings() override { return ReadOutlookSettings(m_modReg, kScratchIdentity); }
    mailstore::MailSource* mail() override { return m_mail.get(); }
    std::string noMailReason() const override { return m_noMail; }
    Result<AddressBookSource> addressBook() override {
        return BackupAddressBook(m_backup, m_workFolder);
    }
    Result<std::string> signatureFile(const std::string& windowsPath) override {
        return Status::Error("a backup does not hold the signature file " + windowsPath,
                             ErrorKind::kNotFound);
    }

  private:
    Status importEntry(const std::string& entry, const std::string& base) {
        std::string text;
        Status read = m_backup.archive().ReadEntry(entry, [&](std::span<const std::byte> data) {
            if (text.size() + data.size() > registry::kMaxRegistryTextBytes + 1) {
                return Status::Error(entry + " is larger than registry text ever is",
                                     ErrorKind::kCorrupt);
            }
            text.append(reinterpret_cast<const char*>(data.data()), data.size());
            return Status::Ok();
        });
        if (!read)
            return Status::Error("The backup's " + entry + ": " + read.reason(),
                                 ErrorKind::kCorrupt);
        return registry::ImportKeyText(m_modReg, base, std::move(text), "the backup's " + entry);
    }

    OpenedBackup& m_backup;
    std::filesystem::path m_workFolder;
    std::unique_ptr<registry::RegistryStore> m_store;
    registry::ModReg m_modReg;
    std::unique_ptr<mailstore::MailSource> m_mail;
    std::string m_noMail;
};

}  // namespace

std::unique_ptr<ProfileSource> IdentityProfileSource(system::WindowsSystem& system,
                                                     const Identity& identity) {
    return std::make_unique<SystemSource>(system, identity);
}

Result<std::unique_ptr<ProfileSource>> BackupProfileSource(OpenedBackup& backup,
                                                           std::filesystem::path workFolder) {
    auto source = std::make_unique<BackupSource>(backup, registry::MakeScratchRegistry());
    if (Status loaded = source->load(workFolder); !loaded) return loaded;
    return std::unique_ptr<ProfileSource>(std::move(source));
}

}  // namespace quillet::thunderbird
