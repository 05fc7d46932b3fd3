#include "gui/password_field.h"

#include <QLineEdit>
#include <QProxyStyle>

namespace quillet {
namespace {

// The field's own style: the application's, with "*" as the password character. A style sheet
// property would not reach a field that was already made a password field.
class StarPasswordStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter) return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

void MakePasswordField(QLineEdit& field, int maxLength) {
    auto* style = new StarPasswordStyle;
    style->setParent(&field);  // the field does not own its style; this frees it with the field
    field.setStyle(style);
    field.setEchoMode(QLineEdit::Password);
    field.setMaxLength(maxLength);
}

void SetPasswordFieldsEnabled(const QWidget& window, std::initializer_list<QLineEdit*> fields,
                              bool on) {
    for (QLineEdit* field : fields) {
        field->setEnabled(on);
        QPalette colours = field->palette();
        colours.setColor(QPalette::Base,
                         window.palette().color(on ? QPalette::Base : QPalette::Button));
        field->setPalette(colours);
        field->clear();
    }
}

}  // namespace quillet
