#pragma once

#include <optional>
#include <set>
#include <span>
#include <string>

// What the engine's media type and capability codes stand for, mapped from the profiles by which
// a drive names discs. A profile is the number of a disc type in the drive's profile list (MMC-5,
// feature 0000h "Profile List", table of profile numbers); libburn reports the loaded disc's
// profile (burn_disc_get_profile) and the drive's list (burn_drive_get_all_profiles), and names
// its stdio pseudo-drive's file profile 0xFFFF.
namespace quillet::disc {

struct MediaProfile {
    int profile;          // MMC-5 profile number (0xFFFF: libburn's file)
    int mediaType;        // MediaInfo::mediaType
    const char* name;     // for people ("DVD+RW")
    bool writable;        // can take data at all (as a blank, appendable or overwritable disc)
    bool rewritable;      // can be blanked or overwritten
    bool overwritable;    // written in place, without blanking first (formatted media)
    int writeCapability;  // the HasCapability code of a drive that writes it; 0 for none
    double singleSpeed;   // 1x in kilobytes (1000 bytes) per second
};

// Every profile the engine knows, in profile order.
std::span<const MediaProfile> MediaProfiles();
// The row of a profile; nullopt for one the engine does not know.
std::optional<MediaProfile> FindMediaProfile(int profile);
// The media type of the disc whose profile the drive reports; kMediaUnknown for a profile the
// engine does not know and kMediaNone for 0 (no disc).
int MediaTypeOfProfile(int profile);
// The media's name for people ("CD-RW", "Disc image file"); "No disc" for kMediaNone.
std::string MediaTypeName(int mediaType);
// The write capabilities of a drive whose profile list is `profiles`.
std::set<int> WriteCapabilitiesOfProfiles(std::span<const int> profiles);

}  // namespace quillet::disc
