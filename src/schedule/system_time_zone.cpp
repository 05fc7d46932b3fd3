#include "schedule/system_time_zone.h"

#include <cctz/civil_time.h>

#include <system_error>

namespace quillet {
namespace {

constexpr std::string_view kZoneDatabaseFolder = "zoneinfo/";

// The database name in the target of the link `zoneFile`, or "" when it is no link into it.
std::string LinkedZoneName(const std::filesystem::path& zoneFile) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(zoneFile, error).string();
    const std::size_t folder = target.rfind(kZoneDatabaseFolder);
    if (error || folder == std::string::npos) return {};
    return target.substr(folder + kZoneDatabaseFolder.size());
}

}  // namespace

SystemTimeZone SystemTimeZone::Load(const std::filesystem::path& zoneFile) {
    SystemTimeZone zone;
    // CCTZ reads an absolute name as the path of a zone file; on failure it gives UTC.
    if (!cctz::load_time_zone(zoneFile.string(), &zone.m_zone)) {
        zone.m_name = "UTC";
        return zone;
    }
    zone.m_name = LinkedZoneName(zoneFile);
    if (zone.m_name.empty()) {
        zone.m_name = zone.m_zone.lookup(std::chrono::system_clock::now()).abbr;
    }
    return zone;
}

std::tm SystemTimeZone::localTime(std::chrono::system_clock::time_point when) const {
    const cctz::civil_second local = cctz::convert(when, m_zone);
    std::tm fields{};
    fields.tm_year = static_cast<int>(local.year() - 1900);
    fields.tm_mon = local.month() - 1;
    fields.tm_mday = local.day();
    fields.tm_hour = local.hour();
    fields.tm_min = local.minute();
    fields.tm_sec = local.second();
    // CCTZ counts Monday 0 ... Sunday 6; tm counts Sunday 0.
    fields.tm_wday = (static_cast<int>(cctz::get_weekday(cctz::civil_day(local))) + 1) % 7;
    return fields;
}

std::string SystemTimeZone::format(const std::string& format,
                                   std::chrono::system_clock::time_point when) const {
    return cctz::format(format, when, m_zone);
}

std::string LocalTimeNote(std::string_view zoneName) {
    return "Times are this computer's local time (" + std::string(zoneName) + ")";
}

}  // namespace quillet
