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

std::optional<std::string> UnknownCommandText(const std::vector<std::string>& arguments,
                                              const std::vector<std::string>& optionsWithValue,
                                              const std::vector<std::string>& commands) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--") return std::nullopt;
        if (!word.empty() && word.front() == '-') {
            if (Contains(optionsWithValue, word)) ++i;  // its value
            continue;
        }
        if (Contains(commands, word)) return std::nullopt;
        std::string text = "unknown command \"" + word + "\"";
        if (auto nearest = NearestWord(word, commands)) {
            text += "; the nearest command is \"" + *nearest + "\"";
        }
        return text;
    }
    return std::nullopt;
}

}  // namespace quillet::cli
