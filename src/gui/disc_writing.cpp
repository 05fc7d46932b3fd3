// The disc writer's write command, its pre-write check, cancel, and the engine's write and
// verify events.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>

#include "disc/write_settings.h"
#include "gui/disc_writer_texts.h"
#include "gui/disc_writer_window.h"

namespace quillet {

using namespace disc_texts;

bool DiscWriterWindow::CheckMediaForImage() {
    const disc::MediaCheck media = disc::CheckMediaForImage(*m_device, project());
    if (!media.writable) {
        m_services.dialogs.showMessage("Please Insert Writable Media before continuing!",
                                       MessageIcon::Information, MessageButtons::Ok);
        return false;
    }
    if (media.imageFits()) return true;
    m_services.dialogs.showMessage(FreeSpaceText(media.freeBytes, media.neededBytes),
                                   MessageIcon::Information, MessageButtons::Ok);
    return false;
}

void DiscWriterWindow::writeDisc() {
    if (m_device == nullptr) return;  // no compatible drive: nothing to write to
    if (m_device->IsImageFile()) {
        const auto target =
            m_services.dialogs.saveFileName("Save Disc Image As", "Disc image (*.iso)", "");
        if (!target || target->empty()) return;
        m_device->SetImageFilePath(*target);
    }
    if (!CheckMediaForImage()) return;

    disc::ApplyWriteSettings(project(), {
                                            .volumeId = m_volumeId->text().toStdString(),
                                            .writeSpeed = m_writeSpeeds->currentData().toInt(),
                                            .fileSystemType = m_volumeTypes->currentData().toInt(),
                                            .autoVerify = m_autoVerify->isChecked(),
                                            .mode2XA = m_mode2XA->isChecked(),
                                            .cacheImage = m_cacheImage->isChecked(),
                                            .testWrite = m_testWrite->isChecked(),
                                            .finalizeDisc = m_finalizeDisc->isChecked(),
                                            .bufferProtection = m_bufferProtection->isChecked(),
                                            .discAtOnce = m_discAtOnce->isChecked(),
                                        });

    m_writeFailed = false;
    if (project().WriteImage(*m_device)) {
        SetWriterEnabled(false);
        return;
    }
    m_services.dialogs.showMessage("Disc Write could not be started.", MessageIcon::Critical,
                                   MessageButtons::Ok);
}

void DiscWriterWindow::cancelWrite() {
    project().AbortWrite();
    setPanel(1, "Aborting Write...Please Wait!");
}

void DiscWriterWindow::WriteStatus(int state, int percent) {
    // An engine error during the write makes its end a failure, whatever state follows.
    if (state == disc::kWriteCompleted && m_writeFailed) state = disc::kWriteFailed;
    if (const auto text = WriteStatusText(state)) setPanel(1, *text);
    if (WriteStatusCarriesProgress(state)) m_progress->setValue(percent);
    if (state == disc::kWriteCompleted) {
        m_services.dialogs.showMessage(
            project().AutoVerify() ? "Write and Verify Complete!" : "Write Complete!",
            MessageIcon::Information, MessageButtons::Ok);
    } else if (state == disc::kWriteCancelled) {
        m_services.dialogs.showMessage("Write Cancelled!", MessageIcon::Information,
                                       MessageButtons::Ok);
    }
    if (state == disc::kWriteCompleted || state == disc::kWriteCancelled ||
        state == disc::kWriteFailed) {
        SetWriterEnabled(true);
    }
}

bool DiscWriterWindow::FileWarning(const disc::FileError& error) {
    // The engine is told to go on whatever the user answers.
    m_services.dialogs.showMessage(FileWarningText(error), MessageIcon::Exclamation,
                                   MessageButtons::OkCancel);
    setPanel(1, "File Warning!");
    return true;
}

void DiscWriterWindow::TrackReading(int track, std::int64_t number, const std::string& text) {
    setPanel(1, TrackReadingText(track, number, text));
}

void DiscWriterWindow::ErrorRaised(const disc::EngineError& error) {
    if (!m_idle) m_writeFailed = true;
    m_services.dialogs.showMessage(EngineErrorText(error), MessageIcon::Critical,
                                   MessageButtons::Ok);
}

void DiscWriterWindow::VerifyStarted(int files) {
    setPanel(1, "Auto-Verify... " + std::to_string(files) + " new files.");
}

void DiscWriterWindow::FileVerified(const disc::ImageItem& item, int result, int position,
                                    int total) {
    if (const auto line = VerifyResultLine(result)) {
        m_services.dialogs.showMessage(
            *line + "\r\n" + item.imagePath + " (disc)\r\n" + item.sourcePath + " (source)",
            MessageIcon::None, MessageButtons::Ok);
    }
    setPanel(1, "Auto-Verify... " + item.imagePath);
    if (const auto percent = VerifyProgress(position, total)) m_progress->setValue(*percent);
}

void DiscWriterWindow::VerifyFinished(int total, int matched) {
    setPanel(1, "Auto-Verify...Complete (" + std::to_string(matched) + " of " +
                    std::to_string(total) + " MATCHED)");
}

}  // namespace quillet
