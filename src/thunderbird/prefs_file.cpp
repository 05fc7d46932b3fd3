#include "thunderbird/prefs_file.h"

#include <cstdio>

namespace quillet::thunderbird {

std::string JavaScriptStringBody(std::string_view text) {
    std::string body;
    body.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == '"' || byte == '\\') {
            body += '\\';
            body += static_cast<char>(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
            body += escaped;
        } else if (byte == 0xE2 && text.substr(at + 1, 1) == "\x80" && at + 2 < text.size() &&
                   (text[at + 2] == '\xA8' || text[at + 2] == '\xA9')) {
            // U+2028 and U+2029 end a line in JavaScript.
            body += text[at + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            at += 2;
        } else {
            body += static_cast<char>(byte);
        }
    }
    return body;
}

std::string PrefsFileText(const std::vector<Pref>& prefs) {
    std::string text =
        "// Mozilla User Preferences\n\n"
        "// Made by Quillet from an Outlook Express identity. Thunderbird rewrites this file\n"
        "// while it runs: change preferences in its Settings or its Config Editor.\n\n";
    for (const Pref& pref : prefs) {
        text += "user_pref(\"" + JavaScriptStringBody(pref.name) + "\", ";
        if (const auto* words = std::get_if<std::string>(&pref.value)) {
            text += "\"" + JavaScriptStringBody(*words) + "\"";
        } else if (const auto* number = std::get_if<int>(&pref.value)) {
            text += std::to_string(*number);
        } else {
            text += std::get<bool>(pref.value) ? "true" : "false";
        }
        text += ");\n";
    }
    return text;
}

}  // namespace quillet::thunderbird
