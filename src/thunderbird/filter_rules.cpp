#include "thunderbird/filter_rules.h"

namespace quillet::thunderbird {
namespace {

// A backslash before every `"`, as Thunderbird escapes quotes in a term's value and again in an
// attribute of the filter file.
std::string EscapeQuotes(std::string_view text) {
    std::string escaped;
    for (char c : text) {
        if (c == '"') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string TermValue(std::string_view sender) {
    std::string value;
    for (char c : sender) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) value += c;
    }
    const bool quoted =
        value.find(')') != std::string::npos || value.starts_with(' ') || value.starts_with('"');
    value = EscapeQuotes(value);
    return quoted ? "\"" + value + "\"" : value;
}

}  // namespace

std::string BlockedSendersFilterFile(const std::vector<std::string>& senders) {
    std::string condition;
    for (const std::string& sender : senders) {
        const std::string value = TermValue(sender);
        if (value.empty()) continue;
        if (!condition.empty()) condition += ' ';
        condition += "OR (from,contains," + value + ")";
    }
    if (condition.empty()) return {};
    return "version=\"9\"\nlogging=\"no\"\nname=\"" + std::string(kBlockedSendersFilterName) +
           "\"\nenabled=\"yes\"\ntype=\"17\"\naction=\"Delete\"\ncondition=\"" +
           EscapeQuotes(condition) + "\"\n";
}

}  // namespace quillet::thunderbird
