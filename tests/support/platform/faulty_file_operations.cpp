#include "support/platform/faulty_file_operations.h"

#include <algorithm>

namespace quillet::testing {

std::ostream& operator<<(std::ostream& out, const FileCall& call) {
    out << call.operation << ' ' << call.path.string();
    if (!call.to.empty()) out << " -> " << call.to.string();
    if (!call.fault.empty()) out << " (" << call.fault << ')';
    return out;
}

void FaultyFileOperations::failWrite(int nth, const std::string& namePart, int error) {
    m_writesUntilFailure = nth;
    m_failingWriteName = namePart;
    m_writeError = error;
}

void FaultyFileOperations::failRenameTo(const std::string& fileName, int error) {
    m_renameErrors[fileName] = error;
}

void FaultyFileOperations::failCall(const std::string& operation, int nth, int error,
                                    bool persist) {
    m_callFaults[operation] = CallFault{nth, error, persist};
}

int FaultyFileOperations::injectedError(const std::string& operation) {
    const auto found = m_callFaults.find(operation);
    if (found == m_callFaults.end() || found->second.callsUntilFailure == 0) return 0;
    CallFault& fault = found->second;
    if (fault.callsUntilFailure > 1) {
        --fault.callsUntilFailure;
        return 0;
    }
    if (!fault.persist) fault.callsUntilFailure = 0;
    return fault.error;
}

void FaultyFileOperations::clearFaults() {
    m_callFaults.clear();
    m_writesUntilFailure = 0;
    m_writeLimit = 0;
    m_skipSyncs = false;
    m_renameErrors.clear();
    m_syncFolderError = 0;
}

std::vector<FileCall> FaultyFileOperations::callsOf(
    const std::vector<std::string>& operations) const {
    std::vector<FileCall> chosen;
    std::copy_if(m_calls.begin(), m_calls.end(), std::back_inserter(chosen),
                 [&](const FileCall& call) {
                     return std::find(operations.begin(), operations.end(), call.operation) !=
                            operations.end();
                 });
    return chosen;
}

void FaultyFileOperations::record(std::string operation, std::filesystem::path path,
                                  std::string fault, std::filesystem::path to) {
    if (!fault.empty()) ++m_faultsInjected;
    m_calls.push_back({std::move(operation), std::move(path), std::move(to), std::move(fault)});
}

std::filesystem::path FaultyFileOperations::fileOf(int fd) const {
    const auto found = m_openFiles.find(fd);
    return found == m_openFiles.end() ? std::filesystem::path("<fd " + std::to_string(fd) + ">")
                                      : found->second;
}

int FaultyFileOperations::open(const std::filesystem::path& file, int flags, mode_t mode, int* fd) {
    if (const int injected = injectedError("open"); injected != 0) {
        record("open", file, "failed");
        return injected;
    }
    record("open", file);
    const int error = m_real.open(file, flags, mode, fd);
    if (error == 0) m_openFiles[*fd] = file;
    return error;
}

int FaultyFileOperations::write(int fd, std::string_view data, std::size_t* written) {
    const std::filesystem::path file = fileOf(fd);
    if (m_writesUntilFailure > 0 &&
        file.filename().string().find(m_failingWriteName) != std::string::npos) {
        if (m_writesUntilFailure == 1) {
            record("write", file, "failed");
            *written = 0;
            return m_writeError;
        }
        --m_writesUntilFailure;
    }
    if (const int injected = injectedError("write"); injected != 0) {
        record("write", file, "failed");
        *written = 0;
        return injected;
    }
    record("write", file);
    if (m_writeLimit > 0) data = data.substr(0, m_writeLimit);
    return m_real.write(fd, data, written);
}

int FaultyFileOperations::fsync(int fd) {
    if (const int injected = injectedError("fsync"); injected != 0) {
        record("fsync", fileOf(fd), "failed");
        return injected;
    }
    record("fsync", fileOf(fd), m_skipSyncs ? "skipped" : "");
    return m_skipSyncs ? 0 : m_real.fsync(fd);
}

int FaultyFileOperations::close(int fd) {
    const int injected = injectedError("close");
    record("close", fileOf(fd), injected != 0 ? "failed" : "");
    m_openFiles.erase(fd);
    const int error = m_real.close(fd);
    return injected != 0 ? injected : error;
}

int FaultyFileOperations::fchmod(int fd, mode_t mode) {
    if (const int injected = injectedError("fchmod"); injected != 0) {
        record("fchmod", fileOf(fd), "failed");
        return injected;
    }
    record("fchmod", fileOf(fd));
    return m_real.fchmod(fd, mode);
}

int FaultyFileOperations::fchown(int fd, uid_t owner, gid_t group) {
    record("fchown", fileOf(fd));
    return m_real.fchown(fd, owner, group);
}

int FaultyFileOperations::rename(const std::filesystem::path& from,
                                 const std::filesystem::path& to) {
    if (const int injected = injectedError("rename"); injected != 0) {
        record("rename", from, "failed", to);
        return injected;
    }
    const auto failing = m_renameErrors.find(to.filename().string());
    if (failing != m_renameErrors.end()) {
        record("rename", from, "failed", to);
        return failing->second;
    }
    record("rename", from, "", to);
    return m_real.rename(from, to);
}

int FaultyFileOperations::unlink(const std::filesystem::path& file) {
    if (const int injected = injectedError("unlink"); injected != 0) {
        record("unlink", file, "failed");
        return injected;
    }
    record("unlink", file);
    return m_real.unlink(file);
}

int FaultyFileOperations::syncFolder(const std::filesystem::path& folder) {
    if (const int injected = injectedError("syncFolder"); injected != 0) {
        record("syncFolder", folder, "failed");
        return injected;
    }
    if (m_syncFolderError != 0) {
        record("syncFolder", folder, "failed");
        return m_syncFolderError;
    }
    record("syncFolder", folder, m_skipSyncs ? "skipped" : "");
    return m_skipSyncs ? 0 : m_real.syncFolder(folder);
}

int FaultyFileOperations::status(const std::filesystem::path& file, bool followLinks,
                                 struct stat* info) {
    record(followLinks ? "stat" : "lstat", file);
    return m_real.status(file, followLinks, info);
}

int FaultyFileOperations::readLink(const std::filesystem::path& link,
                                   std::filesystem::path* target) {
    record("readLink", link);
    return m_real.readLink(link, target);
}

int FaultyFileOperations::listFolder(const std::filesystem::path& folder,
                                     std::vector<std::string>* names) {
    record("listFolder", folder);
    return m_real.listFolder(folder, names);
}

bool FaultyFileOperations::processExists(pid_t pid) {
    record("processExists", std::to_string(pid));
    return m_real.processExists(pid);
}

int FaultyFileOperations::makeFolder(const std::filesystem::path& folder, mode_t mode) {
    return simple("makeFolder", folder, [&] { return m_real.makeFolder(folder, mode); });
}

int FaultyFileOperations::removeFolder(const std::filesystem::path& folder) {
    return simple("removeFolder", folder, [&] { return m_real.removeFolder(folder); });
}

int FaultyFileOperations::removeTree(const std::filesystem::path& path) {
    return simple("removeTree", path, [&] { return m_real.removeTree(path); });
}

int FaultyFileOperations::exchange(const std::filesystem::path& first,
                                   const std::filesystem::path& second) {
    if (const int injected = injectedError("exchange"); injected != 0) {
        record("exchange", first, "failed", second);
        return injected;
    }
    record("exchange", first, "", second);
    return m_real.exchange(first, second);
}

int FaultyFileOperations::simple(const char* operation, const std::filesystem::path& path,
                                 const std::function<int()>& call) {
    if (const int injected = injectedError(operation); injected != 0) {
        record(operation, path, "failed");
        return injected;
    }
    record(operation, path);
    return call();
}

}  // namespace quillet::testing
