// FreeTDS takes encryption settings (the level, a CA file, the host name its certificate
// must carry) from freetds.conf only. To apply a server's encryption setting, dbopen gives
// FreeTDS a private copy of the configuration it would read, with one more section for
// that server.
#ifndef TESSEL_DBLIB_FTDS_CONF_H
#define TESSEL_DBLIB_FTDS_CONF_H

#include <string>

#include "netlib_conf.h"

namespace tessel::dblib {

// The section name dbopen passes to FreeTDS for a server with an encryption setting.
constexpr const char* kEncryptedSection = "tessel_encrypted_server";

// Where a FreeTDS server name leads: "host:port", "host\instance", a section of `conf`
// (its host, port and instance lines) or a bare host name.
struct ServerAddress {
  std::string host;
  std::string port;      // empty: FreeTDS's default
  std::string instance;  // empty: none
};
ServerAddress ResolveServerName(const std::string& conf, const std::string& server);

// `conf` (the configuration FreeTDS would read) with a section kEncryptedSection that
// reaches `server` with `setting` applied. The host is the setting's host name when it
// has one: FreeTDS checks the certificate against the name it connects to.
std::string ConfWithEncryption(const std::string& conf, const std::string& server,
                               const EncryptionSetting& setting);

// The text of the configuration FreeTDS reads: $FREETDSCONF, else ~/.freetds.conf, else
// the system's freetds.conf; empty when there is none.
std::string EffectiveFreeTdsConf();

}  // namespace tessel::dblib

#endif
