// The client network library setting: the connection component records the library it
// chose in a small text file (see <ntwdblib.h>); dbinit and dbopen read it here.
#ifndef TESSEL_DBLIB_NETLIB_CONF_H
#define TESSEL_DBLIB_NETLIB_CONF_H

#include <optional>
#include <string>

namespace tessel::dblib {

// The path of the setting file: $TESSEL_DBLIB_CONF if set and not empty, else
// /etc/tessel/dblib.conf.
std::string NetLibConfPath();

// The DSQUERY value of the ConnectTo section, upper-cased, when it is one of DBNMPNTW,
// DBMSRPCN, DBMSSPXN, DBMSSOCN; DBMSSOCN when the file, the section or a known value is
// missing.
std::string ConfiguredNetLibrary();

// Parses the text of a setting file (same rules as ConfiguredNetLibrary).
std::string NetLibraryFromText(const std::string& text);

// What a server's connections encrypt and check, from its section of the setting file
// (see <ntwdblib.h>). An empty field was not given.
struct EncryptionSetting {
  std::string mode;      // "off", "request", "require" or "strict"
  std::string caFile;    // the CA certificates (PEM) the server's certificate must chain to
  std::string hostName;  // the name the certificate must carry
};

// The setting for `server` (the name given to dbopen, compared without case), when the
// file has a section for it.
std::optional<EncryptionSetting> EncryptionSettingFromText(const std::string& text,
                                                           const std::string& server);
std::optional<EncryptionSetting> ConfiguredEncryption(const std::string& server);

}  // namespace tessel::dblib

#endif
