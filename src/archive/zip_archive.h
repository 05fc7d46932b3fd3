#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/archive.h"
#include "archive/source_file.h"
#include "archive/zip_reader.h"
#include "platform/file_operations.h"

namespace quillet::archive {

// The archive of backup files, on libzip: see Archive for the contract of each operation.
//
// Writing compresses at level 6 on several threads (level and threads can be changed), encrypts
// with WinZip AES-256 (WinZipAesCipher) and stores the result through libzip. Never sleeps.
// The saved archive and extracted files replace their targets durably (FileReplacement) through
// `files`, which must outlive the archive; libzip's own writes into the archive's temporary file
// do not go through it.
// Not thread-safe: one thread at a time; observer calls arrive on that thread.
class ZipArchive : public Archive {
  public:
    explicit ZipArchive(FileOperations& files = RealFileOperations()) : m_files(files) {}
    ~ZipArchive() override;

    void setObserver(ArchiveObserver* observer) override { m_observer = observer; }

    void ClearArchive() override;
    Status CreateArchive(const std::filesystem::path& archiveFile) override;
    Result<int> AddFileEntry(const std::filesystem::path& hostFile) override;
    Status RetargetArchive(const std::filesystem::path& archiveFile) override;
    void EncryptOnWrite(bool encrypt) override { m_encryptOnWrite = encrypt; }
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

    // Compression for SaveArchive: 0 stores, 1 (fastest) to 9 (smallest); 6 unless changed.
    void setCompressionLevel(int level) { m_level = level; }
    // Compressing threads for SaveArchive; 0 (the default) chooses by the number of processors.
    void setCompressionThreads(unsigned threads) { m_threads = threads; }

  private:
    Status save();

    FileOperations& m_files;
    ArchiveObserver* m_observer = nullptr;
    int m_level = 6;
    unsigned m_threads = 0;

    std::optional<std::filesystem::path> m_writeTarget;
    bool m_writeFollowsLink = true;  // false once retargeted to a name of the program's choosing
    std::vector<SourceFile> m_writeFiles;
    std::unordered_map<std::string, std::string> m_writeNames;  // lower-case name: name added
    bool m_encryptOnWrite = false;
    std::string m_writePassword;

    ZipReader m_reader;
    std::string m_readPassword;
};

}  // namespace quillet::archive
