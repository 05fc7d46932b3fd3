#include "gui/bar_mail_progress.h"

#include <QApplication>
#include <QProgressBar>
#include <algorithm>

namespace quillet {

void BarMailProgress::storeStarted(const std::string& fileName, std::size_t, std::size_t) {
    m_bar.setFormat(QString::fromStdString(fileName) + "  %p%");
    QApplication::processEvents();
}

void BarMailProgress::bytesDone(std::uint64_t done, std::uint64_t total) {
    const int maximum = m_bar.maximum();
    const std::uint64_t value = total == 0 ? 0 : std::min(done, total) * maximum / total;
    m_bar.setValue(static_cast<int>(value));
    QApplication::processEvents();
}

bool BarMailProgress::cancelRequested() {
    QApplication::processEvents();
    return m_cancelRequested;
}

}  // namespace quillet
