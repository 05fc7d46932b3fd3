#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

namespace quillet::imap {

// Checks the certificate chain a server presented (DER, the server's own first): it must lead to
// a certificate of the system's trust store, or, with `caFile` (PEM), to one of that file's only;
// it must be valid now; and it must be issued for `host` (a name or an IP address). There is no
// way to skip the check. Fails with kAccessDenied and GnuTLS's account of what is wrong, or with
// kBadInput for a CA file that holds no certificate.
Status CheckServerCertificate(const std::vector<std::string>& chain, const std::string& host,
                              const std::string& caFile);

}  // namespace quillet::imap
