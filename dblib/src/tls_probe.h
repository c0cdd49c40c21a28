// A look at a server's certificate before FreeTDS logs in, with the checks a server's
// encryption setting asks for: FreeTDS reports a failed check only as a failed
// connection, so the reason would be lost.
#ifndef TESSEL_DBLIB_TLS_PROBE_H
#define TESSEL_DBLIB_TLS_PROBE_H

#include <string>

#include "netlib_conf.h"

namespace tessel::dblib {

// Connects to host:port, asks for encryption in PRELOGIN and runs the TLS handshake in
// PRELOGIN packets, checking the certificate against the setting's CA file (the system's
// CAs without one) and host name (`host` without one). Returns "" when the certificate
// passes, otherwise the reason.
std::string ProbeCertificate(const std::string& host, const std::string& port,
                             const EncryptionSetting& setting);

}  // namespace tessel::dblib

#endif
