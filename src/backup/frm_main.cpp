#include "backup/frm_main.h"

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

#include "backup/oe_locations.h"
#include "shell/app_icon.h"
#include "shell/frm_about.h"
#include "shell/password_field.h"
#include "shell/program_folder.h"
#include "shell/skin.h"

namespace quillet {
namespace {

constexpr std::array<const char*, 8> kBackupCaptions = {
    "Accounts",      "Address Book", "Rules",        "Email/News Messages",
    "Block Senders", "Signatures",   "Stationeries", "OE Settings"};
constexpr std::array<const char*, 8> kRestoreCaptions = {
    "Accounts",      "Address Book", "Rules",        "Email/News Messages",
    "Block Senders", "Signatures",   "Stationeries", "Settings"};

QGridLayout* ItemGrid(QGroupBox* frame, std::array<QCheckBox*, 8>& boxes, const char* name,
                      const std::array<const char*, 8>& captions) {
    auto* grid = new QGridLayout(frame);
    for (int i = 0; i < 8; ++i) {
        boxes[i] = new QCheckBox(captions[i], frame);
        boxes[i]->setObjectName(QString("%1(%2)").arg(name).arg(i));
        grid->addWidget(boxes[i], i % 4, i / 4);
    }
    return grid;
}

}  // namespace

frmMain::frmMain(MainWindowServices services, QWidget* parent)
    : QMainWindow(parent), m_services(std::move(services)) {
    setObjectName("frmMain");
    setWindowTitle("Quillet V2.20");
    setWindowIcon(AppIcon());

    auto* central = new QWidget(this);
    m_SSTab1 = new QTabWidget(central);
    m_SSTab1->setObjectName("SSTab1");
    auto* backupTab = new QWidget;
    auto* restoreTab = new QWidget;
    buildBackupTab(backupTab);
    buildRestoreTab(restoreTab);
    m_SSTab1->addTab(backupTab, "Backup");
    m_SSTab1->addTab(restoreTab, "Restore");

    auto* about = new QPushButton("About", central);
    about->setObjectName("cmdAbout");
    m_cmdApply = new QPushButton(central);
    m_cmdApply->setObjectName("cmdApply");
    m_cmdApply->setDefault(true);
    auto* quit = new QPushButton("Quit", central);
    quit->setObjectName("cmdQuit");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(about);
    buttons->addStretch();
    buttons->addWidget(m_cmdApply);
    buttons->addWidget(quit);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_SSTab1);
    buildProgressPanel(central);
    layout->addWidget(m_picCon3);
    layout->addLayout(buttons);
    setCentralWidget(central);
    buildMenus();

    connect(about, &QPushButton::clicked, this, [this] {
        frmabout window(m_services.dataFolder, this);
        window.exec();
    });
    connect(quit, &QPushButton::clicked, this, &QWidget::close);
    connect(m_cmdApply, &QPushButton::clicked, this, &frmMain::cmdApply_Click);
    connect(m_SSTab1, &QTabWidget::currentChanged, this,
            [this](int tab) { m_cmdApply->setText(tab == 0 ? "Backup Now" : "Restore Now"); });

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
    m_cmdApply->setText(m_SSTab1->currentIndex() == 0 ? "Backup Now" : "Restore Now");
    resize(640, 560);
}

frmMain::~frmMain() = default;

void frmMain::buildBackupTab(QWidget* tab) {
    m_cbSource = new QComboBox(tab);
    m_cbSource->setObjectName("cbSource");
    m_backupFrame = new QGroupBox("Items to backup", tab);
    m_backupFrame->setObjectName("backupFrame");
    ItemGrid(m_backupFrame, m_backupitem, "backupitem", kBackupCaptions);
    m_backupFrame->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_backupFrame, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popUpSelectMenu(m_backupFrame, m_backupitem, "Selectallitems", "Unselectallitems", at);
    });

    m_txtTargetFile = new QLineEdit(tab);
    m_txtTargetFile->setObjectName("txtTargetFile");
    m_txtTargetFile->setReadOnly(true);
    auto* browse = new QPushButton("Browse...", tab);
    browse->setObjectName("cmdTargetFile");
    connect(browse, &QPushButton::clicked, this, &frmMain::chooseBackupFile);
    auto* target = new QHBoxLayout;
    target->addWidget(m_txtTargetFile);
    target->addWidget(browse);

    m_txtAttachInfo = new QPlainTextEdit(tab);
    m_txtAttachInfo->setObjectName("txtAttachInfo");
    m_txtAttachInfo->setTabChangesFocus(true);

    auto* security = new QGroupBox("Security", tab);
    security->setObjectName("securityFrame");
    m_ifprotect = new QCheckBox("Protect backup file with password", security);
    m_ifprotect->setObjectName("ifprotect");
    m_txtPassword = new QLineEdit(security);
    m_txtPassword->setObjectName("txtPassword");
    m_txtPassword2 = new QLineEdit(security);
    m_txtPassword2->setObjectName("txtPassword2");
    for (QLineEdit* field : {m_txtPassword, m_txtPassword2}) MakePasswordField(*field, 20);
    auto* securityLayout = new QFormLayout(security);
    securityLayout->addRow(m_ifprotect);
    securityLayout->addRow("Password:", m_txtPassword);
    securityLayout->addRow("Retype Password:", m_txtPassword2);
    connect(m_ifprotect, &QCheckBox::toggled, this, &frmMain::setProtected);
    setProtected(false);
    connect(m_cbSource, &QComboBox::currentIndexChanged, this, [this] { evaluateItems(); });

    auto* layout = new QVBoxLayout(tab);
    auto* identityRow = new QFormLayout;
    identityRow->addRow("Identity to backup", m_cbSource);
    layout->addLayout(identityRow);
    layout->addWidget(m_backupFrame);
    layout->addWidget(new QLabel("Choose a Backup Filename", tab));
    layout->addLayout(target);
    layout->addWidget(new QLabel("Description", tab));
    layout->addWidget(m_txtAttachInfo);
    layout->addWidget(security);
}

void frmMain::buildRestoreTab(QWidget* tab) {
    m_txtSourceFile = new QLineEdit(tab);
    m_txtSourceFile->setObjectName("txtSourceFile");
    m_txtSourceFile->setReadOnly(true);
    auto* browse = new QPushButton("Browse...", tab);
    browse->setObjectName("cmdSourceFile");
    connect(browse, &QPushButton::clicked, this, &frmMain::OpenBackupFile);
    auto* source = new QHBoxLayout;
    source->addWidget(m_txtSourceFile);
    source->addWidget(browse);

    m_txtPOBinfo = new QPlainTextEdit(tab);
    m_txtPOBinfo->setObjectName("txtPOBinfo");
    m_txtFileInfo = new QPlainTextEdit(tab);
    m_txtFileInfo->setObjectName("txtFileInfo");
    for (QPlainTextEdit* box : {m_txtPOBinfo, m_txtFileInfo}) {
        box->setReadOnly(true);
        box->setMaximumHeight(90);
    }
    auto* information = new QHBoxLayout;
    information->addWidget(m_txtPOBinfo);
    information->addWidget(m_txtFileInfo);

    m_cbTarget = new QComboBox(tab);
    m_cbTarget->setObjectName("cbTarget");
    m_restoreFrame = new QGroupBox("Items to restore", tab);
    m_restoreFrame->setObjectName("restoreFrame");
    ItemGrid(m_restoreFrame, m_restoreitem, "restoreitem", kRestoreCaptions);
    for (QCheckBox* box : m_restoreitem) box->setEnabled(false);
    m_restoreFrame->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_restoreFrame, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        popUpSelectMenu(m_restoreFrame, m_restoreitem, "Selectallitems2", "Unselectallitems2", at);
    });

    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(new QLabel("Choose a Backup File to restore", tab));
    layout->addLayout(source);
    layout->addLayout(information);
    auto* identityRow = new QFormLayout;
    identityRow->addRow("Restore to identity", m_cbTarget);
    layout->addLayout(identityRow);
    layout->addWidget(m_restoreFrame);
    layout->addStretch();
}

void frmMain::buildProgressPanel(QWidget* parent) {
    m_picCon3 = new QFrame(parent);
    m_picCon3->setObjectName("picCon3");
    m_picCon3->setFrameShape(QFrame::StyledPanel);
    m_pbshow = new QProgressBar(m_picCon3);
    m_pbshow->setObjectName("pbshow");
    m_pbshow->setRange(0, 100);
    m_pbshow->setValue(0);
    m_Label1 = new QLabel("Please Waiting...", m_picCon3);
    m_Label1->setObjectName("Label1");
    m_SkinLabel11 = new QLabel(m_picCon3);
    m_SkinLabel11->setObjectName("SkinLabel11");
    m_SkinLabel12 = new QLabel(m_picCon3);
    m_SkinLabel12->setObjectName("SkinLabel12");
    auto* layout = new QVBoxLayout(m_picCon3);
    layout->addWidget(m_Label1);
    layout->addWidget(m_pbshow);
    auto* details = new QHBoxLayout;
    details->addWidget(m_SkinLabel12);
    details->addStretch();
    details->addWidget(m_SkinLabel11);
    layout->addLayout(details);
}

void frmMain::buildMenus() {
    const auto add = [this](QMenu* menu, const char* name, const char* caption, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* file = menuBar()->addMenu("File");
    file->setObjectName("mnuFile");
    add(file, "backup", "Backup Now", [this] { RunBackup(); });
    add(file, "restore", "Restore Now", [this] { RunRestore(); });
    file->addSeparator();
    add(file, "quit", "Quit", [this] { close(); });

    QMenu* help = menuBar()->addMenu("Help");
    help->setObjectName("mnuHelp");
    add(help, "help1", "Help", [this] {
        if (m_services.shellOpen) m_services.shellOpen(HelpFile(m_services.dataFolder).string());
    });
    add(help, "website", "Our Website", [this] {
        if (m_services.shellOpen) m_services.shellOpen(frmabout::kWebAddress);
    });
    add(help, "about", "About", [this] {
        frmabout window(m_services.dataFolder, this);
        window.exec();
    });
}

void frmMain::popUpSelectMenu(QGroupBox* frame, std::array<QCheckBox*, 8>& boxes,
                              const char* selectName, const char* deselectName, const QPoint& at) {
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

void frmMain::loadIdentities() {
    m_identityList = ListIdentities(m_services.modReg);
    m_noIdentity = m_identityList.empty();
    if (m_noIdentity) {
        m_services.dialogs.showMessage("Your Windows System have not install Outlook Express ",
                                       MessageIcon::Critical, MessageButtons::Ok);
        m_cmdApply->setEnabled(false);
        return;
    }
    for (const Identity& identity : m_identityList) {
        m_cbSource->addItem(QString::fromStdString(identity.userName));
        m_cbTarget->addItem(QString::fromStdString(identity.userName));
    }
    m_cbSource->setCurrentIndex(0);
    m_cbTarget->setCurrentIndex(0);
    evaluateItems();
}

void frmMain::evaluateItems() {
    for (QCheckBox* box : m_backupitem) {
        box->setEnabled(true);
        box->setChecked(false);
    }
    const int row = m_cbSource->currentIndex();
    if (row < 0 || row >= static_cast<int>(m_identityList.size())) return;
    registry::ModReg& modReg = m_services.modReg;
    const std::string& identityKey = m_identityList[row].key;

    const bool accounts =
        modReg.KeyExists(IdentityAccountsKey(identityKey)) || modReg.KeyExists(kSharedAccountsKey);
    m_backupitem[0]->setEnabled(accounts);

    std::string addressBook;
    if (modReg.ReadDefaultValue(kAddressBookKey, addressBook)) {
        std::error_code error;
        const auto file = m_services.paths.toHost(addressBook);
        m_backupitem[1]->setEnabled(!addressBook.empty() && file &&
                                    std::filesystem::is_regular_file(*file, error));
    }

    bool stationery = false;
    if (const auto folder = m_services.paths.toHost(StationeryFolder(modReg))) {
        std::error_code error;
        for (std::filesystem::directory_iterator it(*folder, error), end; !error && it != end;
             it.increment(error)) {
            if (it->is_regular_file(error)) {
                stationery = true;
                break;
            }
        }
    }
    m_backupitem[6]->setEnabled(stationery);
}

void frmMain::setProtected(bool on) {
    for (QLineEdit* field : {m_txtPassword, m_txtPassword2}) {
        field->setEnabled(on);
        QPalette colours = field->palette();
        colours.setColor(QPalette::Base, palette().color(on ? QPalette::Base : QPalette::Button));
        field->setPalette(colours);
        field->clear();
    }
}

void frmMain::chooseBackupFile() {
    const std::string proposed =
        "quillet" + (m_services.todayText ? m_services.todayText() : std::string());
    const auto chosen = m_services.dialogs.saveFileName("Save Outlook Express Data as",
                                                        "Quillet File (*.qbk)", proposed);
    if (!chosen) return;
    m_backupFilePath = *chosen;
    m_txtTargetFile->setText(QString::fromStdString(*chosen));
}

void frmMain::cmdApply_Click() {
    if (m_SSTab1->currentIndex() == 0) {
        RunBackup();
        return;
    }
    const MessageAnswer answer = m_services.dialogs.showMessage(
        "Your current Email and News messages will be replaced with the messages from the "
        "selected backup file.\r\n\r\nDo you want to countinue?",
        MessageIcon::Information, MessageButtons::OkCancel);
    if (answer == MessageAnswer::Ok) RunRestore();
}

void frmMain::showProgressPanel() {
    if (!m_picCon3->isVisible()) m_sizeWithoutPanel = size();
    m_picCon3->setVisible(true);
}

void frmMain::hideProgressPanel() {
    // The panel takes room while it shows; the window gets its size back afterwards.
    if (m_picCon3->isVisible() && m_sizeWithoutPanel.isValid()) {
        m_picCon3->setVisible(false);
        resize(m_sizeWithoutPanel);
    }
    m_picCon3->setVisible(false);
    m_pbshow->setValue(m_pbshow->minimum());
    m_Label1->setText("Please Waiting...");
}

}  // namespace quillet
