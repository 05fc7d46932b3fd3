#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_operations.h"
#include "platform/status.h"
#include "wab/address_book.h"

namespace quillet::wab {

// Why groups are not carried into vCards.
inline constexpr char kGroupsNotCarried[] = "their member entries are only partly described";

// What writing an address book's contacts as vCards did.
struct VCardExport {
    std::uint32_t written = 0;    // cards in the file
    std::uint32_t recovered = 0;  // of them, read from deleted or lost records
    std::vector<std::string> groupsLeftOut;
    std::vector<BookDamage> damages;  // what a salvaging read went past

    // Something was left out or read past damage.
    bool partial() const { return recovered > 0 || !groupsLeftOut.empty() || !damages.empty(); }
};

// Reads the address book in `bytes` (ReadAddressBook) and writes a card for each person to
// `outFile` as it is read, holding one record and a piece of the output at a time. The file is
// replaced only once every card is written and flushed: a failure, of the read or of the writing,
// leaves it as it was. Groups get no card. When there is no person to write, `outFile` is not
// touched. Fails with the read's failure (kCorrupt naming the offset, in strict mode) or the
// reason the file cannot be written.
Result<VCardExport> ExportVCards(const BookBytes& bytes, ReadMode mode,
                                 const std::filesystem::path& outFile,
                                 FileOperations& files = RealFileOperations());

// The summary a user reads: "<n> contacts written to <file> from <source>", how many were
// recovered, each group left out and why, each damage.
std::string VCardExportText(const VCardExport& result, const std::string& sourceDescription,
                            const std::string& outFile);

}  // namespace quillet::wab
