#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::cli {

// The words of a command line's unknown word: `unknown command "bakup"` or `unknown option
// "--identiy" of backup`, then `; the nearest command is "backup"` (or option) where one is near.
inline constexpr char kUnknownCommandText[] = "unknown command";
inline constexpr char kUnknownOptionText[] = "unknown option";
inline constexpr char kNearestCommandText[] = "; the nearest command is";
inline constexpr char kNearestOptionText[] = "; the nearest option is";

// The candidate closest to `word` by edit distance (insertions, deletions, substitutions and
// swaps of two neighbours, each 1), the first of equals; nullopt when none is within half of the
// word's length, so a word that resembles nothing is not given a far-fetched suggestion.
std::optional<std::string> NearestWord(std::string_view word,
                                       const std::vector<std::string>& candidates);

// What a command (the program itself at the top) takes: its name, its options by every name they
// have ("--out", "-o"), those that take a value apart from the flags, and its own commands. The
// options of the commands above it are taken after it too.
struct CommandWords {
    std::string name;
    std::vector<std::string> optionsWithValue;
    std::vector<std::string> flags;
    std::vector<CommandWords> commands;
};

// What a command line with an unknown word is told, the first such word named (see the texts
// above): a command word that is none of the commands where one is expected, or an option that
// neither the command nor any command above it takes. `arguments` are as the user gave them.
// nullopt when every word is known.
std::optional<std::string> UnknownWordText(const std::vector<std::string>& arguments,
                                           const CommandWords& program);

}  // namespace quillet::cli
