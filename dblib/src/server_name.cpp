#include "server_name.h"

#include <strings.h>
#include <algorithm>
#include <cctype>

namespace tessel::dblib {

std::string FreeTdsServerName(const char* name) {
  std::string server = name != nullptr ? name : "";
  if (server.size() > 4 && strncasecmp(server.c_str(), "tcp:", 4) == 0) server.erase(0, 4);
  if (server.empty() || server == "." || strcasecmp(server.c_str(), "(local)") == 0) {
    return "localhost";
  }
  auto comma = server.rfind(',');
  if (comma != std::string::npos && comma > 0 && comma + 1 < server.size() &&
      std::all_of(server.begin() + comma + 1, server.end(),
                  [](unsigned char c) { return std::isdigit(c) != 0; })) {
    server[comma] = ':';
  }
  return server;
}

}  // namespace tessel::dblib
