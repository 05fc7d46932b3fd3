#include "gui/skin.h"

#include <QFile>
#include <QWidget>

namespace quillet {

void ApplySkin(QWidget& window, const std::filesystem::path& dataFolder) {
    QFile skin(QString::fromStdString((dataFolder / "skins" / "frmmain.skn").string()));
    if (!skin.open(QIODevice::ReadOnly | QIODevice::Text)) return;
    window.setStyleSheet(QString::fromUtf8(skin.readAll()));
}

}  // namespace quillet
