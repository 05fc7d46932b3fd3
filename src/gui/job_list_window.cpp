#include "gui/job_list_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "backup/backup_item.h"
#include "gui/app_icon.h"
#include "gui/skin.h"
#include "schedule/day_codes.h"
#include "schedule/start_time.h"
#include "schedule/system_time_zone.h"

namespace quillet {
namespace {

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), text.size()); }

}  // namespace

JobListWindow::JobListWindow(Scheduler& scheduler, std::vector<Identity> identities,
                             MessageService& messages, const std::filesystem::path& dataFolder,
                             QWidget* parent)
    : QDialog(parent),
      m_scheduler(scheduler),
      m_identities(std::move(identities)),
      m_messages(messages) {
    setObjectName("JobListWindow");
    setWindowTitle("Scheduled Backups");
    setWindowIcon(AppIcon());
    setModal(true);

    m_jobs = new QTreeWidget(this);
    m_jobs->setObjectName("lvwJobs");
    m_jobs->setRootIsDecorated(false);
    m_jobs->setSelectionMode(QAbstractItemView::SingleSelection);
    m_jobs->setHeaderLabels({"Number", "Identity", "Items", "Days", "Time", "Last Run", "File"});
    m_jobs->header()->setStretchLastSection(true);

    m_remove = new QPushButton("Remove", this);
    m_remove->setObjectName("cmdRemove");
    m_remove->setEnabled(false);
    connect(m_remove, &QPushButton::clicked, this, &JobListWindow::removeSelected);
    connect(m_jobs, &QTreeWidget::itemSelectionChanged, this,
            [this] { m_remove->setEnabled(!m_jobs->selectedItems().isEmpty()); });
    auto* close = new QPushButton("Close", this);
    close->setObjectName("cmdClose");
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_remove);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* zoneNote = new QLabel(Text(LocalTimeNote(m_scheduler.timeZoneName())), this);
    zoneNote->setObjectName("lblTimeZone");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_jobs);
    layout->addWidget(zoneNote);
    layout->addLayout(buttons);
    ApplySkin(*this, dataFolder);
    refresh();
    // Wide enough to show every column of the jobs listed at opening.
    const int frame = m_jobs->frameWidth() * 2 + layout->contentsMargins().left() +
                      layout->contentsMargins().right();
    resize(std::clamp(m_jobs->header()->length() + frame, 560, 1100), 300);
}

void JobListWindow::refresh() {
    m_jobs->clear();
    auto jobs = m_scheduler.listJobs();
    if (!jobs) {
        m_messages.showMessage(jobs.reason(), MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    for (const ScheduledJob& job : *jobs) {
        const Identity* identity = FindIdentity(m_identities, job.job.identityKey);
        const std::string columns[kColumnCount] = {
            std::to_string(job.number),
            identity != nullptr ? identity->userName : job.job.identityKey,
            SelectedItemNames(job.job.itemMask, &ItemDescription::backupCaption, ", "),
            job.runsOnce() ? kRunOnceText : DayListFromDays(job.daysOfWeek),
            FormatStartTime(job.startTime),
            LastRunText(job.lastRun),
            job.job.backupFile,
        };
        auto* row = new QTreeWidgetItem(m_jobs);
        for (int column = 0; column < kColumnCount; ++column) {
            row->setText(column, Text(columns[column]));
        }
        row->setData(kNumber, Qt::UserRole, job.number);
        row->setData(kNumber, kTokenRole, Text(job.token));
    }
    for (int column = 0; column < kColumnCount; ++column) m_jobs->resizeColumnToContents(column);
}

void JobListWindow::removeSelected() {
    const QList<QTreeWidgetItem*> selected = m_jobs->selectedItems();
    if (selected.isEmpty()) return;
    // The job this row was listed as: a row left from before another program changed the jobs
    // never removes the job that has taken its number since.
    ScheduledJob listed;
    listed.number = selected.front()->data(kNumber, Qt::UserRole).toInt();
    listed.token = selected.front()->data(kNumber, kTokenRole).toString().toStdString();
    const Status removed = m_scheduler.removeListedJob(listed);
    if (!removed)
        m_messages.showMessage(removed.reason(), MessageIcon::Critical, MessageButtons::Ok);
    refresh();
}

}  // namespace quillet
