#pragma once

// The texts of the "Export Contacts" window.
namespace quillet::contacts_texts {

inline constexpr char kWindowTitle[] = "Export Contacts";
// The entry of the main window's "Tools" menu that opens the window.
inline constexpr char kMenuCaption[] = "Export Contacts...";
inline constexpr char kWabDialogTitle[] = "Address Book File";
inline constexpr char kWabFilter[] = "Address Book (*.wab)";
inline constexpr char kOutDialogTitle[] = "Save the Contacts as";
inline constexpr char kOutFilter[] = "vCard (*.vcf)";
inline constexpr char kProposedOutName[] = "contacts.vcf";

// The checks before an export; nothing runs after either.
inline constexpr char kNoWabFileMessage[] = "Please choose the address book file (.wab) to read.";
inline constexpr char kNoOutFileMessage[] = "Please choose the file to write the contacts to.";
// Followed by the reason, in a critical message.
inline constexpr char kFailurePrefix[] = "No contacts were written: ";
// After the reason when the address book is damaged and was read strictly.
inline constexpr char kSalvageHint[] = "\n\nTick \"Read past damage\" to get what it still holds.";
// When the address book holds no person, in an information message.
inline constexpr char kNoContactsMessage[] = "The address book holds no contacts to write.";

}  // namespace quillet::contacts_texts
