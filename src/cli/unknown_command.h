#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::cli {

// The candidate closest to `word` by edit distance (insertions, deletions, substitutions and
// swaps of two neighbours, each 1), the first of equals; nullopt when none is within half of the
// word's length, so a word that resembles nothing is not given a far-fetched suggestion.
std::optional<std::string> NearestWord(std::string_view word,
                                       const std::vector<std::string>& candidates);

// What a command line whose command word is unknown is told: `unknown command "bakup"`, and
// `; the nearest command is "backup"` where one is near. `arguments` are as the user gave them;
// `optionsWithValue` are the program's own options that take the next argument as their value.
// nullopt when the first word that is no option is one of `commands`, or there is none.
std::optional<std::string> UnknownCommandText(const std::vector<std::string>& arguments,
                                              const std::vector<std::string>& optionsWithValue,
                                              const std::vector<std::string>& commands);

}  // namespace quillet::cli
