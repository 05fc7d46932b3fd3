#pragma once

#include <QDialog>
#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "backup/identity_list.h"
#include "gui/dialog_service.h"
#include "gui/item_boxes.h"
#include "registry/mod_reg.h"
#include "schedule/day_codes.h"
#include "schedule/scheduler.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace quillet {

// The window's report of a start time that is no time of day.
inline constexpr char kInvalidStartTimeMessage[] = "Invalid start time.";

// What the schedule window works with; the main window fills it from its own services.
struct ScheduleWindowServices {
    registry::ModReg& modReg;  // lists the identities
    DialogService& dialogs;
    Scheduler& scheduler;              // where "Add Task to Scheduler" registers the job
    std::string program;               // the program a job starts (absolute path)
    std::filesystem::path dataFolder;  // the skin
    // "Open Scheduler": shows the list of scheduled jobs over `owner`, modally.
    std::function<void(QWidget& owner)> openJobList;
};

// The "Task Scheduler" window: one backup job per "Add Task to Scheduler" (identity, items, file,
// password, start time, days), checked and registered with the scheduler; the window stays open
// with its entries, so several jobs can be added in one visit. Shown modally.
class ScheduleWindow : public QDialog {
    Q_OBJECT
  public:
    explicit ScheduleWindow(ScheduleWindowServices services, QWidget* parent = nullptr);

    // "Add Task to Scheduler": the checks, each stopping with its message, then the registration
    // and its outcome: "Task N has been scheduled." (no icon), kInvalidStartTimeMessage
    // (exclamation), or JobNotScheduledMessage (critical).
    void addTask();

    // The codes of the ticked days, Monday to Sunday, joined by ","; "" when no day is ticked.
    std::string dayList() const;
    // The file chosen with "Browse..." ("" until one is chosen); typing does not change it.
    const std::string& targetFile() const { return m_targetFile; }

  private:
    void loadIdentities();
    void chooseTargetFile();

    ScheduleWindowServices m_services;
    std::vector<Identity> m_identities;
    std::string m_targetFile;

    QComboBox* m_identity;
    ItemBoxes m_items{};
    QLineEdit* m_targetField;
    QCheckBox* m_protect;
    QLineEdit* m_password;
    QLineEdit* m_passwordAgain;
    QComboBox* m_startTime;
    std::array<QCheckBox*, kWeekDays.size()> m_days{};
    QCheckBox* m_daily;
    QPushButton* m_addButton;
};

}  // namespace quillet
