#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace quillet {

// The information file of a backup: `Key=Value` lines ended by CR LF, UTF-8 (read back as
// Windows-1252 when it is not valid UTF-8), no sections, no quoting.
inline constexpr char kInformationFileName[] = "quillet.dat";

// The key of the line that records the ANSI code page of the system the backup was made on (the
// texts its message stores hold are in it); a backup without it was made on Windows-1252.
inline constexpr char kCodePageKey[] = "QuilletCodePage";

// Whether a file named `name` would take the information file's name in an archive (the same name
// but for the case of ASCII letters, as archive::EntryNamesCollide decides). The information file
// is every backup's last entry and never an item's: a backup refuses an item's file of that name,
// and a restore an item's entry of that name, which would put the information file in place of
// the item's file, and make every later backup of the item fail.
bool TakesInformationFileName(std::string_view name);

// The most an information file may hold. A real one holds a few lines and the names of the
// backed-up files: under 2 MB even for 60,000 messages. The bound keeps a crafted archive, whose
// information file inflates to gigabytes, from being extracted or read whole.
inline constexpr std::uint64_t kMaxInformationFileBytes = 16 * 1024 * 1024;

// Appends the line key=value (CR LF) to the file, creating it when missing. Existing lines are
// never replaced. Fails when the file cannot be opened or written.
Status SaveINI(std::string_view keyName, std::string_view keyValue,
               const std::filesystem::path& fileName);

// The value of the first line whose key (the text before its first "=") equals keyName without
// regard to case: everything after that "=", cut at a NUL character. Empty text when no line
// matches; fails when the file cannot be read or holds more than kMaxInformationFileBytes.
Result<std::string> GetINI(std::string_view keyName, const std::filesystem::path& fileName);

// The text of an information file, read once to look up many keys with INIValue: its bytes as
// UTF-8 (Windows-1252 converted). Fails when it cannot be read or holds more than
// kMaxInformationFileBytes, without reading more than that.
Result<std::string> ReadInformationText(const std::filesystem::path& fileName);
// GetINI's lookup in a text ReadInformationText returned.
std::string INIValue(std::string_view keyName, std::string_view text);

// The names an item's line lists, joined by ";" ("Inbox.dbx;Sent Items.dbx"), in their order:
// none for an empty text, an empty name between two ";" kept, nothing after a final ";".
std::vector<std::string> SplitNameList(std::string_view names);

// Creates a new, empty file in `folder` named prefix + one to four hex digits + ".TMP", unique
// in that folder, and returns its path. Fails when no such file can be created.
Result<std::filesystem::path> sGetTempFile(std::string_view prefix,
                                           const std::filesystem::path& folder);

// A description as the information file carries it: every line break (CR LF, or a lone LF or
// CR) becomes "PS$QLB", so the description can never split the file's lines.
std::string EncodeDescription(std::string_view description);
// The description to show: every "PS$QLB" becomes CR LF.
std::string DecodeDescription(std::string_view stored);

}  // namespace quillet
