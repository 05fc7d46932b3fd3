#include "archive/crypto_failure.h"

#include <openssl/err.h>

namespace quillet::archive {

Status CryptoLibraryFailure(const std::string& what) {
    std::string reason = "The encryption library cannot " + what;
    if (const unsigned long code = ERR_get_error(); code != 0) {
        char text[256];
        ERR_error_string_n(code, text, sizeof(text));
        reason += std::string(": ") + text;
    }
    ERR_clear_error();
    return Status::Error(reason);
}

}  // namespace quillet::archive
