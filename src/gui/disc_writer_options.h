#pragma once

#include <array>

#include "disc/disc_engine.h"

// The choices the disc writer offers: the volume types and the eight write option boxes.
namespace quillet::disc_options {

struct VolumeType {
    const char* caption;
    int fileSystemType;  // the engine's file system code
};

// In list order; the entry kDefaultVolumeType is selected at opening.
inline constexpr std::array<VolumeType, 5> kVolumeTypes{{
    {"ISO9660", disc::kFileSystemIso9660},
    {"UDF", disc::kFileSystemUdf},
    {"ISO9660/Joliet Bridge", disc::kFileSystemIsoJoliet},
    {"ISO9660/UDF (DVDVideo) Bridge", disc::kFileSystemIsoUdf},
    {"ISO9660/Joliet/UDF Bridge", disc::kFileSystemIsoJolietUdf},
}};
inline constexpr int kDefaultVolumeType = 4;

struct WriteOption {
    const char* objectName;
    const char* caption;
    bool ticked;  // at opening; buffer protection follows the device instead
    const char* tooltip;
};

inline constexpr std::array<WriteOption, 8> kWriteOptions{{
    {"chkUseBufferProtect", "Use Buffer Protection", false, "Eliminates buffer underrun problems."},
    {"chkCacheImage", "Cache Image", false, "Not needed for DVD formats...Use for CDR/W only."},
    {"chkFinalizeDisc", "Finalize Disc", false, "Not valid for DVD+RW and DVD-RAM formats."},
    {"chkTestWrite", "Test Write", false, "Not valid for DVD formats."},
    {"chkAutoVerify", "Auto-Verify Data", false, "Eliminates buffer underrun problems."},
    {"chkUseMode2XA", "Mode2XA (CD Only)", false, "Please see help file for details on Mode2XA"},
    {"chkUseFileDates", "Use File Dates", true, "Please see help file for details on Mode2XA"},
    {"chkDiscAtOnce", "Disc-At-Once", false, "Eliminates buffer underrun problems."},
}};

// The volume identifier: at most this many characters; the text at opening.
inline constexpr int kVolumeIdLength = 32;
inline constexpr char kNewDiscName[] = "New Disc";
inline constexpr char kBackupDiscName[] = "Outlook Express Data Backup CD";

}  // namespace quillet::disc_options
