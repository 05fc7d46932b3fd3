#include "backup/identity_list.h"

#include "platform/case_fold.h"

namespace quillet {

bool EmptyString(std::string_view text) {
    for (const char c : text) {
        if (c != '\0' && c != ' ') return false;
    }
    return true;
}

std::vector<Identity> ListIdentities(registry::ModReg& modReg) {
    std::vector<Identity> identities;
    for (const std::string& key : modReg.EnumSubkeys(kIdentitiesKey)) {
        if (EmptyString(key)) continue;
        const registry::ValueList values =
            modReg.EnumValues(std::string(kIdentitiesKey) + "\\" + key);
        const std::string* userName = values.findText("Username");
        identities.push_back(Identity{userName != nullptr ? *userName : std::string(), key});
    }
    return identities;
}

const Identity* FindIdentity(const std::vector<Identity>& identities, std::string_view nameOrKey) {
    for (const Identity& identity : identities) {
        if (EqualsIgnoringCase(identity.key, nameOrKey)) return &identity;
    }
    for (const Identity& identity : identities) {
        if (identity.userName == nameOrKey) return &identity;
    }
    return nullptr;
}

}  // namespace quillet
