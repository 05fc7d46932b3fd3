#include "mailstore/folder_output.h"
#include "mailstore/mbox_writer.h"
#include "mailstore/message_state.h"
#include "platform/durable_file.h"

namespace quillet::mailstore {

namespace {

class MboxOutput : public FolderOutput {
  public:
    MboxOutput(std::filesystem::path target, bool withState, OutputSetting setting)
        : m_withState(withState),
          m_file(std::move(target), *setting.files,
                 {.mode = std::nullopt, .folderSwept = setting.folderSwept}),
          m_writer([this](std::string_view block) { return m_file.write(block); }) {}

    Status begin() override { return m_file.begin(); }
    Status startMessage(std::size_t, const MessageEntry& message) override {
        if (m_withState) {
            const auto fields = MboxStateFields(MessageState::Of(message));
            m_writer.setFields({fields.begin(), fields.end()});
        }
        return Status::Ok();
    }
    Status write(std::span<const std::byte> piece) override { return m_writer.write(piece); }
    Status finishMessage() override { return m_writer.finishMessage(); }
    Status commit(const BeforePlacing& beforePlacing) override {
        if (Status s = m_writer.flush(); !s) return s;
        if (Status s = m_file.flush(); !s) return s;
        if (beforePlacing) {
            if (Status s = beforePlacing(m_file.temporary()); !s) return s;
        }
        return m_file.commit();
    }

  private:
    bool m_withState;
    FileReplacement m_file;
    MboxWriter m_writer;
};

}  // namespace

std::unique_ptr<FolderOutput> MakeMboxOutput(std::filesystem::path target, bool withState,
                                             OutputSetting setting) {
    return std::make_unique<MboxOutput>(std::move(target), withState, setting);
}

}  // namespace quillet::mailstore
