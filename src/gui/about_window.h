#pragma once

#include <QDialog>
#include <filesystem>

namespace quillet {

// The about window: product, version, thanks, the web and e-mail addresses, and "Exit".
class AboutWindow : public QDialog {
    Q_OBJECT
  public:
    explicit AboutWindow(const std::filesystem::path& dataFolder, QWidget* parent = nullptr);

    static constexpr char kWebAddress[] = "https://quillet.example.org/";
    static constexpr char kSupportAddress[] = "support@quillet.example.org";
};

}  // namespace quillet
