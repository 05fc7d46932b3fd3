#pragma once

#include <QDialog>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/identity_list.h"
#include "platform/message_service.h"
#include "schedule/scheduler.h"

class QPushButton;
class QTreeWidget;

namespace quillet {

// "Scheduled Backups": Quillet's scheduled jobs, one row each (number, identity, items, days,
// time, last run, backup file; never the password), with "Remove" for the selected job and
// "Close", and a note that the times are the system's local time.
// A failure to list or remove is shown as a message with the scheduler's reason.
class JobListWindow : public QDialog {
    Q_OBJECT
  public:
    // `identities` names the jobs' identities; a job whose identity is not among them shows its
    // identity key.
    JobListWindow(Scheduler& scheduler, std::vector<Identity> identities, MessageService& messages,
                  const std::filesystem::path& dataFolder, QWidget* parent = nullptr);

    // Lists the jobs again.
    void refresh();
    // Removes the selected job, then lists the jobs again; nothing when none is selected.
    void removeSelected();

    // The columns, in order. Items are named by their backup captions, joined by ", "; days by
    // their day list, or "Once" for a job that runs once; the time as "H:MM"; the last run as
    // LastRunText.
    enum Column { kNumber, kIdentity, kItems, kDays, kTime, kLastRun, kFile, kColumnCount };
    // The data role of the number column that holds the row's job token.
    static constexpr int kTokenRole = Qt::UserRole + 1;
    static constexpr char kRunOnceText[] = "Once";

  private:
    Scheduler& m_scheduler;
    std::vector<Identity> m_identities;
    MessageService& m_messages;
    QTreeWidget* m_jobs;
    QPushButton* m_remove;
};

}  // namespace quillet
