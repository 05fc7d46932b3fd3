#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillet {

// A day of the week as a job's day list names it, Monday first. A day's position in kWeekDays is
// its bit in a job's days-of-week mask.
struct WeekDay {
    std::string_view code;  // in the day list: "M", "T", "W", "TH", "F", "S", "SU"
    std::string_view name;  // "Monday" ... "Sunday"
    int cronNumber;         // cron's number for the day: Sunday 0, Monday 1, ... Saturday 6
};

inline constexpr std::array<WeekDay, 7> kWeekDays{{
    {"M", "Monday", 1},
    {"T", "Tuesday", 2},
    {"W", "Wednesday", 3},
    {"TH", "Thursday", 4},
    {"F", "Friday", 5},
    {"S", "Saturday", 6},
    {"SU", "Sunday", 0},
}};

// The days-of-week mask of a day list: the list is split at ","; each piece, in upper case, sets
// the bit of the first code it equals; a piece equal to no code sets nothing. "" gives 0.
std::uint8_t DaysOfWeekFromList(std::string_view dayList);

// The first piece of a day list (split at ",") that names no day, or nullopt when each names one;
// "" (a job that runs once) has no piece. Every piece must name a day: a typing error would
// otherwise make a job that runs once instead of on the days meant.
std::optional<std::string> FirstPieceNamingNoDay(std::string_view dayList);

// The day list of a mask: the codes of its set bits, Monday to Sunday, joined by ",".
std::string DayListFromDays(std::uint8_t daysOfWeek);

}  // namespace quillet
