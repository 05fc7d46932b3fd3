#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillet {

// A time of day to the minute.
struct TimeOfDay {
    int hour = 0;    // 0 to 23
    int minute = 0;  // 0 to 59
    bool operator==(const TimeOfDay&) const = default;
};

// The time of day a start-time text denotes: "H:MM" or "HH:MM", optionally with ":SS" (seconds
// are dropped) and optionally followed by "AM" or "PM" (in any case, hours 1 to 12), blanks
// around it allowed. nullopt for any other text, so that no job is made with a time that was not
// given.
std::optional<TimeOfDay> ParseStartTime(std::string_view text);

// "H:MM", the hour without a leading zero: the form of the schedule window's start-time list.
std::string FormatStartTime(TimeOfDay time);

}  // namespace quillet
