#pragma once

#include <filesystem>

class QWidget;

namespace quillet {

// The skin is the Qt style sheet `skins/frmmain.skn` in the program's data folder. Applying it
// changes only the look; a missing or unreadable file leaves the system's look and says nothing.
void ApplySkin(QWidget& window, const std::filesystem::path& dataFolder);

}  // namespace quillet
