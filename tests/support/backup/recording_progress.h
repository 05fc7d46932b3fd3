#pragma once

#include <string>
#include <vector>

#include "backup/backup_run.h"

namespace quillet::testing {

// Records what a run reports: its status texts, its progress values and whether each save of the
// archive went well.
class RecordingProgress : public BackupProgress {
  public:
    void status(const std::string& text) override { statuses.push_back(text); }
    void progress(int value) override { values.push_back(value); }
    void SaveDone(bool ok, const std::string&) override { saveDone.push_back(ok); }

    std::vector<std::string> statuses;
    std::vector<int> values;
    std::vector<bool> saveDone;
};

}  // namespace quillet::testing
