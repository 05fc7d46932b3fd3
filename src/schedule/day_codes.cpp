#include "schedule/day_codes.h"

#include "platform/case_fold.h"

namespace quillet {

std::uint8_t DaysOfWeekFromList(std::string_view dayList) {
    std::uint8_t days = 0;
    if (dayList.empty()) return days;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = dayList.find(',', start);
        const std::string piece = AsciiUpper(dayList.substr(start, comma - start));
        for (std::size_t bit = 0; bit < kWeekDays.size(); ++bit) {
            if (piece == kWeekDays[bit].code) {
                days |= static_cast<std::uint8_t>(1u << bit);
                break;
            }
        }
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return days;
}

std::optional<std::string> FirstPieceNamingNoDay(std::string_view dayList) {
    if (dayList.empty()) return std::nullopt;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = dayList.find(',', start);
        const std::string_view piece = dayList.substr(start, comma - start);
        if (DaysOfWeekFromList(piece) == 0) return std::string(piece);
        if (comma == std::string_view::npos) return std::nullopt;
        start = comma + 1;
    }
}

std::string DayListFromDays(std::uint8_t daysOfWeek) {
    std::string list;
    for (std::size_t bit = 0; bit < kWeekDays.size(); ++bit) {
        if ((daysOfWeek & (1u << bit)) == 0) continue;
        if (!list.empty()) list += ',';
        list += kWeekDays[bit].code;
    }
    return list;
}

}  // namespace quillet
