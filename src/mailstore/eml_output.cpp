#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include "mailstore/folder_output.h"
#include "mailstore/side_folder.h"
#include "platform/durable_file.h"

namespace quillet::mailstore {

namespace {

constexpr std::size_t kWriteBlock = 256 * 1024;

class EmlOutput : public FolderOutput {
  public:
    EmlOutput(std::filesystem::path target, std::size_t messageCount, OutputSetting setting)
        : m_target(std::move(target)),
          m_messageCount(messageCount),
          m_files(*setting.files),
          m_folderSwept(setting.folderSwept),
          m_folder(m_files) {}

    ~EmlOutput() override {
        if (m_fd >= 0) (void)m_files.close(m_fd);  // the folder it is in goes with it
    }

    Status begin() override { return m_folder.make(m_target, m_folderSwept); }

    Status startMessage(std::size_t position, const MessageEntry&) override {
        m_file = m_folder.path() / EmlFileName(position, m_messageCount);
        m_buffer.clear();
        return Status::Ok();
    }

    Status write(std::span<const std::byte> piece) override {
        m_buffer.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        return m_buffer.size() < kWriteBlock ? Status::Ok() : writeBuffer();
    }

    Status finishMessage() override {
        if (Status s = writeBuffer(); !s) return s;
        const int fd = m_fd;
        m_fd = -1;
        if (int error = m_files.close(fd); error != 0) {
            return OutputFailure("Cannot write", m_file, error);
        }
        return Status::Ok();
    }

    Status commit(const BeforePlacing& beforePlacing) override {
        if (Status s = m_folder.flush(); !s) return s;
        if (beforePlacing) {
            if (Status s = beforePlacing(m_folder.path()); !s) return s;
        }
        std::filesystem::path moved = m_folder.path();
        if (Status s = PutInPlace(moved, m_target, m_files); !s) return s;
        m_folder.keep();
        RemoveRemnant(moved, m_files);
        if (int error = m_files.syncFolder(m_target.parent_path()); error != 0) {
            return OutputFailure("Cannot write", m_target.parent_path(), error);
        }
        return Status::Ok();
    }

  private:
    Status writeBuffer() {
        if (m_fd < 0) {
            const int error = m_files.open(m_file, O_WRONLY | O_CREAT | O_EXCL, 0666, &m_fd);
            if (error != 0) {
                m_fd = -1;
                return OutputFailure("Cannot create", m_file, error);
            }
        }
        Status status = WriteAllToFd(m_fd, m_buffer, m_files);
        m_buffer.clear();
        if (!status)
            return Status::Error("Cannot write " + m_file.string() + ": " + status.reason(),
                                 status.kind());
        return Status::Ok();
    }

    std::filesystem::path m_target;
    std::size_t m_messageCount;
    FileOperations& m_files;
    bool m_folderSwept;
    SideFolder m_folder;
    std::filesystem::path m_file;
    std::string m_buffer;
    int m_fd = -1;
};

}  // namespace

std::string EmlFileName(std::size_t position, std::size_t messageCount) {
    const std::string number = std::to_string(position + 1);
    const std::size_t width = std::max<std::size_t>(5, std::to_string(messageCount).size());
    return std::string(width > number.size() ? width - number.size() : 0, '0') + number +
           std::string(kEmlExtension);
}

std::unique_ptr<FolderOutput> MakeEmlOutput(std::filesystem::path target, std::size_t messageCount,
                                            OutputSetting setting) {
    return std::make_unique<EmlOutput>(std::move(target), messageCount, setting);
}

}  // namespace quillet::mailstore
