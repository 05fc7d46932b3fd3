#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/identity_list.h"
#include "gui/dialog_service.h"
#include "platform/status.h"
#include "thunderbird/thunderbird_profile.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace quillet {

// What the "Move to Thunderbird" window works with; the main window fills it from the open system
// and the backup open on its restore tab.
struct ThunderbirdServices {
    DialogService& dialogs;
    std::vector<Identity> identities;  // of the open system, in the main window's order
    std::function<std::unique_ptr<thunderbird::ProfileSource>(const Identity&)> identitySource;
    // The open backup; empty when no backup is open (its choice is then disabled).
    std::function<Result<std::unique_ptr<thunderbird::ProfileSource>>()> backupSource{};
    std::string backupFile{};             // the open backup's path, shown beside its choice
    std::filesystem::path profilesIni{};  // where a profile is registered
    std::filesystem::path dataFolder{};   // the skin
};

// The "Move to Thunderbird" window: an identity of the open system or the open backup made into a
// Thunderbird profile (MakeThunderbirdProfile) in a new or empty folder, registered under a name
// in Thunderbird's list of profiles when its box is ticked, with its progress and, at the end,
// its report. Shown modally; closing it while a profile is made stops the making, and nothing of
// the profile stays.
class ThunderbirdWindow : public QDialog {
    Q_OBJECT
  public:
    explicit ThunderbirdWindow(ThunderbirdServices services, QWidget* parent = nullptr);
    ~ThunderbirdWindow() override;

    // "Move": the checks (an identity when that is the source, a folder), each stopping with its
    // message; then the profile is made. A failure shows its reason in a critical message; a
    // profile made fills the report box.
    void moveIdentity();
    bool isBusy() const { return m_busy; }
    void done(int result) override;

  private:
    void chooseFolder();
    void setBusy(bool busy);

    ThunderbirdServices m_services;
    QRadioButton* m_fromIdentity = nullptr;
    QComboBox* m_identity = nullptr;
    QRadioButton* m_fromBackup = nullptr;
    QLineEdit* m_folder = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_name = nullptr;
    QCheckBox* m_register = nullptr;
    QProgressBar* m_progress = nullptr;
    QPlainTextEdit* m_report = nullptr;
    QPushButton* m_move = nullptr;
    QPushButton* m_close = nullptr;
    bool m_busy = false;
    bool m_closeRequested = false;
};

}  // namespace quillet
