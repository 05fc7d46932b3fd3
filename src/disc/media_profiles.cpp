#include "disc/media_profiles.h"

#include <algorithm>
#include <array>

#include "disc/disc_engine.h"

namespace quillet::disc {

namespace {

// Single speeds: CD 1x = 75 sectors of 2352 bytes per second (176.4 kB/s); DVD 1x = 1385 kB/s;
// BD 1x = 4495.5 kB/s (36 Mbit/s of user data); the values libburn's speed lists use.
constexpr double kCd = 176.4;
constexpr double kDvd = 1385.0;
constexpr double kBd = 4495.5;

constexpr std::array kProfiles = {
    MediaProfile{0x08, kMediaCdRom, "CD-ROM", false, false, false, 0, kCd},
    MediaProfile{0x09, kMediaCdR, "CD-R", true, false, false, kCapabilityWriteCdR, kCd},
    MediaProfile{0x0A, kMediaCdRw, "CD-RW", true, true, false, kCapabilityWriteCdRw, kCd},
    MediaProfile{0x10, kMediaDvdRom, "DVD-ROM", false, false, false, 0, kDvd},
    MediaProfile{0x11, kMediaDvdMinusR, "DVD-R", true, false, false, kCapabilityWriteDvdMinusR,
                 kDvd},
    MediaProfile{0x12, kMediaDvdRam, "DVD-RAM", true, true, true, kCapabilityWriteDvdRam, kDvd},
    // DVD-RW formatted for overwriting ("restricted overwrite") and written sequentially.
    MediaProfile{0x13, kMediaDvdMinusRw, "DVD-RW", true, true, true, kCapabilityWriteDvdMinusRw,
                 kDvd},
    MediaProfile{0x14, kMediaDvdMinusRw, "DVD-RW", true, true, false, kCapabilityWriteDvdMinusRw,
                 kDvd},
    MediaProfile{0x15, kMediaDvdMinusRDualLayer, "DVD-R DL", true, false, false,
                 kCapabilityWriteDvdMinusR, kDvd},
    MediaProfile{0x16, kMediaDvdMinusRDualLayer, "DVD-R DL", true, false, false,
                 kCapabilityWriteDvdMinusR, kDvd},
    MediaProfile{0x1A, kMediaDvdPlusRw, "DVD+RW", true, true, true, kCapabilityWriteDvdPlusRw,
                 kDvd},
    MediaProfile{0x1B, kMediaDvdPlusR, "DVD+R", true, false, false, kCapabilityWriteDvdPlusR, kDvd},
    MediaProfile{0x2A, kMediaDvdPlusRw, "DVD+RW DL", true, true, true, kCapabilityWriteDvdPlusRw,
                 kDvd},
    MediaProfile{0x2B, kMediaDvdPlusRDualLayer, "DVD+R DL", true, false, false,
                 kCapabilityWriteDvdPlusRDualLayer, kDvd},
    MediaProfile{0x40, kMediaBdRom, "BD-ROM", false, false, false, 0, kBd},
    MediaProfile{0x41, kMediaBdR, "BD-R", true, false, false, kCapabilityWriteBdR, kBd},
    MediaProfile{0x42, kMediaBdR, "BD-R", true, false, false, kCapabilityWriteBdR, kBd},
    MediaProfile{0x43, kMediaBdRe, "BD-RE", true, true, true, kCapabilityWriteBdRe, kBd},
    // libburn's stdio pseudo-drive on a regular file: written in place, never blanked.
    MediaProfile{0xFFFF, kMediaImageFile, "Disc image file", true, false, true, 0, kDvd},
};

}  // namespace

std::span<const MediaProfile> MediaProfiles() { return kProfiles; }

std::optional<MediaProfile> FindMediaProfile(int profile) {
    for (const MediaProfile& row : kProfiles) {
        if (row.profile == profile) return row;
    }
    return std::nullopt;
}

int MediaTypeOfProfile(int profile) {
    if (profile == 0) return kMediaNone;
    const auto row = FindMediaProfile(profile);
    return row ? row->mediaType : kMediaUnknown;
}

std::string MediaTypeName(int mediaType) {
    if (mediaType == kMediaNone) return "No disc";
    for (const MediaProfile& row : kProfiles) {
        if (row.mediaType == mediaType) return row.name;
    }
    return "Unknown disc";
}

std::set<int> WriteCapabilitiesOfProfiles(std::span<const int> profiles) {
    std::set<int> capabilities;
    for (int profile : profiles) {
        const auto row = FindMediaProfile(profile);
        if (row && row->writeCapability != 0) capabilities.insert(row->writeCapability);
    }
    return capabilities;
}

}  // namespace quillet::disc
