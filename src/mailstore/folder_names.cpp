#include "mailstore/folder_names.h"

#include "platform/case_fold.h"

namespace quillet::mailstore {

namespace {

bool IsTrimmed(char c) { return c == ' ' || c == '\t' || c == '.'; }

// The length of `text` cut to at most `limit` bytes without splitting a UTF-8 sequence.
std::size_t CutOnCharacter(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return cut;
}

// The bytes of a character that changes the direction text is shown in (U+200E, U+200F,
// U+202A..U+202E, U+2066..U+2069) at text[pos], or 0: such a character makes a name read other
// than it is ("txt.exe" shown as "exe.txt").
std::size_t DirectionControlAt(std::string_view text, std::size_t pos) {
    if (text.size() - pos < 3 || text[pos] != '\xE2') return 0;
    const auto second = static_cast<unsigned char>(text[pos + 1]);
    const auto third = static_cast<unsigned char>(text[pos + 2]);
    const bool control =
        (second == 0x80 && (third == 0x8E || third == 0x8F || (third >= 0xAA && third <= 0xAE))) ||
        (second == 0x81 && third >= 0xA6 && third <= 0xA9);
    return control ? 3 : 0;
}

}  // namespace

std::string SafeFolderName(std::string_view name) {
    std::string safe;
    safe.reserve(name.size());
    for (std::size_t pos = 0; pos < name.size(); ++pos) {
        if (const std::size_t control = DirectionControlAt(name, pos); control > 0) {
            safe += '_';
            pos += control - 1;
            continue;
        }
        const char c = name[pos];
        const auto byte = static_cast<unsigned char>(c);
        safe += c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F ? '_' : c;
    }
    std::string_view kept = safe;
    while (!kept.empty() && IsTrimmed(kept.front())) kept.remove_prefix(1);
    kept = kept.substr(0, CutOnCharacter(kept, kFolderNameLimit));
    while (!kept.empty() && IsTrimmed(kept.back())) kept.remove_suffix(1);
    return kept.empty() ? std::string(kUnnamedFolder) : std::string(kept);
}

bool FolderNamer::taken(std::uint64_t parent, const std::string& name) const {
    if (m_taken.contains({parent, FoldCase(name)})) return true;
    return !m_subfolderSuffix.empty() &&
           m_taken.contains({parent, FoldCase(name + m_subfolderSuffix)});
}

const std::string& FolderNamer::name(std::uint64_t parent, std::uint64_t folder,
                                     std::string_view wanted) {
    if (auto known = m_names.find({parent, folder}); known != m_names.end()) return known->second;
    const std::string base = SafeFolderName(wanted);
    std::string candidate = base;
    for (unsigned number = 2; taken(parent, candidate); ++number) {
        candidate = base + " (" + std::to_string(number) + ")";
    }
    m_taken.insert({parent, FoldCase(candidate)});
    if (!m_subfolderSuffix.empty())
        m_taken.insert({parent, FoldCase(candidate + m_subfolderSuffix)});
    return m_names.emplace(std::pair{parent, folder}, candidate).first->second;
}

}  // namespace quillet::mailstore
