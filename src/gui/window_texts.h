#pragma once

namespace quillet {

// The main window's caption; the open system's name follows it after " - ".
inline constexpr char kMainWindowCaption[] = "Quillet V2.20";

// Texts that more than one window shows.
inline constexpr char kNoOutlookExpressMessage[] =
    "Your Windows System have not install Outlook Express ";
inline constexpr char kInvalidBackupFileNameMessage[] = "Invalid backup file name.";
inline constexpr char kEnterPasswordMessage[] = "Please enter Password!";
inline constexpr char kPasswordMismatchMessage[] = "Incorect Password!";

// The save dialog that chooses a backup file.
inline constexpr char kSaveBackupTitle[] = "Save Outlook Express Data as";
inline constexpr char kBackupFileFilter[] = "Quillet File (*.qbk)";

// The most characters a backup password field takes.
inline constexpr int kPasswordMaxLength = 20;

}  // namespace quillet
