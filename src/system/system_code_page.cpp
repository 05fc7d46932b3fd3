#include "system/system_code_page.h"

namespace quillet::system {

AnsiCodePage SystemCodePage(registry::ModReg& modReg) {
    return AnsiCodePage::FromText(modReg.ReadStringValue(kCodePageKey, kAnsiCodePageValue))
        .value_or(AnsiCodePage());
}

}  // namespace quillet::system
