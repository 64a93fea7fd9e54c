// The system's CA store on Windows: the certificates of the "ROOT" store (the current user's,
// which holds the machine's) in a TLS context of the recorder's own, handed to libmosquitto.
#include <windows.h>
// After windows.h, which they need.
#include <mosquitto.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <wincrypt.h>

#include "apps/recorder/SystemTrust.h"

namespace kelta::record {

int TrustSystemStore(mosquitto* client, const std::string& host, bool insecure) {
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  if (context == nullptr) return MOSQ_ERR_TLS;
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  X509_STORE* trusted = SSL_CTX_get_cert_store(context);
  if (const HCERTSTORE store = ::CertOpenSystemStoreW(0, L"ROOT"); store != nullptr) {
    PCCERT_CONTEXT certificate = nullptr;
    while ((certificate = ::CertEnumCertificatesInStore(store, certificate)) != nullptr) {
      const unsigned char* der = certificate->pbCertEncoded;
      if (X509* x509 = d2i_X509(nullptr, &der, static_cast<long>(certificate->cbCertEncoded))) {
        X509_STORE_add_cert(trusted, x509);  // a certificate the store holds twice is no fault
        X509_free(x509);
      }
    }
    ::CertCloseStore(store, 0);
  }
  // What the store held that OpenSSL could not take is not the connection's error.
  ERR_clear_error();
  if (!insecure) {
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
    X509_VERIFY_PARAM* check = SSL_CTX_get0_param(context);
    // An address given is checked as one; anything else as a host name.
    if (X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str()) != 1 &&
        X509_VERIFY_PARAM_set1_host(check, host.c_str(), host.size()) != 1) {
      SSL_CTX_free(context);
      return MOSQ_ERR_TLS;
    }
  }
  // Used as it is: the library's own set-up would want a CA file or folder.
  int rc = mosquitto_int_option(client, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
  if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_void_option(client, MOSQ_OPT_SSL_CTX, context);
  SSL_CTX_free(context);  // the client holds a reference of its own
  return rc;
}

}  // namespace kelta::record
