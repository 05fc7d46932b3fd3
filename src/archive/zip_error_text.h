#pragma once

#include <string>

namespace quillet::archive {

// libzip's text for one of its error codes (ZIP_ER_...), as the reason of a failed call.
std::string ZipErrorText(int code);

}  // namespace quillet::archive
