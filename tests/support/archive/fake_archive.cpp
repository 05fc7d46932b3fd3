#include "support/archive/fake_archive.h"

#include <fstream>
#include <memory>
#include <span>
#include <sstream>

namespace quillet::archive {

void FakeArchive::putArchive(const std::filesystem::path& path, StoredArchive archive) {
    m_archives[path] = std::move(archive);
}

void FakeArchive::failOperation(const std::string& operation, std::string reason) {
    m_failures[operation] = std::move(reason);
}

std::optional<Status> FakeArchive::injectedFailure(const std::string& operation) const {
    const auto found = m_failures.find(operation);
    if (found == m_failures.end()) return std::nullopt;
    return Status::Error(found->second);
}

void FakeArchive::ClearArchive() {
    m_calls.push_back("ClearArchive()");
    m_writeTarget.reset();
    m_writeFiles.clear();
    m_encrypt = false;
    m_writePassword.clear();
    m_loaded.reset();
    m_readPassword.clear();
}

Status FakeArchive::CreateArchive(const std::filesystem::path& archiveFile) {
    m_calls.push_back("CreateArchive(" + archiveFile.string() + ")");
    if (auto failure = injectedFailure("CreateArchive")) return *failure;
    m_writeTarget = archiveFile;
    m_writeFiles.clear();
    return Status::Ok();
}

Status FakeArchive::RetargetArchive(const std::filesystem::path& archiveFile) {
    m_calls.push_back("RetargetArchive(" + archiveFile.string() + ")");
    if (!m_writeTarget) return Status::Error("No archive has been created to write elsewhere");
    m_writeTarget = archiveFile;
    return Status::Ok();
}

Result<int> FakeArchive::AddFileEntry(const std::filesystem::path& hostFile) {
    m_calls.push_back("AddFileEntry(" + hostFile.string() + ")");
    if (auto failure = injectedFailure("AddFileEntry")) return *failure;
    if (!m_writeTarget) return Status::Error("No archive has been created to add files to");
    if (!std::filesystem::is_regular_file(hostFile)) {
        return Status::Error("Cannot add '" + hostFile.string() + "': not a regular file");
    }
    m_writeFiles.push_back(hostFile);
    return static_cast<int>(m_writeFiles.size() - 1);
}

void FakeArchive::EncryptOnWrite(bool encrypt) {
    m_calls.push_back(std::string("EncryptOnWrite(") + (encrypt ? "1" : "0") + ")");
    m_encrypt = encrypt;
}

void FakeArchive::WritePassword(std::string password) {
    m_calls.push_back("WritePassword(" + password + ")");
    m_writePassword = std::move(password);
}

Status FakeArchive::saveEntries() {
    if (auto failure = injectedFailure("SaveArchive")) return *failure;
    if (!m_writeTarget) return Status::Error("No archive has been created to save");
    StoredArchive archive;
    for (const auto& file : m_writeFiles) {
        if (m_observer != nullptr) m_observer->EntryAdding(file.filename().string());
        std::ifstream in(file, std::ios::binary);
        if (!in) return Status::Error("Cannot open the file '" + file.string() + "'");
        std::ostringstream content;
        content << in.rdbuf();
        archive.entries.emplace_back(file.filename().string(), content.str());
    }
    if (m_encrypt) archive.password = m_writePassword;
    if (m_observer != nullptr) m_observer->SaveProgress(100);
    m_archives[*m_writeTarget] = std::move(archive);
    return Status::Ok();
}

Status FakeArchive::SaveArchive() {
    m_calls.push_back("SaveArchive()");
    const Status outcome = saveEntries();
    if (m_observer != nullptr) m_observer->SaveDone(outcome.ok(), outcome.reason());
    return outcome;
}

bool FakeArchive::ArchiveHasPassword(const std::filesystem::path& archiveFile) {
    m_calls.push_back("ArchiveHasPassword(" + archiveFile.string() + ")");
    const auto found = m_archives.find(archiveFile);
    return found != m_archives.end() && !found->second.password.empty();
}

Status FakeArchive::LoadArchive(const std::filesystem::path& archiveFile) {
    m_calls.push_back("LoadArchive(" + archiveFile.string() + ")");
    if (auto failure = injectedFailure("LoadArchive")) return *failure;
    const auto found = m_archives.find(archiveFile);
    if (found == m_archives.end()) {
        return Status::Error("Cannot open the archive '" + archiveFile.string() + "'");
    }
    m_loaded = found->second;
    return Status::Ok();
}

void FakeArchive::ReadPassword(std::string password) {
    m_calls.push_back("ReadPassword(" + password + ")");
    m_readPassword = std::move(password);
}

bool FakeArchive::CheckReadPassword() {
    m_calls.push_back("CheckReadPassword()");
    return m_loaded && (m_loaded->password.empty() || m_loaded->password == m_readPassword);
}

std::optional<ArchiveEntry> FakeArchive::LookupEntry(std::string_view name) {
    m_calls.push_back("LookupEntry(" + std::string(name) + ")");
    if (!m_loaded) return std::nullopt;
    for (const auto& [entryName, content] : m_loaded->entries) {
        if (entryName == name) {
            return ArchiveEntry{entryName, content.size(), !m_loaded->password.empty()};
        }
    }
    return std::nullopt;
}

Status FakeArchive::ExtractEntryTo(std::string_view name,
                                   const std::filesystem::path& destinationFile) {
    m_calls.push_back("ExtractEntryTo(" + std::string(name) + ", " + destinationFile.string() +
                      ")");
    Result<std::unique_ptr<FileReplacement>> extracted = extract(name, destinationFile, false);
    if (!extracted) return extracted.status();
    return (*extracted)->commit();
}

Result<std::unique_ptr<FileReplacement>> FakeArchive::ExtractEntryToTemporary(
    std::string_view name, const std::filesystem::path& destinationFile, bool folderSwept) {
    m_calls.push_back("ExtractEntryToTemporary(" + std::string(name) + ", " +
                      destinationFile.string() + ")");
    return extract(name, destinationFile, folderSwept);
}

Result<std::unique_ptr<FileReplacement>> FakeArchive::extract(
    std::string_view name, const std::filesystem::path& destinationFile, bool folderSwept) {
    if (auto failure = injectedFailure("ExtractEntryTo")) return *failure;
    if (!m_loaded) return Status::Error("No archive is loaded");
    if (!m_loaded->password.empty() && m_loaded->password != m_readPassword) {
        return Status::Error("Wrong password for '" + std::string(name) + "'");
    }
    for (const auto& [entryName, content] : m_loaded->entries) {
        if (entryName != name) continue;
        if (m_observer != nullptr) m_observer->EntryExtracting(entryName);
        auto replacement = std::make_unique<FileReplacement>(
            destinationFile, RealFileOperations(),
            ReplaceOptions{.mode = std::nullopt, .folderSwept = folderSwept});
        if (Status begun = replacement->begin(); !begun) return begun;
        if (Status written = replacement->write(content); !written) return written;
        if (Status flushed = replacement->flush(); !flushed) return flushed;
        return replacement;
    }
    return Status::Error("The archive holds no entry \"" + std::string(name) + "\"");
}

Status FakeArchive::ReadEntry(std::string_view name, const EntrySink& sink) {
    m_calls.push_back("ReadEntry(" + std::string(name) + ")");
    if (!m_loaded) return Status::Error("No archive is loaded", ErrorKind::kNotFound);
    if (!m_loaded->password.empty() && m_loaded->password != m_readPassword) {
        return Status::Error("Wrong password for '" + std::string(name) + "'", ErrorKind::kCorrupt);
    }
    for (const auto& [entryName, content] : m_loaded->entries) {
        if (entryName != name) continue;
        const auto bytes = std::as_bytes(std::span(content.data(), content.size()));
        const std::size_t half = bytes.size() / 2;
        if (Status taken = sink(bytes.first(half)); !taken) return taken;
        if (auto failure = injectedFailure("ReadEntry")) {
            return Status::Error(failure->reason(), ErrorKind::kCorrupt);
        }
        return sink(bytes.subspan(half));
    }
    return Status::Error("The archive holds no entry \"" + std::string(name) + "\"",
                         ErrorKind::kNotFound);
}

std::vector<ArchiveEntry> FakeArchive::entries() const {
    std::vector<ArchiveEntry> list;
    if (!m_loaded) return list;
    for (const auto& [name, content] : m_loaded->entries) {
        list.push_back({name, content.size(), !m_loaded->password.empty()});
    }
    return list;
}

Status FakeArchive::verifyEntries() {
    m_calls.push_back("verifyEntries()");
    if (!m_loaded) return Status::Error("No archive is loaded");
    if (!m_loaded->password.empty() && m_loaded->password != m_readPassword) {
        return Status::Error("Wrong password");
    }
    return Status::Ok();
}

}  // namespace quillet::archive
