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

}  // namespace

std::string SafeFolderName(std::string_view name) {
    std::string safe;
    safe.reserve(name.size());
    for (char c : name) {
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
