#pragma once

#include <QIcon>

namespace quillet {

// The program's icon, drawn in code so that it needs no image file.
QIcon AppIcon();

}  // namespace quillet
