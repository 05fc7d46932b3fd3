#pragma once

#include <QGridLayout>
#include <array>
#include <string_view>

#include "backup/backup_item.h"

class QCheckBox;
class QGroupBox;

namespace quillet {

using ItemBoxes = std::array<QCheckBox*, kItemCount>;

// Fills `frame` with one box per item, named `name(i)` and captioned from the item table, in two
// columns of four.
QGridLayout* ItemGrid(QGroupBox* frame, ItemBoxes& boxes, const char* name,
                      std::string_view ItemDescription::*caption);

// The ticked boxes as a mask.
ItemMask TickedItems(const ItemBoxes& boxes);

}  // namespace quillet
