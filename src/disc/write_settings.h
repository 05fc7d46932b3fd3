#pragma once

#include <array>
#include <string>
#include <string_view>

#include "disc/disc_engine.h"

// What a write of the data project is asked to do, as the disc writer window and
// `quillet-cli disc write` both set it: the volume types, the volume identifier, the settings in
// the window's order and the check that the disc can take the image.
namespace quillet::disc {

struct VolumeType {
    const char* caption;  // as the disc writer window lists it
    int fileSystemType;   // the engine's file system code
};

// In the window's list order; kDefaultVolumeType is the one a write takes unless told otherwise.
inline constexpr std::array<VolumeType, 5> kVolumeTypes{{
    {"ISO9660", kFileSystemIso9660},
    {"UDF", kFileSystemUdf},
    {"ISO9660/Joliet Bridge", kFileSystemIsoJoliet},
    {"ISO9660/UDF (DVDVideo) Bridge", kFileSystemIsoUdf},
    {"ISO9660/Joliet/UDF Bridge", kFileSystemIsoJolietUdf},
}};
inline constexpr int kDefaultVolumeType = 4;

// Whether `fileSystemType` is the code of one of kVolumeTypes.
bool IsVolumeType(int fileSystemType);

// The volume identifier holds at most kVolumeIdLength characters. The name of a new, empty
// image, and the one a write takes unless told otherwise.
inline constexpr int kVolumeIdLength = 32;
inline constexpr char kNewDiscName[] = "New Disc";
inline constexpr char kBackupDiscName[] = "Outlook Express Data Backup CD";

// Whether `volumeId` (UTF-8) fits, counted in characters as the window's field counts them (UTF-16
// units, one for each character but those beyond the Basic Multilingual Plane).
bool VolumeIdFits(std::string_view volumeId);

// The settings of one write, with the defaults of the window's controls at opening (buffer
// protection there follows the device).
struct WriteSettings {
    std::string volumeId = kBackupDiscName;
    int writeSpeed = kWriteSpeedMaximum;
    int fileSystemType = kVolumeTypes[kDefaultVolumeType].fileSystemType;
    bool autoVerify = false;
    bool mode2XA = false;
    bool cacheImage = false;
    bool testWrite = false;
    bool finalizeDisc = false;
    bool bufferProtection = false;
    bool discAtOnce = false;  // disc-at-once instead of track-at-once
};

// What a project is given when a front end takes it up: setting 1 at load, file dates used.
void ApplyLoadSettings(DataProject& project);

// Sets `settings` on `project` in the window's order: the volume identifier, setting 1 at write,
// the speed, the file system, auto-verify, Mode2XA, cache image, test write, finalize, buffer
// protection, the write method.
void ApplyWriteSettings(DataProject& project, const WriteSettings& settings);

// The room the disc in a device leaves for the project's image, in bytes.
struct MediaCheck {
    bool writable = false;  // a disc is loaded and can be written; the sizes are 0 otherwise
    double freeBytes = 0;
    double neededBytes = 0;

    bool imageFits() const { return writable && freeBytes >= neededBytes; }
};

// The bytes free on the disc in `device`: its free blocks, asked afresh, times the image's block
// size, in floating point so that the blocks of a large disc cannot overflow.
double FreeBytes(DiscDevice& device, const DataProject& project);

// Refreshes the media in `device` and, when it is writable, measures its free space and the
// image's size.
MediaCheck CheckMediaForImage(DiscDevice& device, DataProject& project);

}  // namespace quillet::disc
