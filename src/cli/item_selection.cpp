#include "cli/commands.h"

namespace quillet::cli {

Result<ItemMask> ParseSelectedItems(std::string_view text) {
    auto items = ParseItemList(text);
    if (!items) return items;
    if (Status selected = CheckItemSelected(*items); !selected) return selected;
    return items;
}

}  // namespace quillet::cli
