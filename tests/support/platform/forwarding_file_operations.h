#pragma once

#include "platform/file_operations.h"

namespace quillet::testing {

// Passes every call on to another FileOperations (the system's own by default), so that a test's
// wrapper overrides only the calls it changes.
class ForwardingFileOperations : public FileOperations {
  public:
    explicit ForwardingFileOperations(FileOperations& next = RealFileOperations()) : m_next(next) {}

    int open(const std::filesystem::path& file, int flags, mode_t mode, int* fd) override {
        return m_next.open(file, flags, mode, fd);
    }
    int write(int fd, std::string_view data, std::size_t* written) override {
        return m_next.write(fd, data, written);
    }
    int fsync(int fd) override { return m_next.fsync(fd); }
    int close(int fd) override { return m_next.close(fd); }
    int fchmod(int fd, mode_t mode) override { return m_next.fchmod(fd, mode); }
    int fchown(int fd, uid_t owner, gid_t group) override {
        return m_next.fchown(fd, owner, group);
    }
    int rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return m_next.rename(from, to);
    }
    int unlink(const std::filesystem::path& file) override { return m_next.unlink(file); }
    int syncFolder(const std::filesystem::path& folder) override {
        return m_next.syncFolder(folder);
    }
    int status(const std::filesystem::path& file, bool followLinks, struct stat* info) override {
        return m_next.status(file, followLinks, info);
    }
    int readLink(const std::filesystem::path& link, std::filesystem::path* target) override {
        return m_next.readLink(link, target);
    }
    int listFolder(const std::filesystem::path& folder, std::vector<std::string>* names) override {
        return m_next.listFolder(folder, names);
    }
    bool processExists(pid_t pid) override { return m_next.processExists(pid); }
    int makeFolder(const std::filesystem::path& folder, mode_t mode) override {
        return m_next.makeFolder(folder, mode);
    }
    int removeFolder(const std::filesystem::path& folder) override {
        return m_next.removeFolder(folder);
    }
    int removeTree(const std::filesystem::path& path) override { return m_next.removeTree(path); }
    int exchange(const std::filesystem::path& first, const std::filesystem::path& second) override {
        return m_next.exchange(first, second);
    }

  private:
    FileOperations& m_next;
};

}  // namespace quillet::testing
