#pragma once

#include <QGroupBox>

#include "imap/imap_upload.h"
#include "platform/status.h"

class QCheckBox;
class QLineEdit;

namespace quillet {

namespace imap_target_texts {
inline constexpr char kTitle[] = "Upload to an IMAP account instead";
// The checks before an upload; nothing runs after either.
inline constexpr char kNoServerMessage[] =
    "Please give the IMAP server (name, or name:port) and the user name.";
inline constexpr char kNoPasswordMessage[] = "Please give the password of the IMAP account.";
// Followed by the reason, in a critical message.
inline constexpr char kFailurePrefix[] = "The mail was not uploaded: ";
}  // namespace imap_target_texts

// The "IMAP account" target of the Export Mail window: a checkable box with the server
// ("imap.example.org", or with ":port"), the user, the folder the tree goes under, the password
// (hidden as typed, never kept beyond the upload) and an optional certificate file to trust
// instead of the system's trust store, and whether to use STARTTLS (port 143) instead of
// implicit TLS (993).
class ImapTargetBox : public QGroupBox {
    Q_OBJECT
  public:
    explicit ImapTargetBox(QWidget* parent);

    // The upload the fields ask for, or the message of the first check that fails
    // (kBadInput: kNoServerMessage, kNoPasswordMessage, or the address's own reason).
    Result<imap::UploadOptions> options() const;

  private:
    QLineEdit* m_server;
    QLineEdit* m_user;
    QLineEdit* m_folder;
    QLineEdit* m_password;
    QLineEdit* m_caFile;
    QCheckBox* m_startTls;
};

}  // namespace quillet
