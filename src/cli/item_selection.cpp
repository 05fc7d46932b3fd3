#include <algorithm>

#include "backup/restore_run.h"
#include "cli/commands.h"

namespace quillet::cli {

Result<ItemMask> ParseSelectedItems(std::string_view text) {
    auto items = ParseItemList(text);
    if (!items) return items;
    if (std::none_of(items->begin(), items->end(), [](bool on) { return on; })) {
        return Status::Error(kSelectItemMessage, ErrorKind::kBadInput);
    }
    return items;
}

}  // namespace quillet::cli
