#pragma once

#include <cctz/time_zone.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace quillet {

// The file that names the system's time zone: cron runs every job at the times of this zone,
// whatever the TZ of the process that registered it says.
inline constexpr char kSystemZoneFile[] = "/etc/localtime";

// A time zone read from a zone file, through CCTZ: nothing here reads or sets TZ or any other
// state of the process (localtime_r and mktime follow TZ, and setting TZ meanwhile is unsafe
// while other threads run), so it can be used from any thread.
class SystemTimeZone {
  public:
    // The zone of `zoneFile`: a compiled zone file, or a link to one in the zone database. A file
    // that is missing or not a zone file gives UTC, as for the C library, which cron uses.
    static SystemTimeZone Load(const std::filesystem::path& zoneFile = kSystemZoneFile);

    // The zone's name: the database name of the file the zone file links to ("Europe/Paris"),
    // else the zone's abbreviation now ("CET"), or "UTC" when no zone could be read.
    const std::string& name() const { return m_name; }

    // The time of day and date at `when` in this zone (the fields of localtime_r, tm_isdst and
    // tm_yday left 0).
    std::tm localTime(std::chrono::system_clock::time_point when) const;

    // `when` in this zone as strftime-like `format` says (CCTZ's format, with %Ez for "+01:00").
    std::string format(const std::string& format, std::chrono::system_clock::time_point when) const;

  private:
    cctz::time_zone m_zone;
    std::string m_name;
};

// The note beside job times in the windows and the job list of the command line.
std::string LocalTimeNote(std::string_view zoneName);

}  // namespace quillet
