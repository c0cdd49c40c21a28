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
constexpr const char* kEncryptionSection =
    "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\Encryption\\";
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

namespace {

std::string ReadConf() {
  std::ifstream file(NetLibConfPath());
  std::ostringstream text;
  if (file) text << file.rdbuf();
  return text.str();
}

}  // namespace

std::string ConfiguredNetLibrary() {
  return NetLibraryFromText(ReadConf());
}

std::optional<EncryptionSetting> EncryptionSettingFromText(const std::string& text,
                                                           const std::string& server) {
  const std::string wanted = Upper(std::string(kEncryptionSection) + server + "]");
  std::istringstream lines(text);
  std::string line;
  std::optional<EncryptionSetting> found;
  bool in_section = false;
  while (std::getline(lines, line)) {
    line = Trim(line);
    if (!line.empty() && line.front() == '[') {
      in_section = Upper(line) == wanted;
      if (in_section && !found) found.emplace();
      continue;
    }
    auto eq = line.find('=');
    if (!in_section || eq == std::string::npos) continue;
    std::string key = Upper(Trim(line.substr(0, eq)));
    std::string value = Trim(line.substr(eq + 1));
    if (key == "ENCRYPT") {
      std::transform(value.begin(), value.end(), value.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      found->mode = value;
    } else if (key == "CAFILE") {
      found->caFile = value;
    } else if (key == "HOSTNAME") {
      found->hostName = value;
    }
  }
  return found;
}

std::optional<EncryptionSetting> ConfiguredEncryption(const std::string& server) {
  return EncryptionSettingFromText(ReadConf(), server);
}

}  // namespace tessel::dblib
