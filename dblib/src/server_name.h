// Server names as Microsoft's clients write them, turned into what FreeTDS resolves.
#ifndef TESSEL_DBLIB_SERVER_NAME_H
#define TESSEL_DBLIB_SERVER_NAME_H

#include <string>

namespace tessel::dblib {

// "host,port" becomes "host:port" (FreeTDS's spelling); a "tcp:" prefix is dropped; an
// empty name, "." and "(local)" mean this machine ("localhost"). Anything else (a
// freetds.conf entry, "host:port", "host\instance") passes unchanged.
std::string FreeTdsServerName(const char* name);

}  // namespace tessel::dblib

#endif
