#pragma once

#include <string>

namespace quillet {

// The backup file that the next opening of the disc writer puts into its image: the program-wide
// texts PendingDiscFileName (the name without its folder) and PendingDiscFilePath (the full path).
// The backup run sets both before it opens the disc writer; the disc writer adds the file when
// both are set and then empties them. One object, owned by the desktop program and handed to the
// main window and the disc writer, so nothing is global.
struct PendingDiscFile {
    std::string PendingDiscFileName;
    std::string PendingDiscFilePath;
};

}  // namespace quillet
