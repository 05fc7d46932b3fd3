#include "imap/server_certificate.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <memory>

namespace quillet::imap {

namespace {

struct TrustListFree {
    void operator()(gnutls_x509_trust_list_st* list) const {
        gnutls_x509_trust_list_deinit(list, 1);
    }
};

// The certificates of one chain, freed together.
class Chain {
  public:
    ~Chain() {
        for (gnutls_x509_crt_t certificate : m_certificates) gnutls_x509_crt_deinit(certificate);
    }
    bool add(const std::string& der) {
        gnutls_x509_crt_t certificate = nullptr;
        if (gnutls_x509_crt_init(&certificate) < 0) return false;
        gnutls_datum_t data{reinterpret_cast<unsigned char*>(const_cast<char*>(der.data())),
                            static_cast<unsigned>(der.size())};
        if (gnutls_x509_crt_import(certificate, &data, GNUTLS_X509_FMT_DER) < 0) {
            gnutls_x509_crt_deinit(certificate);
            return false;
        }
        m_certificates.push_back(certificate);
        return true;
    }
    gnutls_x509_crt_t* data() { return m_certificates.data(); }
    unsigned size() const { return static_cast<unsigned>(m_certificates.size()); }

  private:
    std::vector<gnutls_x509_crt_t> m_certificates;
};

Status Refused(const std::string& host, const std::string& why) {
    return Status::Error("The certificate of " + host + " is refused: " + why,
                         ErrorKind::kAccessDenied);
}

}  // namespace

Status CheckServerCertificate(const std::vector<std::string>& chain, const std::string& host,
                              const std::string& caFile) {
    gnutls_x509_trust_list_t raw = nullptr;
    if (gnutls_x509_trust_list_init(&raw, 0) < 0) return Refused(host, "GnuTLS failed");
    std::unique_ptr<gnutls_x509_trust_list_st, TrustListFree> trust(raw);
    const int added = caFile.empty() ? gnutls_x509_trust_list_add_system_trust(raw, 0, 0)
                                     : gnutls_x509_trust_list_add_trust_file(
                                           raw, caFile.c_str(), nullptr, GNUTLS_X509_FMT_PEM, 0, 0);
    if (added <= 0) {
        return Status::Error(caFile.empty() ? "The system's trust store holds no certificate"
                                            : caFile + " holds no PEM certificate",
                             ErrorKind::kBadInput);
    }
    Chain certificates;
    for (const std::string& der : chain) {
        if (!certificates.add(der)) return Refused(host, "it cannot be read");
    }
    if (certificates.size() == 0) return Refused(host, "the server presented none");
    gnutls_typed_vdata_st hostName{};
    hostName.type = GNUTLS_DT_DNS_HOSTNAME;
    hostName.data = reinterpret_cast<unsigned char*>(const_cast<char*>(host.c_str()));
    hostName.size = 0;
    unsigned verdict = 0;
    if (gnutls_x509_trust_list_verify_crt2(raw, certificates.data(), certificates.size(), &hostName,
                                           1, 0, &verdict, nullptr) < 0) {
        return Refused(host, "it cannot be checked");
    }
    if (verdict == 0) return Status::Ok();
    gnutls_datum_t text{};
    std::string why = "it is not trusted";
    if (gnutls_certificate_verification_status_print(verdict, GNUTLS_CRT_X509, &text, 0) >= 0) {
        why.assign(reinterpret_cast<const char*>(text.data), text.size);
        gnutls_free(text.data);
    }
    return Refused(host, why);
}

}  // namespace quillet::imap
