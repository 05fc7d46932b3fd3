#include "thunderbird/outlook_settings.h"

#include <variant>

#include "backup/backup_item.h"
#include "backup/oe_locations.h"

namespace quillet::thunderbird {
namespace {

// The Value of each criterion below `criteriaKey` (`Block Senders\Mail\Criteria`), in key order.
std::vector<std::string> CriteriaValues(registry::ModReg& modReg, const std::string& criteriaKey) {
    std::vector<std::string> values;
    for (const std::string& criterion : modReg.EnumSubkeys(criteriaKey)) {
        std::string value = modReg.ReadStringValue(criteriaKey + "\\" + criterion, "Value");
        if (!value.empty()) values.push_back(std::move(value));
    }
    return values;
}

std::optional<OutlookSignature> DefaultSignature(registry::ModReg& modReg,
                                                 const std::string& signaturesKey) {
    const std::string chosen = modReg.ReadStringValue(signaturesKey, "Default Signature");
    if (chosen.empty()) return std::nullopt;
    const registry::ValueList values = modReg.EnumValues(signaturesKey + "\\" + chosen);
    if (values.empty()) return std::nullopt;
    OutlookSignature signature;
    if (const std::string* name = values.findText("name")) signature.name = *name;
    const registry::ValueData* type = values.find("type");
    const bool fromFile = type != nullptr && std::holds_alternative<std::int32_t>(*type) &&
                          std::get<std::int32_t>(*type) == 2;
    if (const std::string* file = values.findText("file"); fromFile && file != nullptr) {
        signature.file = *file;
    } else if (const std::string* text = values.findText("text")) {
        signature.text = *text;
    } else {
        return std::nullopt;
    }
    return signature;
}

}  // namespace

std::string OutlookAccount::text(std::string_view name) const {
    const std::string* found = values.findText(name);
    return found != nullptr ? *found : std::string();
}

std::optional<std::int32_t> OutlookAccount::number(std::string_view name) const {
    const registry::ValueData* found = values.find(name);
    if (found == nullptr || !std::holds_alternative<std::int32_t>(*found)) return std::nullopt;
    return std::get<std::int32_t>(*found);
}

OutlookSettings ReadOutlookSettings(registry::ModReg& modReg, const std::string& identityKey) {
    OutlookSettings settings;
    if (auto accountsKey = ItemKey(modReg, kItems[kAccounts], identityKey)) {
        for (const std::string& key : modReg.EnumSubkeys(*accountsKey)) {
            settings.accounts.push_back({key, modReg.EnumValues(*accountsKey + "\\" + key)});
        }
        const std::string managerKey = accountsKey->substr(0, accountsKey->rfind('\\'));
        settings.defaultMailAccount = modReg.ReadStringValue(managerKey, "Default Mail Account");
    }
    if (auto signaturesKey = ItemKey(modReg, kItems[kSignatures], identityKey)) {
        settings.signature = DefaultSignature(modReg, *signaturesKey);
    }
    if (auto blockedKey = ItemKey(modReg, kItems[kBlockSenders], identityKey)) {
        settings.blockedMailSenders = CriteriaValues(modReg, *blockedKey + "\\Mail\\Criteria");
        settings.blockedNewsSenders = CriteriaValues(modReg, *blockedKey + "\\News\\Criteria");
    }
    if (auto rulesKey = ItemKey(modReg, kItems[kRules], identityKey)) {
        for (const char* kind : {"\\Mail", "\\News"}) {
            const std::string kindKey = *rulesKey + kind;
            for (const std::string& rule : modReg.EnumSubkeys(kindKey)) {
                std::string name = modReg.ReadStringValue(kindKey + "\\" + rule, "Name");
                settings.ruleNames.push_back(name.empty() ? rule : std::move(name));
            }
        }
    }
    return settings;
}

}  // namespace quillet::thunderbird
