#include "gui/splash_window.h"

#include "gui/skin.h"

namespace quillet {

SplashWindow::SplashWindow(const std::filesystem::path& dataFolder,
                           std::function<void()> showMainWindow)
    : m_dataFolder(dataFolder), m_showMainWindow(std::move(showMainWindow)) {
    setObjectName("SplashWindow");
    setWindowTitle("Quillet");
}

void SplashWindow::load() {
    ApplySkin(*this, m_dataFolder);
    if (m_showMainWindow) m_showMainWindow();
    close();
}

}  // namespace quillet
