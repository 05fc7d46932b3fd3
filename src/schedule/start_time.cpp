#include "schedule/start_time.h"

#include <cctype>

#include "platform/case_fold.h"

namespace quillet {
namespace {

// Reads one or two digits at `pos`; -1 when there is none.
int ReadNumber(std::string_view text, std::size_t& pos, std::size_t maxDigits) {
    int value = 0;
    std::size_t digits = 0;
    while (pos < text.size() && digits < maxDigits &&
           std::isdigit(static_cast<unsigned char>(text[pos]))) {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    return digits == 0 ? -1 : value;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<TimeOfDay> ParseStartTime(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);

    std::size_t pos = 0;
    const int hour = ReadNumber(text, pos, 2);
    if (hour < 0 || pos >= text.size() || text[pos] != ':') return std::nullopt;
    ++pos;
    const std::size_t minuteStart = pos;
    const int minute = ReadNumber(text, pos, 2);
    if (minute < 0 || pos - minuteStart != 2 || minute > 59) return std::nullopt;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        const std::size_t secondStart = pos;
        const int second = ReadNumber(text, pos, 2);
        if (second < 0 || pos - secondStart != 2 || second > 59) return std::nullopt;
    }
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    std::string_view suffix = text.substr(pos);
    if (suffix.empty()) {
        if (hour > 23) return std::nullopt;
        return TimeOfDay{hour, minute};
    }
    if (suffix.size() != 2 || (suffix[1] != 'M' && suffix[1] != 'm')) return std::nullopt;
    const char half = AsciiUpper(suffix[0]);
    if ((half != 'A' && half != 'P') || hour < 1 || hour > 12) return std::nullopt;
    return TimeOfDay{hour % 12 + (half == 'P' ? 12 : 0), minute};
}

std::string FormatStartTime(TimeOfDay time) {
    return std::to_string(time.hour) + (time.minute < 10 ? ":0" : ":") +
           std::to_string(time.minute);
}

}  // namespace quillet
