#include "mailstore/folder_output.h"
#include "mailstore/mbox_writer.h"
#include "platform/durable_file.h"

namespace quillet::mailstore {

namespace {

class MboxOutput : public FolderOutput {
  public:
    explicit MboxOutput(std::filesystem::path target)
        : m_file(std::move(target)),
          m_writer([this](std::string_view block) { return m_file.write(block); }) {}

    Status begin() override { return m_file.begin(); }
    Status startMessage(std::size_t, const MessageEntry&) override { return Status::Ok(); }
    Status write(std::span<const std::byte> piece) override { return m_writer.write(piece); }
    Status finishMessage() override { return m_writer.finishMessage(); }
    Status commit() override {
        if (Status s = m_writer.flush(); !s) return s;
        return m_file.commit();
    }

  private:
    FileReplacement m_file;
    MboxWriter m_writer;
};

}  // namespace

std::unique_ptr<FolderOutput> MakeMboxOutput(std::filesystem::path target) {
    return std::make_unique<MboxOutput>(std::move(target));
}

}  // namespace quillet::mailstore
