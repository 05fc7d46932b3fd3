#pragma once

#include <ostream>
#include <string>

#include "backup/backup_run.h"

namespace quillet::cli {

// A progress bar drawn on `err` when `enabled` (by default, when the process's stderr is a
// terminal).
class TerminalProgress : public BackupProgress {
  public:
    explicit TerminalProgress(std::ostream& err, bool enabled = StderrIsTerminal());
    ~TerminalProgress() override;

    static bool StderrIsTerminal();

    void status(const std::string& text) override;
    void progress(int value) override;
    void EntryAdding(const std::string& name) override;
    void EntryExtracting(const std::string& name) override;
    void SaveProgress(int percent) override;

  private:
    void draw();

    std::ostream& m_err;
    bool m_enabled;
    int m_value = 0;
    std::string m_text;
    bool m_drawn = false;
};

// The steps of the work as lines on `err`, one per status the work reports (quillet-cli -v).
class StepLines : public BackupProgress {
  public:
    explicit StepLines(std::ostream& err) : m_err(err) {}
    void status(const std::string& text) override { m_err << text << '\n'; }

  private:
    std::ostream& m_err;
};

}  // namespace quillet::cli
