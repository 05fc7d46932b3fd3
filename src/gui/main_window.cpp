#include "gui/main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "backup/item_availability.h"
#include "backup/mail_sources.h"
#include "gui/about_window.h"
#include "gui/app_icon.h"
#include "gui/contacts_texts.h"
#include "gui/contacts_window.h"
#include "gui/disc_writer_window.h"
#include "gui/item_boxes.h"
#include "gui/job_list_window.h"
#include "gui/mail_export_texts.h"
#include "gui/mail_export_window.h"
#include "gui/password_field.h"
#include "gui/program_folder.h"
#include "gui/schedule_window.h"
#include "gui/skin.h"
#include "gui/thunderbird_texts.h"
#include "gui/thunderbird_window.h"
#include "gui/window_texts.h"
#include "thunderbird/profile_sources.h"

namespace quillet {
MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)) {
    setObjectName("frmMain");
    setWindowTitle(QString::fromStdString(std::string(kMainWindowCaption) + " - " +
                                          m_services.system.displayName()));
    setWindowIcon(AppIcon());

    auto* central = new QWidget(this);
    m_tabs = new QTabWidget(central);
    m_tabs->setObjectName("SSTab1");
    auto* backupTab = new QWidget;
    auto* restoreTab = new QWidget;
    buildBackupTab(backupTab);
    buildRestoreTab(restoreTab);
    m_tabs->addTab(backupTab, "Backup");
    m_tabs->addTab(restoreTab, "Restore");

    auto* about = new QPushButton("About", central);
    about->setObjectName("cmdAbout");
    m_actionButton = new QPushButton(central);
    m_actionButton->setObjectName("cmdApply");
    m_actionButton->setDefault(true);
    auto* quit = new QPushButton("Quit", central);
    quit->setObjectName("cmdQuit");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(about);
    buttons->addStretch();
    buttons->addWidget(m_actionButton);
    buttons->addWidget(quit);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_tabs);
    buildProgressPanel(central);
    layout->addWidget(m_progressPanel);
    layout->addLayout(buttons);
    setCentralWidget(central);
    buildMenus();

    connect(about, &QPushButton::clicked, this, [this] {
        AboutWindow window(m_services.dataFolder, this);
        window.exec();
    });
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_actionButton, &QPushButton::clicked, this, &MainWindow::actionClicked);
    connect(m_tabs, &QTabWidget::currentChanged, this, [this](int tab) {
        m_actionButton->setText(tab == 0 ? "Backup Now" : "Restore Now");
        m_actionButton->setEnabled(!m_noIdentity && !(tab == 1 && m_services.system.sourceOnly()));
    });

    // The window's load.
    ApplySkin(*this, m_services.dataFolder);
    hideProgressPanel();
    if (m_services.makeWorkFolder) {
        auto folder = m_services.makeWorkFolder();
        if (folder) m_sessionFolder = std::make_unique<WorkFolder>(std::move(folder.value()));
    }
    m_openedBackup = std::make_unique<OpenedBackup>(
        m_services.archive, m_sessionFolder ? m_sessionFolder->path() : std::filesystem::path());
    loadIdentities();
    m_actionButton->setText(m_tabs->currentIndex() == 0 ? "Backup Now" : "Restore Now");
    resize(640, 560);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildBackupTab(QWidget* tab) {
    m_sourceIdentity = new QComboBox(tab);
    m_sourceIdentity->setObjectName("cbSource");
    m_backupFrame = new QGroupBox("Items to backup", tab);
    m_backupFrame->setObjectName("backupFrame");
    ItemGrid(m_backupFrame, m_backupItems, "backupitem", &ItemDescription::backupCaption);
    m_backupFrame->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_backupFrame, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popUpSelectMenu(m_backupFrame, m_backupItems, "Selectallitems", "Unselectallitems", at);
    });

    m_backupFileField = new QLineEdit(tab);
    m_backupFileField->setObjectName("txtTargetFile");
    m_backupFileField->setReadOnly(true);
    auto* browse = new QPushButton("Browse...", tab);
    browse->setObjectName("cmdTargetFile");
    connect(browse, &QPushButton::clicked, this, &MainWindow::chooseBackupFile);
    auto* target = new QHBoxLayout;
    target->addWidget(m_backupFileField);
    target->addWidget(browse);

    m_description = new QPlainTextEdit(tab);
    m_description->setObjectName("txtAttachInfo");
    m_description->setTabChangesFocus(true);

    auto* security = new QGroupBox("Security", tab);
    security->setObjectName("securityFrame");
    m_protect = new QCheckBox("Protect backup file with password", security);
    m_protect->setObjectName("ifprotect");
    m_backupPassword = new QLineEdit(security);
    m_backupPassword->setObjectName("txtPassword");
    m_backupPasswordAgain = new QLineEdit(security);
    m_backupPasswordAgain->setObjectName("txtPassword2");
    for (QLineEdit* field : {m_backupPassword, m_backupPasswordAgain})
        MakePasswordField(*field, kPasswordMaxLength);
    auto* securityLayout = new QFormLayout(security);
    securityLayout->addRow(m_protect);
    securityLayout->addRow("Password:", m_backupPassword);
    securityLayout->addRow("Retype Password:", m_backupPasswordAgain);
    connect(m_protect, &QCheckBox::toggled, this, &MainWindow::setProtected);
    setProtected(false);
    connect(m_sourceIdentity, &QComboBox::currentIndexChanged, this, [this] { evaluateItems(); });

    auto* layout = new QVBoxLayout(tab);
    auto* identityRow = new QFormLayout;
    identityRow->addRow("Identity to backup", m_sourceIdentity);
    layout->addLayout(identityRow);
    layout->addWidget(m_backupFrame);
    layout->addWidget(new QLabel("Choose a Backup Filename", tab));
    layout->addLayout(target);
    layout->addWidget(new QLabel("Description", tab));
    layout->addWidget(m_description);
    layout->addWidget(security);
}

void MainWindow::buildRestoreTab(QWidget* tab) {
    m_restoreFileField = new QLineEdit(tab);
    m_restoreFileField->setObjectName("txtSourceFile");
    m_restoreFileField->setReadOnly(true);
    auto* browse = new QPushButton("Browse...", tab);
    browse->setObjectName("cmdSourceFile");
    connect(browse, &QPushButton::clicked, this, &MainWindow::OpenBackupFile);
    auto* source = new QHBoxLayout;
    source->addWidget(m_restoreFileField);
    source->addWidget(browse);

    m_backupOrigin = new QPlainTextEdit(tab);
    m_backupOrigin->setObjectName("txtPOBinfo");
    m_backupDescription = new QPlainTextEdit(tab);
    m_backupDescription->setObjectName("txtFileInfo");
    for (QPlainTextEdit* box : {m_backupOrigin, m_backupDescription}) {
        box->setReadOnly(true);
        box->setMaximumHeight(90);
    }
    auto* information = new QHBoxLayout;
    information->addWidget(m_backupOrigin);
    information->addWidget(m_backupDescription);

    m_targetIdentity = new QComboBox(tab);
    m_targetIdentity->setObjectName("cbTarget");
    m_restoreFrame = new QGroupBox("Items to restore", tab);
    m_restoreFrame->setObjectName("restoreFrame");
    ItemGrid(m_restoreFrame, m_restoreItems, "restoreitem", &ItemDescription::restoreCaption);
    for (QCheckBox* box : m_restoreItems) box->setEnabled(false);
    m_restoreFrame->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_restoreFrame, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popUpSelectMenu(m_restoreFrame, m_restoreItems, "Selectallitems2", "Unselectallitems2", at);
    });

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(new QLabel("Choose a Backup File to restore", tab));
    layout->addLayout(source);
    layout->addLayout(information);
    auto* identityRow = new QFormLayout;
    identityRow->addRow("Restore to identity", m_targetIdentity);
    layout->addLayout(identityRow);
    layout->addWidget(m_restoreFrame);
    layout->addStretch();

    if (m_services.system.sourceOnly()) {
        for (QWidget* control : tab->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            control->setEnabled(false);
        }
        auto* note = new QLabel(kSourceOnlyText, tab);
        note->setObjectName("lblSourceOnly");
        note->setWordWrap(true);
        layout->insertWidget(0, note);
    }
}

void MainWindow::buildProgressPanel(QWidget* parent) {
    m_progressPanel = new QFrame(parent);
    m_progressPanel->setObjectName("picCon3");
    m_progressPanel->setFrameShape(QFrame::StyledPanel);
    m_progressBar = new QProgressBar(m_progressPanel);
    m_progressBar->setObjectName("pbshow");
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_statusLabel = new QLabel("Please Waiting...", m_progressPanel);
    m_statusLabel->setObjectName("Label1");
    m_writeProgressLabel = new QLabel(m_progressPanel);
    m_writeProgressLabel->setObjectName("SkinLabel11");
    m_currentFileLabel = new QLabel(m_progressPanel);
    m_currentFileLabel->setObjectName("SkinLabel12");
    auto* layout = new QVBoxLayout(m_progressPanel);
    layout->addWidget(m_statusLabel);
    layout->addWidget(m_progressBar);
    auto* details = new QHBoxLayout;
    details->addWidget(m_currentFileLabel);
    details->addStretch();
    details->addWidget(m_writeProgressLabel);
    layout->addLayout(details);
}

void MainWindow::buildMenus() {
    const auto add = [this](QMenu* menu, const char* name, const char* caption, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* file = menuBar()->addMenu("File");
    file->setObjectName("mnuFile");
    add(file, "openprefix", "Open Wine Prefix...", [this] {
        if (m_services.openWinePrefix) m_services.openWinePrefix();
    });
    add(file, "opendisk", "Open Windows Disk...", [this] {
        if (m_services.openWindowsDisk) m_services.openWindowsDisk();
    });
    file->addSeparator();
    add(file, "backup", "Backup Now", [this] { RunBackup(); });
    add(file, "restore", "Restore Now", [this] {
        RunRestore();
    })->setEnabled(!m_services.system.sourceOnly());
    file->addSeparator();
    add(file, "quit", "Quit", [this] { close(); });

    QMenu* option = menuBar()->addMenu("Option");
    option->setObjectName("mnuOption");
    add(option, "TaskScheduler", "Task Scheduler", [this] {
        openScheduleWindow();
    })->setEnabled(m_services.scheduler != nullptr);
    option->addSeparator();
    // It has no action; shown disabled so that choosing it does not seem to do something.
    add(option, "update", "Check for Update", [] {})->setEnabled(false);
    QMenu* tools = menuBar()->addMenu("Tools");
    tools->setObjectName("mnuTools");
    add(tools, "backuptocd", "Backup Data to CD/DVD", [this] { showDiscWriter(); });
    add(tools, "exportmail", mail_export_texts::kMenuCaption, [this] { openMailExportWindow(); });
    add(tools, "thunderbird", thunderbird_texts::kMenuCaption, [this] { openThunderbirdWindow(); });
    add(tools, "exportcontacts", contacts_texts::kMenuCaption, [this] { openContactsWindow(); });

    QMenu* help = menuBar()->addMenu("Help");
    help->setObjectName("mnuHelp");
    add(help, "help1", "Help", [this] {
        if (m_services.shellOpen) m_services.shellOpen(HelpFile(m_services.dataFolder).string());
    });
    add(help, "website", "Our Website", [this] {
        if (m_services.shellOpen) m_services.shellOpen(AboutWindow::kWebAddress);
    });
    add(help, "about", "About", [this] {
        AboutWindow window(m_services.dataFolder, this);
        window.exec();
    });
}

void MainWindow::openScheduleWindow() {
    if (m_services.scheduler == nullptr) return;
    Scheduler& scheduler = *m_services.scheduler;
    ScheduleWindow window(
        ScheduleWindowServices{
            .modReg = m_services.system.modReg(),
            .dialogs = m_services.dialogs,
            .scheduler = scheduler,
            .program = m_services.programPath,
            .dataFolder = m_services.dataFolder,
            .openJobList =
                [this, &scheduler](QWidget& owner) {
                    JobListWindow list(scheduler, ListIdentities(m_services.system.modReg()),
                                       m_services.dialogs, m_services.dataFolder, &owner);
                    list.exec();
                },
        },
        this);
    window.exec();
}

void MainWindow::openMailExportWindow() {
    system::WindowsSystem& system = m_services.system;
    MailExportServices services{
        .dialogs = m_services.dialogs,
        .identities = m_identityList,
        .identityMail =
            [&system](const std::string& identityKey) {
                return IdentityMailSource(system, identityKey);
            },
        .dataFolder = m_services.dataFolder,
        .uploadLockFolder = m_services.uploadLockFolder,
    };
    if (!m_openedBackup->invalid() && m_sessionFolder) {
        services.backupMail = [this] {
            return BackupMailSource(*m_openedBackup, m_sessionFolder->path());
        };
        services.backupFile = m_openedBackup->file().string();
    }
    MailExportWindow window(std::move(services), this);
    window.exec();
}

void MainWindow::openThunderbirdWindow() {
    system::WindowsSystem& system = m_services.system;
    ThunderbirdServices services{
        .dialogs = m_services.dialogs,
        .identities = m_identityList,
        .identitySource =
            [&system](const Identity& identity) {
                return thunderbird::IdentityProfileSource(system, identity);
            },
        .profilesIni = m_services.thunderbirdProfiles,
        .dataFolder = m_services.dataFolder,
    };
    if (!m_openedBackup->invalid() && m_sessionFolder) {
        services.backupSource = [this] {
            return thunderbird::BackupProfileSource(*m_openedBackup, m_sessionFolder->path());
        };
        services.backupFile = m_openedBackup->file().string();
    }
    ThunderbirdWindow window(std::move(services), this);
    window.exec();
}

void MainWindow::openContactsWindow() {
    system::WindowsSystem& system = m_services.system;
    ContactsServices services{
        .dialogs = m_services.dialogs,
        .systemBook = [&system] { return SystemAddressBook(system); },
        .dataFolder = m_services.dataFolder,
    };
    if (!m_openedBackup->invalid() && m_sessionFolder) {
        services.backupBook = [this] {
            return BackupAddressBook(*m_openedBackup, m_sessionFolder->path());
        };
        services.backupFile = m_openedBackup->file().string();
    }
    ContactsWindow window(std::move(services), this);
    window.exec();
}

void MainWindow::popUpSelectMenu(QGroupBox* frame, std::array<QCheckBox*, kItemCount>& boxes,
                                 const char* selectName, const char* deselectName,
                                 const QPoint& at) {
    QMenu menu(this);
    QAction* select = menu.addAction("Select all items");
    select->setObjectName(selectName);
    QAction* deselect = menu.addAction("Deselect all items");
    deselect->setObjectName(deselectName);
    // Disabled boxes are ticked too, as the restore run checks what the backup holds.
    connect(select, &QAction::triggered, this, [&boxes] {
        for (QCheckBox* box : boxes) box->setChecked(true);
    });
    connect(deselect, &QAction::triggered, this, [&boxes] {
        for (QCheckBox* box : boxes) box->setChecked(false);
    });
    menu.exec(frame->mapToGlobal(at));
}

void MainWindow::loadIdentities() {
    m_identityList = ListIdentities(m_services.system.modReg());
    m_noIdentity = m_identityList.empty();
    if (m_noIdentity) {
        m_services.dialogs.showMessage(kNoOutlookExpressMessage, MessageIcon::Critical,
                                       MessageButtons::Ok);
        m_actionButton->setEnabled(false);
        return;
    }
    for (const Identity& identity : m_identityList) {
        m_sourceIdentity->addItem(QString::fromStdString(identity.userName));
        m_targetIdentity->addItem(QString::fromStdString(identity.userName));
    }
    m_sourceIdentity->setCurrentIndex(0);
    m_targetIdentity->setCurrentIndex(0);
    evaluateItems();
}

void MainWindow::evaluateItems() {
    for (QCheckBox* box : m_backupItems) {
        box->setEnabled(true);
        box->setChecked(false);
    }
    const int row = m_sourceIdentity->currentIndex();
    if (row < 0 || row >= static_cast<int>(m_identityList.size())) return;
    const std::string& identityKey = m_identityList[row].key;

    const ItemMask available =
        ItemAvailability(m_services.system.modReg(), m_services.system.paths(), identityKey);
    for (int i = 0; i < kItemCount; ++i) m_backupItems[i]->setEnabled(available[i]);
}

void MainWindow::setProtected(bool on) {
    SetPasswordFieldsEnabled(*this, {m_backupPassword, m_backupPasswordAgain}, on);
}

void MainWindow::chooseBackupFile() {
    const std::string proposed =
        "quillet" + (m_services.todayText ? m_services.todayText() : std::string());
    const auto chosen =
        m_services.dialogs.saveFileName(kSaveBackupTitle, kBackupFileFilter, proposed);
    if (!chosen) return;
    m_backupFilePath = *chosen;
    m_backupFileField->setText(QString::fromStdString(*chosen));
}

void MainWindow::actionClicked() {
    if (m_tabs->currentIndex() == 0) {
        RunBackup();
        return;
    }
    const MessageAnswer answer = m_services.dialogs.showMessage(
        "Your current Email and News messages will be replaced with the messages from the "
        "selected backup file.\r\n\r\nDo you want to countinue?",
        MessageIcon::Information, MessageButtons::OkCancel);
    if (answer == MessageAnswer::Ok) RunRestore();
}

void MainWindow::showDiscWriter() {
    if (m_services.discEngine == nullptr) return;
    DiscWriterWindow::Open(
        DiscWriterServices{
            .engine = *m_services.discEngine,
            .dialogs = m_services.dialogs,
            .pending = m_services.pendingDisc,
            .dataFolder = m_services.dataFolder,
            .endProgram = m_services.endProgram,
        },
        this);
}

void MainWindow::showProgressPanel() {
    if (!m_progressPanel->isVisible()) m_sizeWithoutPanel = size();
    m_progressPanel->setVisible(true);
}

void MainWindow::hideProgressPanel() {
    // The panel takes room while it shows, which can raise the window's minimum height above its
    // height and so grow it; the window gets its size back afterwards. Its layout lowers that
    // minimum only when it next runs, and resize() is held to the minimum, so run it first.
    const bool shown = m_progressPanel->isVisible();
    m_progressPanel->setVisible(false);
    if (shown && m_sizeWithoutPanel.isValid()) {
        layout()->activate();
        resize(m_sizeWithoutPanel);
    }
    m_progressBar->setValue(m_progressBar->minimum());
    m_statusLabel->setText("Please Waiting...");
}

}  // namespace quillet
