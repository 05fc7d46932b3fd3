#pragma once

// The texts of the "Move to Thunderbird" window.
namespace quillet::thunderbird_texts {

inline constexpr char kWindowTitle[] = "Move to Thunderbird";
// The entry of the main window's "Tools" menu that opens the window.
inline constexpr char kMenuCaption[] = "Move to Thunderbird...";
inline constexpr char kFolderDialogTitle[] = "Folder for the Thunderbird Profile";

// The checks before a move; nothing runs after either.
inline constexpr char kNoIdentityMessage[] = "Please choose an identity to move.";
inline constexpr char kNoFolderMessage[] =
    "Please choose a new or empty folder for the Thunderbird profile.";
// Followed by the reason, in a critical message.
inline constexpr char kFailurePrefix[] = "No Thunderbird profile was made: ";

}  // namespace quillet::thunderbird_texts
