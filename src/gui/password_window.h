#pragma once

#include <QDialog>
#include <filesystem>
#include <string>

class QLineEdit;

namespace quillet {

// The password prompt of the restore side: "Please enter password". OK (or Enter in the field)
// accepts the typed text, which may be empty; Cancel or the close box rejects. The field holds at
// most 20 characters and starts empty each time.
class PasswordWindow : public QDialog {
    Q_OBJECT
  public:
    explicit PasswordWindow(const std::filesystem::path& dataFolder, QWidget* parent = nullptr);

    std::string password() const;

    static constexpr int kMaxPasswordLength = 20;

  private:
    QLineEdit* m_password;
};

}  // namespace quillet
