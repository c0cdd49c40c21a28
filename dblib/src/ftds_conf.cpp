#include "ftds_conf.h"

#include <strings.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tessel::dblib {
namespace {

std::string Trim(const std::string& text) {
  auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

ServerAddress ResolveServerName(const std::string& conf, const std::string& server) {
  ServerAddress a;
  // A section of that name wins, as it does in FreeTDS.
  std::istringstream lines(conf);
  std::string line;
  bool inSection = false, found = false;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (!line.empty() && line.front() == '[') {
      inSection = strcasecmp(line.c_str(), ("[" + server + "]").c_str()) == 0;
      found = found || inSection;
      continue;
    }
    auto eq = line.find('=');
    if (!inSection || eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
    if (strcasecmp(key.c_str(), "host") == 0) a.host = value;
    if (strcasecmp(key.c_str(), "port") == 0) a.port = value;
    if (strcasecmp(key.c_str(), "instance") == 0) a.instance = value;
  }
  if (found) return a;
  a.host = server;
  if (auto colon = server.rfind(':'); colon != std::string::npos) {
    a.host = server.substr(0, colon);
    a.port = server.substr(colon + 1);
  } else if (auto slash = server.find('\\'); slash != std::string::npos) {
    a.host = server.substr(0, slash);
    a.instance = server.substr(slash + 1);
  }
  return a;
}

std::string ConfWithEncryption(const std::string& conf, const std::string& server,
                               const EncryptionSetting& setting) {
  ServerAddress a = ResolveServerName(conf, server);
  std::string text = conf;
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += std::string("[") + kEncryptedSection + "]\n";
  text += "\thost = " + (setting.hostName.empty() ? a.host : setting.hostName) + "\n";
  if (!a.port.empty()) text += "\tport = " + a.port + "\n";
  if (!a.instance.empty()) text += "\tinstance = " + a.instance + "\n";
  if (!setting.mode.empty()) text += "\tencryption = " + setting.mode + "\n";
  if (!setting.caFile.empty()) text += "\tca file = " + setting.caFile + "\n";
  if (!setting.caFile.empty() || !setting.hostName.empty()) {
    text += "\tcheck certificate hostname = yes\n";
  }
  return text;
}

std::string EffectiveFreeTdsConf() {
  if (const char* env = std::getenv("FREETDSCONF"); env != nullptr && *env != '\0') {
    return ReadFile(env);
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    std::string text = ReadFile(std::string(home) + "/.freetds.conf");
    if (!text.empty()) return text;
  }
  return ReadFile("/etc/freetds/freetds.conf");
}

}  // namespace tessel::dblib
