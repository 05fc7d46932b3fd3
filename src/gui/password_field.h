#pragma once

class QLineEdit;

namespace quillet {

// Makes a field hide what is typed, showing "*" for each character whatever the desktop's style
// would show, with at most `maxLength` characters.
void MakePasswordField(QLineEdit& field, int maxLength);

}  // namespace quillet
