#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"

namespace quillet::archive {

// An archive kept in memory, for testing the code that drives an Archive. It records every call,
// keeps "saved" archives in memory instead of writing zip files, reads them back by path, writes
// extracted entries to real files, and can be told to fail an operation.
//
// Events are reported like the real archive's: EntryAdding per entry and SaveProgress(100) during
// SaveArchive, SaveDone after every SaveArchive, EntryExtracting before an extraction.
// Not thread-safe.
class FakeArchive : public Archive {
  public:
    struct StoredArchive {
        std::vector<std::pair<std::string, std::string>> entries;  // name, content, in order
        std::string password;                                      // empty: not protected
    };

    // Every call in order, as "Name(argument)": "CreateArchive(/x/b.qbk)", "EncryptOnWrite(1)",
    // "WritePassword(secret)", "SaveArchive()"...
    const std::vector<std::string>& calls() const { return m_calls; }

    // The archives saved so far (and those put there), by path.
    const std::map<std::filesystem::path, StoredArchive>& archives() const { return m_archives; }
    void putArchive(const std::filesystem::path& path, StoredArchive archive);

    // Makes every later call of that operation fail with `reason` ("SaveArchive", "LoadArchive",
    // "AddFileEntry", "CreateArchive", "ExtractEntryTo", which fails ExtractEntryToTemporary too,
    // "ReadEntry", which fails after half the entry's data was handed over, as damaged data would).
    void failOperation(const std::string& operation, std::string reason);

    void setObserver(ArchiveObserver* observer) override { m_observer = observer; }
    void ClearArchive() override;
    Status CreateArchive(const std::filesystem::path& archiveFile) override;
    Result<int> AddFileEntry(const std::filesystem::path& hostFile) override;
    Status RetargetArchive(const std::filesystem::path& archiveFile) override;
    void EncryptOnWrite(bool encrypt) override;
    void WritePassword(std::string password) override;
    Status SaveArchive() override;
    bool ArchiveHasPassword(const std::filesystem::path& archiveFile) override;
    Status LoadArchive(const std::filesystem::path& archiveFile) override;
    void ReadPassword(std::string password) override;
    bool CheckReadPassword() override;
    std::optional<ArchiveEntry> LookupEntry(std::string_view name) override;
    Status ExtractEntryTo(std::string_view name,
                          const std::filesystem::path& destinationFile) override;
    Result<std::unique_ptr<FileReplacement>> ExtractEntryToTemporary(
        std::string_view name, const std::filesystem::path& destinationFile,
        bool folderSwept) override;
    Status ReadEntry(std::string_view name, const EntrySink& sink) override;
    std::vector<ArchiveEntry> entries() const override;
    Status verifyEntries() override;

  private:
    std::optional<Status> injectedFailure(const std::string& operation) const;
    Status saveEntries();
    Result<std::unique_ptr<FileReplacement>> extract(std::string_view name,
                                                     const std::filesystem::path& destinationFile,
                                                     bool folderSwept);

    ArchiveObserver* m_observer = nullptr;
    std::vector<std::string> m_calls;
    std::map<std::string, std::string> m_failures;
    std::map<std::filesystem::path, StoredArchive> m_archives;

    std::optional<std::filesystem::path> m_writeTarget;
    std::vector<std::filesystem::path> m_writeFiles;
    bool m_encrypt = false;
    std::string m_writePassword;
    std::optional<StoredArchive> m_loaded;
    std::string m_readPassword;
};

}  // namespace quillet::archive
