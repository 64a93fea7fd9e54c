// The system's CA store on Linux: libmosquitto has OpenSSL read its default places.
#include <mosquitto.h>

#include "apps/recorder/SystemTrust.h"

namespace kelta::record {

int TrustSystemStore(mosquitto* client, const std::string&, bool) {
  // The name check and insecure mode are libmosquitto's, set with its other TLS options.
  return mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
}

}  // namespace kelta::record
