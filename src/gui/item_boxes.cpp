#include "gui/item_boxes.h"

#include <QCheckBox>
#include <QGroupBox>

namespace quillet {

QGridLayout* ItemGrid(QGroupBox* frame, ItemBoxes& boxes, const char* name,
                      std::string_view ItemDescription::*caption) {
    auto* grid = new QGridLayout(frame);
    for (int i = 0; i < kItemCount; ++i) {
        const std::string_view text = kItems[i].*caption;
        boxes[i] = new QCheckBox(QString::fromUtf8(text.data(), text.size()), frame);
        boxes[i]->setObjectName(QString("%1(%2)").arg(name).arg(i));
        grid->addWidget(boxes[i], i % 4, i / 4);
    }
    return grid;
}

ItemMask TickedItems(const ItemBoxes& boxes) {
    ItemMask mask{};
    for (int i = 0; i < kItemCount; ++i) mask[i] = boxes[i]->isChecked();
    return mask;
}

}  // namespace quillet
