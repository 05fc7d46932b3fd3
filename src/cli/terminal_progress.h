#pragma once

#include <string>

#include "backup/backup_run.h"

namespace quillet::cli {

// A progress bar on stderr, drawn only when stderr is a terminal.
class TerminalProgress : public BackupProgress {
  public:
    TerminalProgress();
    ~TerminalProgress() override;

    void status(const std::string& text) override;
    void progress(int value) override;
    void EntryAdding(const std::string& name) override;
    void EntryExtracting(const std::string& name) override;
    void SaveProgress(int percent) override;

  private:
    void draw();

    bool m_enabled;
    int m_value = 0;
    std::string m_text;
    bool m_drawn = false;
};

}  // namespace quillet::cli
