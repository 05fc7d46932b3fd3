#pragma once

#include <string>

#include "platform/status.h"

namespace quillet::archive {

// A failure of OpenSSL's libcrypto: "The encryption library cannot <what>: <its reason>". Empties
// the library's error queue of this thread, so the next failure reports its own reason.
Status CryptoLibraryFailure(const std::string& what);

}  // namespace quillet::archive
