#pragma once

#include <string>
#include <variant>
#include <vector>

namespace quillet::thunderbird {

// One preference of a Thunderbird profile's prefs.js: a name and a text, a number or a flag.
using PrefValue = std::variant<std::string, int, bool>;
struct Pref {
    std::string name;
    PrefValue value;
    bool operator==(const Pref&) const = default;
};

// The prefs.js text of `prefs`: one `user_pref("name", value);` line each, in their order, after
// the header Thunderbird writes. Names and texts are written as JavaScript strings in UTF-8: a
// `"`, a `\`, every control character and the two Unicode line separators are escaped, so no
// value can end its line or its string and add a preference of its own.
std::string PrefsFileText(const std::vector<Pref>& prefs);

// `text` as the body of a JavaScript string literal, escaped as above.
std::string JavaScriptStringBody(std::string_view text);

}  // namespace quillet::thunderbird
