#include "archive/zip_error_text.h"

#include <zip.h>

namespace quillet::archive {

std::string ZipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

}  // namespace quillet::archive
