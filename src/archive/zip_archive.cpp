#include "archive/zip_archive.h"

#include <sys/stat.h>

#include "archive/entry_name.h"
#include "archive/zip_writer.h"
#include "platform/case_fold.h"
#include "platform/durable_file.h"

namespace quillet::archive {

namespace {

// Overwrites a password before its memory is given back.
void Forget(std::string& secret) {
    volatile char* bytes = secret.data();
    for (std::size_t i = 0; i < secret.size(); ++i) bytes[i] = 0;
    secret.clear();
}

// Restored files are the user's own data files: readable by all, writable by the owner,
// whatever modes the archive recorded and whatever the umask.
constexpr mode_t kRestoredFileMode = 0644;

}  // namespace

ZipArchive::~ZipArchive() { ClearArchive(); }

void ZipArchive::ClearArchive() {
    m_writeTarget.reset();
    m_writeFollowsLink = true;
    m_writeFiles.clear();
    m_writeNames.clear();
    m_encryptOnWrite = false;
    Forget(m_writePassword);
    m_reader.close();
    Forget(m_readPassword);
}

Status ZipArchive::CreateArchive(const std::filesystem::path& archiveFile) {
    if (archiveFile.empty() || !archiveFile.has_filename()) {
        return Status::Error("The archive path '" + archiveFile.string() + "' names no file");
    }
    m_writeTarget = archiveFile;
    m_writeFollowsLink = true;
    m_writeFiles.clear();
    m_writeNames.clear();
    return Status::Ok();
}

Status ZipArchive::RetargetArchive(const std::filesystem::path& archiveFile) {
    if (!m_writeTarget) return Status::Error("No archive has been created to write elsewhere");
    if (!archiveFile.has_filename()) {
        return Status::Error("The archive path '" + archiveFile.string() + "' names no file");
    }
    m_writeTarget = archiveFile;
    m_writeFollowsLink = false;
    return Status::Ok();
}

Result<int> ZipArchive::AddFileEntry(const std::filesystem::path& hostFile) {
    if (!m_writeTarget) return Status::Error("No archive has been created to add files to");
    Result<SourceFile> gathered = SourceFile::Gather(hostFile);
    if (!gathered) return gathered.status();
    const std::string name = hostFile.filename().string();
    if (Status plain = CheckEntryName(name); !plain) {
        return Status::Error("Cannot add '" + hostFile.string() + "': " + plain.reason());
    }
    // Keyed as EntryNamesCollide compares: one look-up per file, whatever their number.
    const auto [added, isNew] = m_writeNames.emplace(AsciiLower(name), name);
    if (!isNew) {
        return Status::Error("Cannot add '" + hostFile.string() + "': the entry \"" +
                             added->second + "\" is already in the archive");
    }
    m_writeFiles.push_back(std::move(*gathered));
    return static_cast<int>(m_writeFiles.size() - 1);
}

void ZipArchive::WritePassword(std::string password) {
    Forget(m_writePassword);
    m_writePassword = std::move(password);
    Forget(password);
}

Status ZipArchive::SaveArchive() {
    const Status outcome = save();
    if (m_observer != nullptr) m_observer->SaveDone(outcome.ok(), outcome.reason());
    return outcome;
}

Status ZipArchive::save() {
    if (!m_writeTarget) return Status::Error("No archive has been created to save");
    ZipWriteRequest request;
    request.target = *m_writeTarget;
    request.files = m_writeFiles;
    if (m_encryptOnWrite) request.password = m_writePassword;
    request.level = m_level;
    request.threads = m_threads;
    request.followLink = m_writeFollowsLink;

    ZipWriteEvents events;
    events.entryAdding = [this](const std::string& name) {
        if (m_observer != nullptr) m_observer->EntryAdding(name);
    };
    events.progress = [this](int percent) {
        if (m_observer != nullptr) m_observer->SaveProgress(percent);
    };
    Status written = WriteZipArchive(request, events, m_files);
    Forget(request.password);
    if (!written) {
        return Status::Error("Cannot save the archive '" + request.target.string() +
                             "': " + written.reason());
    }
    return written;
}

bool ZipArchive::ArchiveHasPassword(const std::filesystem::path& archiveFile) {
    ZipReader probe;
    if (!probe.open(archiveFile)) return false;
    for (const ArchiveEntry& entry : probe.entries()) {
        if (entry.encrypted) return true;
    }
    return false;
}

Status ZipArchive::LoadArchive(const std::filesystem::path& archiveFile) {
    return m_reader.open(archiveFile);
}

void ZipArchive::ReadPassword(std::string password) {
    Forget(m_readPassword);
    m_readPassword = std::move(password);
    Forget(password);
}

bool ZipArchive::CheckReadPassword() {
    if (!m_reader.isOpen()) return false;
    // Zip's two-byte password check lets about one wrong password in 65,536 through; reading an
    // encrypted entry to its end verifies its authentication code, which no wrong password passes.
    // The smallest encrypted entry is the quickest to read.
    std::optional<std::size_t> smallest;
    const auto& all = m_reader.entries();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].encrypted && (!smallest || all[i].size < all[*smallest].size)) smallest = i;
    }
    if (!smallest) return true;
    const Status read = m_reader.readEntry(*smallest, m_readPassword,
                                           [](std::span<const std::byte>) { return Status::Ok(); });
    return read.ok();
}

std::optional<ArchiveEntry> ZipArchive::LookupEntry(std::string_view name) {
    const std::optional<std::size_t> position = m_reader.find(name);
    if (!position) return std::nullopt;
    return m_reader.entries()[*position];
}

Status ZipArchive::ExtractEntryTo(std::string_view name,
                                  const std::filesystem::path& destinationFile) {
    Result<std::unique_ptr<FileReplacement>> extracted =
        ExtractEntryToTemporary(name, destinationFile, false);
    if (!extracted) return extracted.status();
    if (Status committed = (*extracted)->commit(); !committed) {
        return Status::Error("Cannot extract \"" + std::string(name) + "\": " + committed.reason(),
                             committed.kind());
    }
    return Status::Ok();
}

Result<std::unique_ptr<FileReplacement>> ZipArchive::ExtractEntryToTemporary(
    std::string_view name, const std::filesystem::path& destinationFile, bool folderSwept) {
    if (!m_reader.isOpen()) return Status::Error("No archive is loaded");
    const std::optional<std::size_t> position = m_reader.find(name);
    if (!position) {
        return Status::Error("The archive holds no entry \"" + std::string(name) + "\"");
    }
    if (m_observer != nullptr) m_observer->EntryExtracting(std::string(name));

    const std::string extracting = "Cannot extract \"" + std::string(name) + "\"";
    // Writing fails with the kind it had (a full disk is kDiskFull); reading, for the archive's
    // own data, is kCorrupt, so that a caller tells a damaged backup from a folder it cannot use.
    const auto writeFailed = [&](const Status& failure) {
        if (failure.is(ErrorKind::kDiskFull)) {
            return Status::Error(extracting + ": the disk is full: no room left in " +
                                     destinationFile.parent_path().string() + " (" +
                                     failure.reason() + ")",
                                 ErrorKind::kDiskFull);
        }
        return Status::Error(extracting + ": " + failure.reason(), failure.kind());
    };
    auto replacement = std::make_unique<FileReplacement>(
        destinationFile, m_files,
        ReplaceOptions{.mode = kRestoredFileMode, .folderSwept = folderSwept});
    if (Status begun = replacement->begin(); !begun) return writeFailed(begun);
    Status writeFailure = Status::Ok();
    const Status read =
        m_reader.readEntry(*position, m_readPassword, [&](std::span<const std::byte> data) {
            writeFailure = replacement->write(
                std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
            return writeFailure;
        });
    if (!writeFailure) return writeFailed(writeFailure);
    if (!read) {
        return Status::Error(
            extracting + " to '" + destinationFile.string() + "': " + read.reason(),
            ErrorKind::kCorrupt);
    }
    if (Status flushed = replacement->flush(); !flushed) return writeFailed(flushed);
    return replacement;
}

Status ZipArchive::ReadEntry(std::string_view name, const EntrySink& sink) {
    const std::string reading = "Cannot read \"" + std::string(name) + "\" from the archive";
    if (!m_reader.isOpen())
        return Status::Error(reading + ": no archive is loaded", ErrorKind::kNotFound);
    const std::optional<std::size_t> position = m_reader.find(name);
    if (!position) {
        return Status::Error("The archive holds no entry \"" + std::string(name) + "\"",
                             ErrorKind::kNotFound);
    }
    // The sink's failure goes back as it was; any other is the archive's own data failing.
    std::optional<Status> sinkFailure;
    const Status read =
        m_reader.readEntry(*position, m_readPassword, [&](std::span<const std::byte> data) {
            Status taken = sink(data);
            if (!taken) sinkFailure = taken;
            return taken;
        });
    if (sinkFailure) return *sinkFailure;
    if (!read) return Status::Error(reading + ": " + read.reason(), ErrorKind::kCorrupt);
    return Status::Ok();
}

std::vector<ArchiveEntry> ZipArchive::entries() const { return m_reader.entries(); }

Status ZipArchive::verifyEntries() {
    if (!m_reader.isOpen()) return Status::Error("No archive is loaded");
    for (std::size_t i = 0; i < m_reader.entries().size(); ++i) {
        Status read = m_reader.readEntry(i, m_readPassword,
                                         [](std::span<const std::byte>) { return Status::Ok(); });
        if (!read) return read;
    }
    return Status::Ok();
}

}  // namespace quillet::archive
