#pragma once

#include <array>

// The eight write option boxes of the disc writer. The volume types, the volume identifier and
// the settings a write takes are the disc library's (disc/write_settings.h).
namespace quillet::disc_options {

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

}  // namespace quillet::disc_options
