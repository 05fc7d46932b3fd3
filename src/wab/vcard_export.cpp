#include "wab/vcard_export.h"

#include "platform/durable_file.h"
#include "wab/vcard_writer.h"

namespace quillet::wab {

Result<VCardExport> ExportVCards(const AddressBook& book, const std::filesystem::path& outFile,
                                 FileOperations& files) {
    VCardExport result;
    result.damages = book.damages;
    std::string cards;
    for (const Contact& contact : book.contacts) {
        if (contact.isGroup) {
            result.groupsLeftOut.push_back(contact.displayName);
            continue;
        }
        cards += ContactToVCard(contact);
        ++result.written;
        if (contact.recovered) ++result.recovered;
    }
    if (result.written == 0) return result;
    FileReplacement replacement(outFile, files);
    if (Status begun = replacement.begin(); !begun) return begun;
    if (Status wrote = replacement.write(cards); !wrote) return wrote;
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
        text += std::to_string(result.groupsLeftOut.size()) + " groups left out (" +
                kGroupsNotCarried + "):\n";
        for (const std::string& name : result.groupsLeftOut) text += "  " + name + "\n";
    }
    for (const BookDamage& damage : result.damages) text += "damage: " + damage.what + "\n";
    return text;
}

}  // namespace quillet::wab
