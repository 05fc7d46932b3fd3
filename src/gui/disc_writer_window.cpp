// The disc writer window: its controls and menus, start-up, the device list and the idle state.
#include "gui/disc_writer_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "disc/write_settings.h"
#include "gui/disc_image_tree.h"
#include "gui/disc_writer_options.h"
#include "gui/disc_writer_texts.h"
#include "gui/erase_window.h"
#include "gui/skin.h"

namespace quillet {

using namespace disc_options;

DiscWriterWindow::DiscWriterWindow(DiscWriterServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setObjectName("frmMaindvdwrite");
    setWindowTitle("Backup Outlook Express Data to CD/DVD");
    setModal(true);
    buildControls();
    buildMenus();
    resize(1020, 540);
}

DiscWriterWindow::~DiscWriterWindow() { detachEngine(); }

void DiscWriterWindow::buildControls() {
    QStyle* style = this->style();
    m_imageList.insert("CD", style->standardIcon(QStyle::SP_DriveCDIcon));
    m_imageList.insert("CLOSEDFOLDER", style->standardIcon(QStyle::SP_DirClosedIcon));
    m_imageList.insert("OPENFOLDER", style->standardIcon(QStyle::SP_DirOpenIcon));
    m_imageList.insert("FILE", style->standardIcon(QStyle::SP_FileIcon));
    // A folder's node shows the open folder while it is selected.
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
        m_folderIcon.addPixmap(m_imageList.value("CLOSEDFOLDER").pixmap(16), mode);
    }
    m_folderIcon.addPixmap(m_imageList.value("OPENFOLDER").pixmap(16), QIcon::Selected);

    m_devices = new QComboBox(this);
    m_devices->setObjectName("cboDevices");
    m_writeSpeeds = new QComboBox(this);
    m_writeSpeeds->setObjectName("cboWriteSpeed");
    m_volumeTypes = new QComboBox(this);
    m_volumeTypes->setObjectName("cboVolumeType");
    m_volumeId = new QLineEdit(disc::kNewDiscName, this);
    m_volumeId->setObjectName("txtVolIdentifier");
    m_volumeId->setMaxLength(disc::kVolumeIdLength);
    auto* settings = new QFormLayout;
    settings->addRow("Device:", m_devices);
    settings->addRow("Write Speed:", m_writeSpeeds);
    settings->addRow("Volume Type:", m_volumeTypes);
    settings->addRow("Volume ID:", m_volumeId);

    auto* optionsFrame = new QGroupBox("Options", this);
    optionsFrame->setObjectName("fraOptions");
    auto* optionGrid = new QGridLayout(optionsFrame);
    QCheckBox** boxes[] = {&m_bufferProtection, &m_cacheImage, &m_finalizeDisc, &m_testWrite,
                           &m_autoVerify,       &m_mode2XA,    &m_useFileDates, &m_discAtOnce};
    for (std::size_t i = 0; i < kWriteOptions.size(); ++i) {
        auto* box = new QCheckBox(kWriteOptions[i].caption, optionsFrame);
        box->setObjectName(kWriteOptions[i].objectName);
        box->setChecked(kWriteOptions[i].ticked);
        box->setToolTip(kWriteOptions[i].tooltip);
        optionGrid->addWidget(box, static_cast<int>(i) / 2, static_cast<int>(i) % 2);
        *boxes[i] = box;
    }

    m_imageTitle = new QLabel("Drag and Drop Files or Folders", this);
    m_imageTitle->setObjectName("lblImageFileTitle");
    m_folders = new DiscImageTree(this);
    m_folders->setObjectName("tvwFolders");
    m_folders->setHeaderHidden(true);
    m_files = new DiscImageTree(this);
    m_files->setObjectName("lvwImageFiles");
    m_files->setRootIsDecorated(false);
    m_files->setHeaderLabels({"File Name", "Size", "Date"});
    m_files->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_files->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_files->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    m_files->header()->setStretchLastSection(false);
    auto* image = new QSplitter(this);
    image->addWidget(m_folders);
    image->addWidget(m_files);
    image->setStretchFactor(1, 2);
    image->setSizes({200, 560});

    m_progress = new QProgressBar(this);
    m_progress->setObjectName("prgTotalProgress");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_writeButton = new QPushButton("&Write Disc", this);
    m_writeButton->setObjectName("cmdWriteDisc");
    m_cancelButton = new QPushButton("&Cancel", this);
    m_cancelButton->setObjectName("cmdCancel");
    m_cancelButton->setAutoDefault(false);
    m_writeButton->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_progress, 1);
    buttons->addWidget(m_writeButton);
    buttons->addWidget(m_cancelButton);

    auto* status = new QStatusBar(this);
    status->setObjectName("sbrStatus");
    status->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(status);
        m_panels[i]->setObjectName(QString("sbrStatusPanel%1").arg(i + 1));
        status->addWidget(m_panels[i], i == 0 ? 3 : 1);
    }

    auto* left = new QVBoxLayout;
    left->addLayout(settings);
    left->addWidget(optionsFrame);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(m_imageTitle);
    right->addWidget(image, 1);
    auto* columns = new QHBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);
    layout->addWidget(status);

    connect(m_devices, &QComboBox::activated, this, &DiscWriterWindow::selectDevice);
    connect(m_volumeId, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (QTreeWidgetItem* root = folderNode(disc::kImageRoot)) root->setText(0, text);
    });
    // Takes effect at once, unlike the other option boxes, which a write reads.
    connect(m_useFileDates, &QCheckBox::clicked, this,
            [this](bool checked) { project().SetUseFileDates(checked); });
    connect(m_writeButton, &QPushButton::clicked, this, &DiscWriterWindow::writeDisc);
    connect(m_cancelButton, &QPushButton::clicked, this, &DiscWriterWindow::cancelWrite);
    connectImageView();
}

void DiscWriterWindow::buildMenus() {
    auto* bar = new QMenuBar(this);
    bar->setObjectName("mnuBar");
    layout()->setMenuBar(bar);
    const auto add = [this](QMenu* menu, const char* name, const char* caption, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    m_fileMenu = bar->addMenu("&File");
    m_fileMenu->setObjectName("mnuFile");
    add(m_fileMenu, "mnuFileClear", "Clear All Items", [this] { clearImage(); });
    m_fileMenu->addSeparator()->setObjectName("mnuFileSep1");
    add(m_fileMenu, "mnuFileRemoveFolder", "Remove Folder", [this] { removeSelected(m_folders); });
    add(m_fileMenu, "mnuFileRenameFolder", "Rename Folder", [this] { renameSelected(m_folders); });
    add(m_fileMenu, "mnuFileRemoveFile", "Remove File", [this] { removeSelected(m_files); });
    add(m_fileMenu, "mnuFileRenameFile", "Rename File", [this] { renameSelected(m_files); });
    m_fileMenu->addSeparator()->setObjectName("mnuFileSep4");
    add(m_fileMenu, "mnuFileExit", "Exit", [this] { close(); });

    m_deviceMenu = bar->addMenu("&Device");
    m_deviceMenu->setObjectName("mnuDevice");
    add(m_deviceMenu, "mnuDeviceEject", "Eject", [this] { ejectTray(); });
    add(m_deviceMenu, "mnuDeviceCloseTray", "Close Tray", [this] { closeTray(); });
    add(m_deviceMenu, "mnuDeviceEraseDisc", "Erase Disc...", [this] { showErase(); });
}

void DiscWriterWindow::Open(DiscWriterServices services, QWidget* parent) {
    DiscWriterWindow window(std::move(services), parent);
    if (window.load()) window.exec();
}

bool DiscWriterWindow::load() {
    // A failing step is skipped and the next one runs; only the devices are essential.
    ApplySkin(*this, m_services.dataFolder);
    disc::DiscEngine& engine = m_services.engine;
    attachEngine();
    if (!engine.InitializeDevices(false)) {
        m_services.dialogs.showMessage("Devices Cannot be initialized...Contact support!",
                                       MessageIcon::None, MessageButtons::Ok);
        detachEngine();
        if (m_services.endProgram) m_services.endProgram();
        return false;
    }
    RefreshDeviceList();
    SetWriterEnabled(true);
    fileSystem().ClearImage();
    for (const disc::VolumeType& type : disc::kVolumeTypes) {
        m_volumeTypes->addItem(type.caption, type.fileSystemType);
    }
    m_volumeTypes->setCurrentIndex(disc::kDefaultVolumeType);
    project().SetFileSystemType(disc::kVolumeTypes[disc::kDefaultVolumeType].fileSystemType);
    disc::ApplyLoadSettings(project());
    ResetImageView();
    m_volumeId->setText(disc::kBackupDiscName);

    PendingDiscFile& pending = m_services.pending;
    if (!pending.PendingDiscFileName.empty() && !pending.PendingDiscFilePath.empty()) {
        (void)fileSystem().AddFile(pending.PendingDiscFilePath, "\\" + pending.PendingDiscFileName);
        RefreshImageView();
        pending.PendingDiscFileName.clear();
        pending.PendingDiscFilePath.clear();
    }
    return true;
}

void DiscWriterWindow::RefreshDeviceList() {
    m_devices->clear();
    m_device = nullptr;
    disc::DiscEngine& engine = m_services.engine;
    for (int i = 0; i < engine.DeviceCount(); ++i) {
        const disc::DiscDevice* device = engine.DeviceAt(i);
        if (device != nullptr && device->IsCompatible()) {
            m_devices->addItem(QString::fromStdString(device->DeviceName()), i);
        }
    }
    if (m_devices->count() == 0) {
        m_services.dialogs.showMessage(
            "There are no compatible devices reported.\r\n"
            "Some older devices are not currently supported.",
            MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    m_devices->setCurrentIndex(0);
    selectDevice(0);
}

void DiscWriterWindow::selectDevice(int entry) {
    if (entry < 0 || entry >= m_devices->count()) return;
    m_device = m_services.engine.DeviceAt(m_devices->itemData(entry).toInt());
    if (m_device == nullptr) return;
    FillWriteSpeeds();
    const bool protects = deviceHasBufferProtection();
    m_bufferProtection->setEnabled(protects);
    m_bufferProtection->setChecked(protects);
}

void DiscWriterWindow::FillWriteSpeeds() {
    m_writeSpeeds->clear();
    m_device->RefreshMedia(false);
    const int count = m_device->WriteSpeedCount();
    for (int i = 0; i < count; ++i) {
        const int speed = m_device->WriteSpeedAt(i);
        m_writeSpeeds->addItem(
            QString::fromStdString(disc_texts::SpeedFactorText(m_device->SpeedFactor(speed))),
            speed);
    }
    if (count <= 0) m_writeSpeeds->addItem(disc_texts::kMaximumSpeedText, disc::kWriteSpeedMaximum);
    m_writeSpeeds->setCurrentIndex(0);
}

bool DiscWriterWindow::deviceHasBufferProtection() const {
    return m_device != nullptr && m_device->HasCapability(disc::kCapabilityBufferProtection);
}

void DiscWriterWindow::ejectTray() {
    if (m_device != nullptr) m_device->EjectTray();
}

void DiscWriterWindow::closeTray() {
    if (m_device != nullptr) m_device->CloseTray();
}

void DiscWriterWindow::showErase() {
    if (m_device == nullptr) return;
    EraseWindow erase(m_services.engine, *m_device, m_services.dialogs, this);
    erase.exec();
}

void DiscWriterWindow::attachEngine() {
    if (m_attached) return;
    m_services.engine.addListener(this);
    m_attached = true;
}

void DiscWriterWindow::detachEngine() {
    // The window drops the engine's objects and hears no more of its events.
    if (!m_attached) return;
    m_services.engine.removeListener(this);
    m_attached = false;
    m_device = nullptr;
}

QString DiscWriterWindow::panelText(int panel) const { return m_panels[panel - 1]->text(); }

void DiscWriterWindow::setPanel(int panel, const std::string& text) {
    m_panels[panel - 1]->setText(QString::fromStdString(text));
}

void DiscWriterWindow::SetWriterEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_devices, m_writeSpeeds, m_files, m_folders, m_writeButton, m_cacheImage,
             m_finalizeDisc, m_testWrite, m_volumeTypes, m_volumeId, m_mode2XA, m_autoVerify,
             m_useFileDates, m_discAtOnce}) {
        control->setEnabled(enabled);
    }
    m_fileMenu->menuAction()->setEnabled(enabled);
    m_deviceMenu->menuAction()->setEnabled(enabled);
    m_bufferProtection->setEnabled(enabled && deviceHasBufferProtection());
    m_cancelButton->setEnabled(!enabled);
    m_idle = enabled;
    if (enabled) {
        unsetCursor();
    } else {
        setCursor(Qt::WaitCursor);
    }
    QApplication::processEvents();
}

void DiscWriterWindow::closeEvent(QCloseEvent* event) {
    // Closing is refused, without a message, while a write runs.
    if (!m_idle) {
        event->ignore();
        return;
    }
    detachEngine();
    QDialog::closeEvent(event);
}

void DiscWriterWindow::reject() {
    if (!m_idle) return;
    detachEngine();
    QDialog::reject();
}

void DiscWriterWindow::withHourglass(const std::function<void()>& work) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    work();
    QApplication::restoreOverrideCursor();
}

}  // namespace quillet
