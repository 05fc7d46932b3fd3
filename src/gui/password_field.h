#pragma once

#include <initializer_list>

class QLineEdit;
class QWidget;

namespace quillet {

// Makes a field hide what is typed, showing "*" for each character whatever the desktop's style
// would show, with at most `maxLength` characters.
void MakePasswordField(QLineEdit& field, int maxLength);

// The protection box's effect on its password fields: enabled with the window-background colour,
// or disabled with the scroll-bar colour (of `window`'s palette); emptied either way.
void SetPasswordFieldsEnabled(const QWidget& window, std::initializer_list<QLineEdit*> fields,
                              bool on);

}  // namespace quillet
