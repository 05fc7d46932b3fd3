#include "gui/schedule_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "backup/backup_item.h"
#include "gui/app_icon.h"
#include "gui/button_width.h"
#include "gui/password_field.h"
#include "gui/skin.h"
#include "gui/window_texts.h"
#include "schedule/register_backup_job.h"
#include "schedule/start_time.h"
#include "schedule/system_time_zone.h"

namespace quillet {
namespace {

// The start time offered when the window opens, and the one shown when there is no identity
// (the list then stays empty).
constexpr TimeOfDay kProposedStartTime{9, 0};
constexpr char kNoStartTimeText[] = "00:00";

QString Text(std::string_view text) { return QString::fromUtf8(text.data(), text.size()); }

void ShowRegistration(MessageService& messages, const JobRegistration& registration) {
    if (registration.scheduled()) {
        messages.showMessage(JobScheduledMessage(*registration.number), MessageIcon::None,
                             MessageButtons::Ok);
    } else if (registration.refusal == JobRefusal::kStartTime) {
        messages.showMessage(kInvalidStartTimeMessage, MessageIcon::Exclamation,
                             MessageButtons::Ok);
    } else {
        messages.showMessage(JobNotScheduledMessage(registration.reason), MessageIcon::Critical,
                             MessageButtons::Ok);
    }
}

}  // namespace

ScheduleWindow::ScheduleWindow(ScheduleWindowServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setObjectName("Frmoption");
    setWindowTitle("Task Scheduler");
    setWindowIcon(AppIcon());
    setModal(true);

    m_identity = new QComboBox(this);
    m_identity->setObjectName("cbSource");
    auto* itemFrame = new QGroupBox("Items to backup", this);
    itemFrame->setObjectName("backupFrame");
    ItemGrid(itemFrame, m_items, "backupitem", &ItemDescription::backupCaption);

    m_targetField = new QLineEdit(this);
    m_targetField->setObjectName("txtTargetFile");
    auto* browse = new QPushButton("Browse...", this);
    browse->setObjectName("cmdTargetFile");
    connect(browse, &QPushButton::clicked, this, &ScheduleWindow::chooseTargetFile);
    auto* target = new QHBoxLayout;
    target->addWidget(m_targetField);
    target->addWidget(browse);

    auto* security = new QGroupBox("Security", this);
    security->setObjectName("securityFrame");
    m_protect = new QCheckBox("Protect backup file with password", security);
    m_protect->setObjectName("ifprotect");
    m_password = new QLineEdit(security);
    m_password->setObjectName("txtPassword");
    m_passwordAgain = new QLineEdit(security);
    m_passwordAgain->setObjectName("txtPassword2");
    for (QLineEdit* field : {m_password, m_passwordAgain}) {
        MakePasswordField(*field, kPasswordMaxLength);
    }
    auto* securityLayout = new QFormLayout(security);
    securityLayout->addRow(m_protect);
    securityLayout->addRow("Password:", m_password);
    securityLayout->addRow("Retype Password:", m_passwordAgain);
    connect(m_protect, &QCheckBox::toggled, this, [this](bool on) {
        SetPasswordFieldsEnabled(*this, {m_password, m_passwordAgain}, on);
    });
    SetPasswordFieldsEnabled(*this, {m_password, m_passwordAgain}, false);

    m_startTime = new QComboBox(this);
    m_startTime->setObjectName("cmbStartTime");
    m_startTime->setEditable(true);
    m_startTime->setInsertPolicy(QComboBox::NoInsert);

    auto* dayFrame = new QGroupBox(this);
    dayFrame->setObjectName("dayFrame");
    auto* dayGrid = new QGridLayout(dayFrame);
    for (std::size_t day = 0; day < kWeekDays.size(); ++day) {
        m_days[day] = new QCheckBox(Text(kWeekDays[day].name), dayFrame);
        m_days[day]->setObjectName("chk" + Text(kWeekDays[day].name));
        dayGrid->addWidget(m_days[day], static_cast<int>(day % 4), static_cast<int>(day / 4));
    }
    m_daily = new QCheckBox("Run daily", dayFrame);
    m_daily->setObjectName("chkDaily");
    dayGrid->addWidget(m_daily, 3, 1);
    // The day boxes have no handlers of their own: unticking a day leaves "Run daily" ticked.
    connect(m_daily, &QCheckBox::toggled, this, [this](bool on) {
        for (QCheckBox* day : m_days) day->setChecked(on);
    });

    m_addButton = new QPushButton("Add Task to Scheduler", this);
    m_addButton->setObjectName("Command3");
    m_addButton->setDefault(true);
    connect(m_addButton, &QPushButton::clicked, this, &ScheduleWindow::addTask);
    auto* openList = new QPushButton("Open Scheduler", this);
    openList->setObjectName("Command1");
    connect(openList, &QPushButton::clicked, this, [this] {
        if (m_services.openJobList) m_services.openJobList(*this);
    });
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("Command2");
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_addButton);
    buttons->addWidget(openList);
    buttons->addStretch();
    buttons->addWidget(cancel);

    auto* identityRow = new QFormLayout;
    identityRow->addRow("Identity to backup", m_identity);
    // cron starts jobs at the system's times, which the user's own TZ may not share.
    auto* zoneNote = new QLabel(Text(LocalTimeNote(m_services.scheduler.timeZoneName())), this);
    zoneNote->setObjectName("lblTimeZone");
    auto* startRow = new QFormLayout;
    startRow->addRow("Start backup at", m_startTime);
    startRow->addRow(zoneNote);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(identityRow);
    layout->addWidget(itemFrame);
    layout->addWidget(new QLabel("Choose a Backup Filename", this));
    layout->addLayout(target);
    layout->addWidget(security);
    layout->addLayout(startRow);
    layout->addWidget(dayFrame);
    layout->addLayout(buttons);

    // The window's load.
    ApplySkin(*this, m_services.dataFolder);
    FitButtonToBoldText(*m_addButton);
    loadIdentities();
}

void ScheduleWindow::loadIdentities() {
    m_identities = ListIdentities(m_services.modReg);
    if (m_identities.empty()) {
        m_services.dialogs.showMessage(kNoOutlookExpressMessage, MessageIcon::Critical,
                                       MessageButtons::Ok);
        m_addButton->setEnabled(false);
        m_startTime->setEditText(kNoStartTimeText);
        return;
    }
    for (const Identity& identity : m_identities) {
        m_identity->addItem(QString::fromStdString(identity.userName));
    }
    m_identity->setCurrentIndex(0);
    for (int hour = 0; hour < 24; ++hour) {
        for (const int minute : {0, 30}) {
            m_startTime->addItem(QString::fromStdString(FormatStartTime({hour, minute})));
        }
    }
    m_startTime->setEditText(QString::fromStdString(FormatStartTime(kProposedStartTime)));
}

void ScheduleWindow::chooseTargetFile() {
    const auto chosen =
        m_services.dialogs.saveFileName(kSaveBackupTitle, kBackupFileFilter, "quillet");
    if (!chosen) return;
    m_targetFile = *chosen;
    m_targetField->setText(QString::fromStdString(*chosen));
}

std::string ScheduleWindow::dayList() const {
    std::uint8_t days = 0;
    for (std::size_t day = 0; day < kWeekDays.size(); ++day) {
        if (m_days[day]->isChecked()) days |= static_cast<std::uint8_t>(1u << day);
    }
    return DayListFromDays(days);
}

void ScheduleWindow::addTask() {
    DialogService& dialogs = m_services.dialogs;
    const ItemMask items = TickedItems(m_items);
    if (Status selected = CheckItemSelected(items); !selected) {
        dialogs.showMessage(selected.reason(), MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    if (m_targetFile.empty()) {
        dialogs.showMessage(kInvalidBackupFileNameMessage, MessageIcon::Exclamation,
                            MessageButtons::Ok);
        return;
    }
    const bool protect = m_protect->isChecked();
    if (protect && m_password->text().isEmpty() && m_passwordAgain->text().isEmpty()) {
        dialogs.showMessage(kEnterPasswordMessage, MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    if (protect && m_password->text() != m_passwordAgain->text()) {
        dialogs.showMessage(kPasswordMismatchMessage, MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    const int row = m_identity->currentIndex();
    if (row < 0 || row >= static_cast<int>(m_identities.size())) return;

    const BackupJobRequest request{
        .identityKey = m_identities[row].key,
        .itemMask = MaskText(items),
        // Unticking the protection box empties the field, so an unprotected job has none.
        .password = m_password->text().toStdString(),
        .backupFile = m_targetFile,
        .startTime = m_startTime->currentText().toStdString(),
        .dayList = dayList(),
    };
    // The registration checks the start time and the days, as it does for the command line.
    ShowRegistration(dialogs, RegisterBackupJob(m_services.scheduler, m_services.program, request));
}

}  // namespace quillet
