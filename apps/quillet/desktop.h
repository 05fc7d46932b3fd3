#pragma once

#include <optional>
#include <string>

namespace quillet {

// Runs the desktop program: the splash window hands over to the main window, which works on the
// prefix `prefix` (else $WINEPREFIX, else ~/.wine). Returns the process's exit status.
int RunDesktop(int argc, char** argv, const std::optional<std::string>& prefix);

}  // namespace quillet
