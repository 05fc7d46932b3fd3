#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>

namespace quillet {

// The splash window: on load it applies the skin, shows the main window and closes itself, so it
// is never seen.
class SplashWindow : public QWidget {
    Q_OBJECT
  public:
    SplashWindow(const std::filesystem::path& dataFolder, std::function<void()> showMainWindow);
    // The window's load.
    void load();

  private:
    std::filesystem::path m_dataFolder;
    std::function<void()> m_showMainWindow;
};

}  // namespace quillet
