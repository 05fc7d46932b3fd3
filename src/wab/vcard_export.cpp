#include "wab/vcard_export.h"

#include "platform/durable_file.h"
#include "wab/vcard_writer.h"

namespace quillet::wab {

Result<VCardExport> ExportVCards(const BookBytes& bytes, ReadMode mode,
                                 const std::filesystem::path& outFile, FileOperations& files) {
    // Cards are gathered into pieces of about this size before they are written.
    constexpr std::size_t kPieceBytes = 64 * 1024;
    VCardExport result;
    FileReplacement replacement(outFile, files);
    std::string piece;
    auto summary = ReadAddressBook(bytes, mode, [&](Contact&& contact) {
        if (contact.isGroup) {
            result.groupsLeftOut.push_back(std::move(contact.displayName));
            return Status::Ok();
        }
        if (result.written == 0) {
            if (Status begun = replacement.begin(); !begun) return begun;
        }
        piece += ContactToVCard(contact);
        ++result.written;
        if (contact.recovered) ++result.recovered;
        if (piece.size() < kPieceBytes) return Status::Ok();
        Status wrote = replacement.write(piece);
        piece.clear();
        return wrote;
    });
    if (!summary) return summary.status();
    result.damages = std::move(summary->damages);
    if (result.written == 0) return result;
    if (Status wrote = replacement.write(piece); !wrote) return wrote;
    if (Status committed = replacement.commit(); !committed) return committed;
    return result;
}

std::string VCardExportText(const VCardExport& result, const std::string& sourceDescription,
                            const std::string& outFile) {
    std::string text = std::to_string(result.written) + " contacts written to " + outFile +
                       " from " + sourceDescription + "\n";
    if (result.recovered > 0) {
        text +=
            std::to_string(result.recovered) + " of them recovered from deleted or lost records\n";
    }
    if (!result.groupsLeftOut.empty()) {
        const std::size_t groups = result.groupsLeftOut.size();
        text += std::to_string(groups) + (groups == 1 ? " group" : " groups") + " left out (" +
                kGroupsNotCarried + "):\n";
        for (const std::string& name : result.groupsLeftOut) text += "  " + name + "\n";
    }
    for (const BookDamage& damage : result.damages) text += "damage: " + damage.what + "\n";
    return text;
}

}  // namespace quillet::wab
