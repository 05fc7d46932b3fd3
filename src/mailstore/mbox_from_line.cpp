#include "mailstore/mbox_from_line.h"

#include <array>
#include <cstdio>
#include <vector>

#include "platform/case_fold.h"

namespace quillet::mailstore {

namespace {

constexpr std::array<std::string_view, 7> kWeekdays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool IsDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Only called on at most a few digits, so it cannot overflow.
int ToNumber(std::string_view digits) {
    int value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    return value;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate CivilFromDays(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const unsigned month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const std::int64_t year = static_cast<std::int64_t>(yearOfEra) + era * 400;
    return {month <= 2 ? year + 1 : year, month, day};
}

unsigned DaysInMonth(std::int64_t year, unsigned month) {
    static constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30,
                                                       31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// The date's words: comments removed, split at blanks and commas.
std::vector<std::string_view> DateWords(std::string_view value, std::string& storage) {
    storage.clear();
    int depth = 0;
    for (char c : value) {
        if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
            storage += ' ';
        } else if (depth == 0) {
            storage += IsBlank(c) || c == ',' ? ' ' : c;
        }
    }
    std::vector<std::string_view> words;
    std::string_view rest = storage;
    while (true) {
        rest = Trim(rest);
        if (rest.empty()) break;
        const auto end = rest.find(' ');
        words.push_back(rest.substr(0, end));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end);
    }
    return words;
}

// The zone's offset east of UTC in minutes; obsolete and unknown names count as UTC.
std::optional<int> ZoneMinutes(std::string_view zone) {
    if (zone.size() == 5 && (zone[0] == '+' || zone[0] == '-') && IsDigits(zone.substr(1))) {
        const int hours = ToNumber(zone.substr(1, 2));
        const int minutes = ToNumber(zone.substr(3, 2));
        if (minutes > 59) return std::nullopt;
        return (zone[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    }
    static constexpr std::array<std::pair<std::string_view, int>, 8> kNamedZones = {{
        {"EST", -5},
        {"EDT", -4},
        {"CST", -6},
        {"CDT", -5},
        {"MST", -7},
        {"MDT", -6},
        {"PST", -8},
        {"PDT", -7},
    }};
    for (const auto& [name, hours] : kNamedZones) {
        if (EqualsIgnoringCase(zone, name)) return hours * 60;
    }
    for (char c : zone) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return std::nullopt;
    }
    return 0;
}

template <std::size_t N>
std::optional<unsigned> NameIndex(const std::array<std::string_view, N>& names,
                                  std::string_view word) {
    for (std::size_t i = 0; i < N; ++i) {
        if (word.size() >= 3 && EqualsIgnoringCase(word.substr(0, 3), names[i])) {
            return static_cast<unsigned>(i);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> HeaderField(std::string_view headerBlock, std::string_view name) {
    std::optional<std::string> value;
    std::size_t position = 0;
    while (position < headerBlock.size()) {
        auto end = headerBlock.find('\n', position);
        if (end == std::string_view::npos) end = headerBlock.size();
        std::string_view line = headerBlock.substr(position, end - position);
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;  // the end of the header block
        if (line.front() == ' ' || line.front() == '\t') {
            if (value) *value += line;  // a folded continuation of the field being read
            continue;
        }
        if (value) break;
        const auto colon = line.find(':');
        if (colon != std::string_view::npos &&
            EqualsIgnoringCase(Trim(line.substr(0, colon)), name)) {
            value = std::string(line.substr(colon + 1));
        }
    }
    if (value) *value = std::string(Trim(*value));
    return value;
}

std::string SenderAddress(std::string_view headerBlock) {
    std::optional<std::string> field = HeaderField(headerBlock, "Return-Path");
    if (!field || Trim(*field).empty()) field = HeaderField(headerBlock, "From");
    if (!field) return std::string(kUnknownSender);
    std::string_view value = *field;
    const auto open = value.find('<');
    const auto close = open == std::string_view::npos ? open : value.find('>', open);
    if (close != std::string_view::npos) {
        value = value.substr(open + 1, close - open - 1);
    } else if (const auto at = value.find('@'); at != std::string_view::npos) {
        auto start = value.find_last_of(" \t", at);
        start = start == std::string_view::npos ? 0 : start + 1;
        const auto end = value.find_first_of(" \t", at);
        value = value.substr(start, end == std::string_view::npos ? end : end - start);
    }
    value = Trim(value);
    if (value.empty()) return std::string(kUnknownSender);
    for (unsigned char c : value) {
        if (c <= ' ' || c == 0x7F) return std::string(kUnknownSender);
    }
    return std::string(value);
}

std::optional<std::int64_t> ParseMailDate(std::string_view value) {
    std::string storage;
    std::vector<std::string_view> words = DateWords(value, storage);
    std::size_t next = 0;
    if (next < words.size() && !IsDigits(words[next]) && NameIndex(kWeekdays, words[next])) ++next;
    if (words.size() < next + 4) return std::nullopt;
    const std::string_view dayWord = words[next];
    const std::optional<unsigned> month = NameIndex(kMonths, words[next + 1]);
    const std::string_view yearWord = words[next + 2];
    const std::string_view timeWord = words[next + 3];
    const std::string_view zoneWord = words.size() > next + 4 ? words[next + 4] : "+0000";
    if (!IsDigits(dayWord) || dayWord.size() > 2 || !month || !IsDigits(yearWord) ||
        yearWord.size() < 2 || yearWord.size() > 4) {
        return std::nullopt;
    }
    std::int64_t year = ToNumber(yearWord);
    if (yearWord.size() == 2) year += year < 50 ? 2000 : 1900;
    if (yearWord.size() == 3) year += 1900;
    const unsigned day = static_cast<unsigned>(ToNumber(dayWord));
    if (day < 1 || day > DaysInMonth(year, *month + 1)) return std::nullopt;

    std::array<int, 3> clock = {0, 0, 0};
    std::size_t part = 0;
    std::string_view rest = timeWord;
    while (true) {
        const auto colon = rest.find(':');
        const std::string_view digits = rest.substr(0, colon);
        if (part == clock.size() || !IsDigits(digits) || digits.size() > 2) return std::nullopt;
        clock[part++] = ToNumber(digits);
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    if (part < 2 || clock[0] > 23 || clock[1] > 59 || clock[2] > 60) return std::nullopt;
    const std::optional<int> zone = ZoneMinutes(zoneWord);
    if (!zone) return std::nullopt;

    const std::int64_t days = DaysFromCivil(year, *month + 1, day);
    return days * 86400 + clock[0] * 3600 + clock[1] * 60 + clock[2] -
           static_cast<std::int64_t>(*zone) * 60;
}

std::string AsctimeUtc(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    const CivilDate date = CivilFromDays(days);
    if (date.year < 1 || date.year > 9999) return std::string(kUnknownDate);
    // 1970-01-01 was a Thursday.
    const auto weekday = static_cast<std::size_t>(((days % 7) + 7 + 4) % 7);
    char text[32];
    std::snprintf(text, sizeof text, "%s %s %2u %02d:%02d:%02d %04d",
                  std::string(kWeekdays[weekday]).c_str(),
                  std::string(kMonths[date.month - 1]).c_str(), date.day,
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                  static_cast<int>(secondOfDay % 60), static_cast<int>(date.year));
    return text;
}

std::string MboxFromLine(std::string_view headerBlock) {
    std::string line = "From " + SenderAddress(headerBlock) + " ";
    const std::optional<std::string> date = HeaderField(headerBlock, "Date");
    const std::optional<std::int64_t> seconds = date ? ParseMailDate(*date) : std::nullopt;
    line += seconds ? AsctimeUtc(*seconds) : std::string(kUnknownDate);
    return line;
}

}  // namespace quillet::mailstore
