#include "gui/button_width.h"

#include <QFontMetrics>
#include <QPushButton>
#include <algorithm>

namespace quillet {

void FitButtonToBoldText(QPushButton& button) {
    button.ensurePolished();
    const QString text = button.text();
    // The style's margins, as its size hint adds them to the text in the widget's font.
    const int margins = button.sizeHint().width() - button.fontMetrics().horizontalAdvance(text);
    QFont bold = button.font();
    bold.setBold(true);
    const int boldWidth = QFontMetrics(bold).horizontalAdvance(text) + margins;
    button.setMinimumWidth(std::max(button.minimumWidth(), boldWidth));
}

}  // namespace quillet
