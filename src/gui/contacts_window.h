#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>

#include "backup/address_books.h"
#include "gui/dialog_service.h"
#include "platform/status.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace quillet {

// What the "Export Contacts" window reads from; the main window fills it from the open system and
// the backup open on its restore tab.
struct ContactsServices {
    DialogService& dialogs;
    std::function<Result<AddressBookSource>()> systemBook;
    // The open backup's address book; empty when no backup is open (its choice is then disabled).
    std::function<Result<AddressBookSource>()> backupBook{};
    std::string backupFile{};            // the open backup's path, shown beside its choice
    std::filesystem::path dataFolder{};  // the skin
};

// The "Export Contacts" window: the contacts of the system's address book, of the open backup's
// or of a chosen .wab file written as vCards (ExportVCards) to a chosen file, strictly or reading
// past damage, and at the end the summary. Shown modally.
class ContactsWindow : public QDialog {
    Q_OBJECT
  public:
    explicit ContactsWindow(ContactsServices services, QWidget* parent = nullptr);
    ~ContactsWindow() override;

    // "Export": the checks (a .wab file when that is the source, an output file), each stopping
    // with its message; then the export. A failure shows its reason in a critical message, an
    // address book without a person an information message; an export fills the report box.
    void exportContacts();

  private:
    Result<AddressBookSource> openChosenBook();

    ContactsServices m_services;
    QRadioButton* m_fromSystem = nullptr;
    QRadioButton* m_fromBackup = nullptr;
    QRadioButton* m_fromFile = nullptr;
    QLineEdit* m_wabFile = nullptr;
    QLineEdit* m_outFile = nullptr;
    QCheckBox* m_salvage = nullptr;
    QPlainTextEdit* m_report = nullptr;
};

}  // namespace quillet
