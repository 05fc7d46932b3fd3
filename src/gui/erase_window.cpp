#include "gui/erase_window.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {
namespace {

constexpr char kNote[] =
    "NOTE: If not performing a quick erase, it could take several minutes to completely erase the "
    "disc. This operation cannot be cancelled. A quick erase will erase the table of contents, but "
    "not the actual data.";

}  // namespace

EraseWindow::EraseWindow(disc::DiscEngine& engine, disc::DiscDevice& device, DialogService& dialogs,
                         QWidget* parent)
    : QDialog(parent), m_engine(&engine), m_device(&device), m_dialogs(dialogs) {
    setObjectName("frmErase");
    setWindowTitle("Erase Re-Writable CD/DVD");
    setModal(true);

    auto* note = new QLabel(kNote, this);
    note->setObjectName("lblNote");
    note->setWordWrap(true);
    m_quickErase = new QCheckBox("Perform Quick Erase", this);
    m_quickErase->setObjectName("chkQuikErase");
    m_quickErase->setChecked(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("prgEraseProgress");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_status = new QLabel(this);
    m_status->setObjectName("lblStatus");
    m_erase = new QPushButton("&Erase", this);
    m_erase->setObjectName("cmdErase");
    m_cancel = new QPushButton("&Cancel", this);
    m_cancel->setObjectName("cmdCancel");
    connect(m_erase, &QPushButton::clicked, this, &EraseWindow::eraseDisc);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_quickErase);
    buttons->addStretch();
    buttons->addWidget(m_erase);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(buttons);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    setMinimumWidth(420);

    m_engine->addListener(this);
}

EraseWindow::~EraseWindow() { detach(); }

std::string EraseWindow::DeviceErrorText(const disc::DeviceError& error) {
    return "Device Error: (" + std::to_string(error.errorCode) + ")   " + error.textA + "\r\n(" +
           error.textC + ") " + error.textB;
}

void EraseWindow::done(int result) {
    if (m_busy) return;
    detach();
    QDialog::done(result);
}

void EraseWindow::detach() {
    if (m_engine != nullptr) m_engine->removeListener(this);
    m_engine = nullptr;
    m_device = nullptr;
}

void EraseWindow::eraseDisc() {
    if (m_device == nullptr) return;
    m_device->RefreshMedia(false);
    const disc::MediaInfo media = m_device->LoadedMedia();
    if (media.mediaType == disc::kMediaNone) return refuse("No Media Loaded.");
    if (!media.isRewritable) return refuse("The current media is not re-writable.");
    if (!driveCanErase(media.mediaType)) {
        return refuse("Selected drive does not support re-writable discs of this format.");
    }
    const std::uint32_t eraseValue = m_device->EraseValue();
    if (!m_device->EraseDisc(m_quickErase->isChecked(), eraseValue)) {
        m_dialogs.showMessage("Could not start Erase operation!!!", MessageIcon::Critical,
                              MessageButtons::Ok);
        reject();
    }
}

bool EraseWindow::driveCanErase(int mediaType) const {
    for (const EraseFormat& format : kEraseFormats) {
        if (m_device->HasCapability(format.capability) && format.mediaType == mediaType) {
            return true;
        }
    }
    return false;
}

void EraseWindow::refuse(const char* text) {
    m_dialogs.showMessage(text, MessageIcon::Information, MessageButtons::Ok);
    reject();
}

void EraseWindow::setButtonsEnabled(bool enabled) {
    m_erase->setEnabled(enabled);
    m_cancel->setEnabled(enabled);
}

void EraseWindow::EraseStatus(int state, int percent) {
    switch (state) {
        case disc::kEraseStarted:
            m_busy = true;
            m_status->setText("Erasing Disc...Please Wait!!");
            setButtonsEnabled(false);
            m_progress->setValue(percent);
            break;
        case disc::kEraseProgress:
            m_progress->setValue(percent);
            break;
        case disc::kEraseCompleted:
            m_status->setText("Erase operation complete!!!");
            m_dialogs.showMessage("Erase Completed!!!", MessageIcon::Information,
                                  MessageButtons::Ok);
            setButtonsEnabled(true);
            m_busy = false;
            accept();
            break;
        case disc::kEraseFailed:
            m_status->setText("Error Erasing Disc!!!");
            setButtonsEnabled(true);
            m_busy = false;
            reject();
            break;
        default:
            break;
    }
}

void EraseWindow::DeviceErrorRaised(const disc::DeviceError& error) {
    m_dialogs.showMessage(DeviceErrorText(error), MessageIcon::Critical, MessageButtons::Ok);
    setButtonsEnabled(true);
    m_busy = false;
}

}  // namespace quillet
