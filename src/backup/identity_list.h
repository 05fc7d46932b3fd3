#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "registry/mod_reg.h"

namespace quillet {

// One Outlook Express identity: the user name shown in the lists and the identity key, the
// subkey name under HKEY_CURRENT_USER\Identities.
struct Identity {
    std::string userName;
    std::string key;
};

inline constexpr char kIdentitiesKey[] = "HKEY_CURRENT_USER\\Identities";

// True when the text is empty after removing NUL characters and trimming blanks.
bool EmptyString(std::string_view text);

// The identities in registry enumeration order; subkey names that EmptyString calls empty are
// skipped. The user name is the identity's `Username` value (empty when it has none).
std::vector<Identity> ListIdentities(registry::ModReg& modReg);

// The identity whose key or user name is `nameOrKey` (the key wins; case is ignored for keys,
// not for user names); null when there is none.
const Identity* FindIdentity(const std::vector<Identity>& identities, std::string_view nameOrKey);

}  // namespace quillet
