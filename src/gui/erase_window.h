#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "disc/disc_engine.h"
#include "gui/dialog_service.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace quillet {

// The erase window "Erase Re-Writable CD/DVD": blanks the rewritable disc in the disc writer's
// current drive, quickly (the default) or fully.
//
// The window listens to the engine's erase events from its construction until it closes; then it
// drops the engine and the drive and hears nothing more. "&Erase" checks the disc (loaded,
// rewritable, a format the drive can blank) and starts the erase; every failed check, an erase
// that cannot start, and the erase's end (completed or failed) close the window. A device error
// during the erase returns it to ready, open. While the erase runs both buttons are disabled and
// every close request is refused without a message. Shown modally (exec()) by the disc writer.
class EraseWindow : public QDialog, private disc::DiscEventListener {
    Q_OBJECT
  public:
    EraseWindow(disc::DiscEngine& engine, disc::DiscDevice& device, DialogService& dialogs,
                QWidget* parent = nullptr);
    ~EraseWindow() override;

    // From the engine's erase start until its end.
    bool isBusy() const { return m_busy; }

    // A disc format the drive can blank: the capability the drive must have for that media type.
    struct EraseFormat {
        int capability;
        int mediaType;
    };
    // Asked in this order; a capability is asked only when every earlier pair failed.
    static constexpr std::array<EraseFormat, 5> kEraseFormats = {{
        {disc::kCapabilityWriteCdRw, disc::kMediaCdRw},
        {disc::kCapabilityWriteDvdMinusRw, disc::kMediaDvdMinusRw},
        {disc::kCapabilityWriteDvdRam, disc::kMediaDvdRam},
        {disc::kCapabilityWriteDvdPlusRw, disc::kMediaDvdPlusRw},
        {disc::kCapabilityWriteBdRe, disc::kMediaBdRe},
    }};

    // The message of a device error: "Device Error: (code)   what" CR LF "(drive) explanation".
    static std::string DeviceErrorText(const disc::DeviceError& error);

    // Closes the window (the close box, Escape, "&Cancel" and the window itself come here): refused
    // while busy; otherwise the window lets go of the engine and the drive.
    void done(int result) override;

  private:
    // The "&Erase" command.
    void eraseDisc();
    bool driveCanErase(int mediaType) const;
    void setButtonsEnabled(bool enabled);
    // Shows an information message, then closes.
    void refuse(const char* text);
    void detach();

    void EraseStatus(int state, int percent) override;
    void DeviceErrorRaised(const disc::DeviceError& error) override;

    disc::DiscEngine* m_engine;
    disc::DiscDevice* m_device;
    DialogService& m_dialogs;
    bool m_busy = false;

    QCheckBox* m_quickErase;
    QPushButton* m_erase;
    QPushButton* m_cancel;
    QProgressBar* m_progress;
    QLabel* m_status;
};

}  // namespace quillet
