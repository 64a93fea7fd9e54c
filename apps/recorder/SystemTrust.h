#pragma once
// TLS to the broker trusting the system's CA store (--tls without --cafile or --capath), one
// file per system. Linux: OpenSSL's default places (Debian's /etc/ssl/certs), through
// libmosquitto's own option. Windows: OpenSSL has no such place there, so the certificates of
// the system's "ROOT" store are put into a TLS context of the recorder's own, set up as
// libmosquitto sets up its own: TLS 1.2 or newer, the broker's certificate checked against
// them, and its name (or address) against the one connected to, unless insecure.

#include <string>

struct mosquitto;

namespace kelta::record {

// For a client not yet connected: a libmosquitto result (MOSQ_ERR_SUCCESS or the failure).
int TrustSystemStore(mosquitto* client, const std::string& host, bool insecure);

}  // namespace kelta::record
