#pragma once

class QPushButton;

namespace quillet {

// Makes `button` wide enough for its text in bold, as the skin draws a default button: Qt sizes a
// button by the widget's own font, not by the font of a style-sheet state such as ":default",
// and the bold text was clipped at both ends. The minimum width becomes the bold text's advance
// plus the margins the style puts around a button's text (padding and border). Call it after the
// skin is applied and whenever the text changes.
void FitButtonToBoldText(QPushButton& button);

}  // namespace quillet
