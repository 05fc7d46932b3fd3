#pragma once

#include <array>

#include "mailstore/mail_export.h"

// The texts of the "Export Mail" window.
namespace quillet::mail_export_texts {

inline constexpr char kWindowTitle[] = "Export Mail";
// The entry of the main window's "Tools" menu that opens the window.
inline constexpr char kMenuCaption[] = "Export Mail...";
inline constexpr char kFolderDialogTitle[] = "Export Mail to Folder";
// The source of loose stores, and the title of the folder chooser it opens when clicked.
inline constexpr char kStoreFolderCaption[] = "Message store folder...";
inline constexpr char kStoreFolderDialogTitle[] = "Folder of Message Stores";

// The checks before an export; nothing runs after either.
inline constexpr char kNoIdentityMessage[] = "Please choose an identity whose mail to export.";
inline constexpr char kNoOutputFolderMessage[] = "Please choose a folder to export the mail to.";
// Followed by the reason, in a critical message.
inline constexpr char kFailurePrefix[] = "The mail was not exported: ";

// The formats offered, in the order of the list.
struct FormatChoice {
    const char* caption;
    mailstore::ExportFormat format;
};
inline constexpr std::array<FormatChoice, 3> kFormats = {{
    {"mbox (one file per folder)", mailstore::ExportFormat::kMbox},
    {"eml (one file per message)", mailstore::ExportFormat::kEml},
    {"Maildir (for Dovecot or mutt)", mailstore::ExportFormat::kMaildir},
}};
// The choice that leaves an mbox export's messages as they are (only offered for mbox).
inline constexpr char kKeepBytesCaption[] = "Leave the read and flag lines out of the messages";

}  // namespace quillet::mail_export_texts
