#pragma once

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "platform/file_operations.h"

namespace quillet::testing {

// One call made through FaultyFileOperations. Calls on a descriptor name the file it was opened
// on; `to` is a rename's new name.
struct FileCall {
    std::string operation;  // the FileOperations member: "open", "write", "fsync", "rename"...
    std::filesystem::path path;
    std::filesystem::path to;
    // "failed": this object made the call fail; "skipped": it did not flush (see skipSyncs).
    std::string fault;

    bool operator==(const FileCall& other) const = default;
};
std::ostream& operator<<(std::ostream& out, const FileCall& call);

// The real file operations, with faults a test asks for, in the manner of a fault-injecting test
// environment: it records every call in order, can fail the n-th write with "No space left on
// device", fail renames onto a file, fail the flush of a folder, and skip flushes (the call
// succeeds without flushing; the recording shows which flushes were asked for).
// One thread at a time.
class FaultyFileOperations : public FileOperations {
  public:
    explicit FaultyFileOperations(FileOperations& real = RealFileOperations()) : m_real(real) {}

    // The `nth` write from now (1 is the next) to a file whose name contains `namePart` (any
    // file when it is empty) fails with `error`, writing nothing; so does every later one.
    void failWrite(int nth, const std::string& namePart = "", int error = ENOSPC);
    // Each write writes at most this many bytes, as writes to a pipe or a full disk may.
    void limitWriteSize(std::size_t bytes) { m_writeLimit = bytes; }
    // fsync and syncFolder succeed without flushing anything.
    void skipSyncs() { m_skipSyncs = true; }
    // Renames onto a file of this name fail with `error`.
    void failRenameTo(const std::string& fileName, int error = EIO);
    // Folder flushes fail with `error`.
    void failSyncFolder(int error = EIO) { m_syncFolderError = error; }
    // The `nth` call from now (1 is the next) of `operation` (a FileOperations member's name, as
    // in FileCall) fails with `error`, and, when `persist`, so does every later one. A failing
    // call is not made, except close(), which gives up the descriptor whatever it returns, as on
    // Linux. One fault per operation: a later call for the same operation replaces it.
    void failCall(const std::string& operation, int nth, int error, bool persist = false);
    // From now on every call does what the real one does (the recording goes on).
    void clearFaults();
    // How many calls this object has made fail, or has not let flush, so far.
    int faultsInjected() const { return m_faultsInjected; }

    const std::vector<FileCall>& calls() const { return m_calls; }
    // The calls of these operations only, in order.
    std::vector<FileCall> callsOf(const std::vector<std::string>& operations) const;

    int open(const std::filesystem::path& file, int flags, mode_t mode, int* fd) override;
    int write(int fd, std::string_view data, std::size_t* written) override;
    int fsync(int fd) override;
    int close(int fd) override;
    int fchmod(int fd, mode_t mode) override;
    int fchown(int fd, uid_t owner, gid_t group) override;
    int rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
    int unlink(const std::filesystem::path& file) override;
    int syncFolder(const std::filesystem::path& folder) override;
    int status(const std::filesystem::path& file, bool followLinks, struct stat* info) override;
    int readLink(const std::filesystem::path& link, std::filesystem::path* target) override;
    int listFolder(const std::filesystem::path& folder, std::vector<std::string>* names) override;
    bool processExists(pid_t pid) override;
    int makeFolder(const std::filesystem::path& folder, mode_t mode) override;
    int removeFolder(const std::filesystem::path& folder) override;
    int removeTree(const std::filesystem::path& path) override;
    int exchange(const std::filesystem::path& first, const std::filesystem::path& second) override;

  private:
    // A call on a path that fails as failCall says, or is recorded and made.
    int simple(const char* operation, const std::filesystem::path& path,
               const std::function<int()>& call);
    void record(std::string operation, std::filesystem::path path, std::string fault = "",
                std::filesystem::path to = {});
    std::filesystem::path fileOf(int fd) const;
    // The error a call of `operation` is to fail with now (see failCall), or 0.
    int injectedError(const std::string& operation);

    struct CallFault {
        int callsUntilFailure = 0;  // 1: the next call fails; 0: no call fails any more
        int error = 0;
        bool persist = false;
    };

    FileOperations& m_real;
    std::vector<FileCall> m_calls;
    std::map<int, std::filesystem::path> m_openFiles;

    int m_writesUntilFailure = 0;  // 0: no write fails
    std::string m_failingWriteName;
    int m_writeError = 0;
    std::size_t m_writeLimit = 0;  // 0: no limit
    bool m_skipSyncs = false;
    std::map<std::string, int> m_renameErrors;  // by the new name's file name
    int m_syncFolderError = 0;
    std::map<std::string, CallFault> m_callFaults;  // by operation
    int m_faultsInjected = 0;
};

}  // namespace quillet::testing
