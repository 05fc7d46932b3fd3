#include "shell/frm_splash.h"

#include "shell/skin.h"

namespace quillet {

Frmsplash::Frmsplash(const std::filesystem::path& dataFolder, std::function<void()> showMainWindow)
    : m_dataFolder(dataFolder), m_showMainWindow(std::move(showMainWindow)) {
    setObjectName("Frmsplash");
    setWindowTitle("Quillet");
}

void Frmsplash::load() {
    ApplySkin(*this, m_dataFolder);
    if (m_showMainWindow) m_showMainWindow();
    close();
}

}  // namespace quillet
