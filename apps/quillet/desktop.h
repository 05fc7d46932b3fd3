#pragma once

#include <optional>
#include <string>

namespace quillet {

// The system the desktop program opens first: a mounted Windows disk when `windowsRoot` is given
// (its profile `user`, else the only one holding identities, else the user's choice), else the
// Wine prefix `prefix` (else $WINEPREFIX, else ~/.wine).
struct DesktopSystemChoice {
    std::optional<std::string> prefix;
    std::optional<std::string> windowsRoot;
    std::optional<std::string> user;
};

// Runs the desktop program: the splash window hands over to the main window on the chosen system;
// when that cannot be opened, the user is offered to open a prefix or a disk, and Cancel ends the
// program. Returns the process's exit status.
int RunDesktop(int argc, char** argv, const DesktopSystemChoice& choice);

}  // namespace quillet
