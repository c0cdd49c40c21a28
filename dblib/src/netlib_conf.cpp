#include "netlib_conf.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tessel::dblib {
namespace {

constexpr const char* kDefaultPath = "/etc/tessel/dblib.conf";
constexpr const char* kSection = "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\ConnectTo\\]";
constexpr const char* kTcpIp = "DBMSSOCN";
constexpr const char* kKnown[] = {"DBNMPNTW", "DBMSRPCN", "DBMSSPXN", "DBMSSOCN"};

std::string Trim(const std::string& text) {
  auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

std::string NetLibConfPath() {
  const char* env = std::getenv("TESSEL_DBLIB_CONF");
  return env != nullptr && *env != '\0' ? env : kDefaultPath;
}

std::string NetLibraryFromText(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  bool in_section = false;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (!line.empty() && line.front() == '[') {
      in_section = Upper(line) == Upper(kSection);
      continue;
    }
    auto eq = line.find('=');
    if (!in_section || eq == std::string::npos) continue;
    if (Upper(Trim(line.substr(0, eq))) != "DSQUERY") continue;
    std::string value = Upper(Trim(line.substr(eq + 1)));
    for (const char* known : kKnown) {
      if (value == known) return value;
    }
  }
  return kTcpIp;
}

std::string ConfiguredNetLibrary() {
  std::ifstream file(NetLibConfPath());
  if (!file) return kTcpIp;
  std::ostringstream text;
  text << file.rdbuf();
  return NetLibraryFromText(text.str());
}

}  // namespace tessel::dblib
