#include "cli/json_report.h"

#include "backup/backup_item.h"

namespace quillet::cli {
namespace {

Json Strings(const std::vector<std::string>& texts) {
    Json list = Json::array();
    for (const std::string& text : texts) list.push_back(text);
    return list;
}

std::string KindName(mailstore::DbxHeader::Kind kind) {
    using Kind = mailstore::DbxHeader::Kind;
    switch (kind) {
        case Kind::kMessages:
            return "messages";
        case Kind::kFolderList:
            return "folder list";
        case Kind::kOther:
            return "no message store";
        default:
            return "unknown";
    }
}

}  // namespace

void PrintJson(const Json& document, std::ostream& out) {
    out << document.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

Json ItemsJson(const ItemOutcomes& items) {
    Json list = Json::array();
    for (int i = 0; i < kItemCount; ++i) {
        if (!items[i].ran) continue;
        Json item = {{"item", kItems[i].commandName}, {"succeeded", items[i].succeeded}};
        if (!items[i].succeeded) item["failure"] = items[i].failure;
        list.push_back(std::move(item));
    }
    return list;
}

Json ExportSummaryJson(const std::string& source, const std::string& target,
                       const mailstore::ExportSummary& summary) {
    Json complete = Json::array();
    for (const std::filesystem::path& folder : summary.complete)
        complete.push_back(folder.string());
    return {{"source", source},
            {"target", target},
            {"folders", summary.folders},
            {"messages", summary.messages},
            {"bytes", summary.bytes},
            {"recovered", summary.recovered},
            {"skipped", summary.skipped},
            {"missing", summary.missing},
            {"cut_short", summary.cutShort},
            {"stores_left_out", Strings(summary.storesLeftOut)},
            {"stopped", summary.stopped.empty() ? Json() : Json(summary.stopped)},
            {"complete", std::move(complete)},
            {"notes", Strings(summary.notes)},
            {"partial", summary.partial()}};
}

Json StoreHealthJson(const mailstore::StoreHealth& store) {
    Json damages = Json::array();
    for (const mailstore::StoreDamage& damage : store.damages) {
        damages.push_back(
            {{"what", damage.what}, {"offset", damage.wholeFile ? Json() : Json(damage.offset)}});
    }
    return {{"name", store.name},
            {"state", store.damaged() ? "damaged" : "sound"},
            {"kind", KindName(store.kind)},
            {"messages", store.messages},
            {"bytes", store.size},
            {"reclaimable", store.reclaimable},
            {"share_of_limit", store.shareOfLimit},
            {"folder", store.folder.empty() ? Json() : Json(store.folder)},
            {"damages", std::move(damages)}};
}

}  // namespace quillet::cli
