#include "cli/unknown_command.h"

#include <algorithm>

namespace quillet::cli {
namespace {

// Optimal string alignment distance: Levenshtein with swaps of neighbouring characters.
std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

bool Contains(const std::vector<std::string>& list, std::string_view word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

}  // namespace

std::optional<std::string> NearestWord(std::string_view word,
                                       const std::vector<std::string>& candidates) {
    // A typed word is short; a long one is no command, and its distances are not worth computing.
    constexpr std::size_t kLongestWord = 64;
    if (word.size() > kLongestWord) return std::nullopt;
    std::optional<std::string> nearest;
    std::size_t best = (word.size() + 1) / 2 + 1;
    for (const std::string& candidate : candidates) {
        const std::size_t distance = EditDistance(word, candidate);
        if (distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}

namespace {

bool TakenBy(const std::vector<const CommandWords*>& path,
             std::vector<std::string> CommandWords::*list, std::string_view option) {
    for (const CommandWords* command : path) {
        if (Contains(command->*list, option)) return true;
    }
    return false;
}

// `unknown option "--x" of backup; the nearest option is "--y"`.
std::string UnknownOption(std::string_view option, const std::vector<const CommandWords*>& path) {
    std::string of;
    std::vector<std::string> candidates;
    for (const CommandWords* command : path) {
        if (command != path.front()) of += (of.empty() ? " of " : " ") + command->name;
        for (const auto* list : {&command->optionsWithValue, &command->flags}) {
            for (const std::string& name : *list) {
                if (name.starts_with("--")) candidates.push_back(name);
            }
        }
    }
    std::string text = std::string(kUnknownOptionText) + " \"" + std::string(option) + "\"" + of;
    if (auto nearest = NearestWord(option, candidates)) {
        text += std::string(kNearestOptionText) + " \"" + *nearest + "\"";
    }
    return text;
}

}  // namespace

std::optional<std::string> UnknownWordText(const std::vector<std::string>& arguments,
                                           const CommandWords& program) {
    std::vector<const CommandWords*> path{&program};
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--") return std::nullopt;
        if (word.size() > 1 && word.starts_with("--")) {
            const std::string option = word.substr(0, word.find('='));
            if (TakenBy(path, &CommandWords::optionsWithValue, option)) {
                if (option.size() == word.size()) ++i;  // its value
            } else if (!TakenBy(path, &CommandWords::flags, option)) {
                return UnknownOption(option, path);
            }
            continue;
        }
        if (word.size() > 1 && word.front() == '-') {
            // Short options may come together ("-qv") and a value may follow without a blank.
            for (std::size_t c = 1; c < word.size(); ++c) {
                const std::string option{'-', word[c]};
                if (TakenBy(path, &CommandWords::optionsWithValue, option)) {
                    if (c + 1 == word.size()) ++i;  // its value
                    break;
                }
                if (!TakenBy(path, &CommandWords::flags, option)) {
                    return UnknownOption(c == 1 ? word : option, path);
                }
            }
            continue;
        }
        const std::vector<CommandWords>& commands = path.back()->commands;
        if (commands.empty()) continue;  // an argument of the command
        const auto chosen = std::find_if(commands.begin(), commands.end(),
                                         [&](const CommandWords& c) { return c.name == word; });
        if (chosen != commands.end()) {
            path.push_back(&*chosen);
            continue;
        }
        std::vector<std::string> names;
        for (const CommandWords& command : commands) names.push_back(command.name);
        std::string text = std::string(kUnknownCommandText) + " \"" + word + "\"";
        if (auto nearest = NearestWord(word, names)) {
            text += std::string(kNearestCommandText) + " \"" + *nearest + "\"";
        }
        return text;
    }
    return std::nullopt;
}

}  // namespace quillet::cli
