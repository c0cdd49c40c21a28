// The client network library setting. DB-Library on this platform reads its
// default network library from a small settings file (the counterpart of the
// client configuration in the registry): a section line naming the
// configuration key, then "DSQUERY=<name>". The file is machine-wide at
// /etc/tessel/dblib.conf; TESSEL_DBLIB_CONF names another file for tests
// and for users who cannot write there. Nothing is ever reported: a server
// whose setting cannot be written connects with whatever is configured.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "connection/sqlserver_host.h"
#include "runtime/SQLServer.h"

namespace tessel {
namespace {

constexpr const char* kSettingsPath = "/etc/tessel/dblib.conf";
constexpr const char* kSettingsEnv = "TESSEL_DBLIB_CONF";
constexpr const char* kSection = "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\ConnectTo\\]";
constexpr const char* kValueName = "DSQUERY";

const char* NetLibName(TNetLibrary library) {
  switch (library) {
    case nlNamedPipes:
      return "DBNMPNTW";
    case nlMultiProtocol:
      return "DBMSRPCN";
    case nlIPX:
      return "DBMSSPXN";
    default:
      return "DBMSSOCN";
  }
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool IsSectionLine(const std::string& line) {
  return !line.empty() && line[0] == '[';
}

// The file's lines with DSQUERY set in our section, other lines kept.
std::string WithValue(std::vector<std::string> lines, const std::string& value) {
  const std::string entry = std::string(kValueName) + "=" + value;
  const std::string prefix = std::string(kValueName) + "=";
  std::size_t i = 0;
  while (i < lines.size() && lines[i] != kSection) ++i;
  if (i == lines.size()) {
    lines.push_back(kSection);
    lines.push_back(entry);
  } else {
    std::size_t j = i + 1;
    for (; j < lines.size() && !IsSectionLine(lines[j]); ++j) {
      if (lines[j].rfind(prefix, 0) == 0) break;
    }
    if (j < lines.size() && !IsSectionLine(lines[j])) {
      lines[j] = entry;
    } else {
      lines.insert(lines.begin() + static_cast<long>(i) + 1, entry);
    }
  }
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string detail::NetLibSettingsPath() {
  const char* path = std::getenv(kSettingsEnv);
  return (path != nullptr && *path != '\0') ? path : kSettingsPath;
}

bool detail::WriteNetLibSetting(const std::string& path, const std::string& value) {
  const auto slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    ::mkdir(path.substr(0, slash).c_str(), 0755);  // the key is created when missing
  }
  const std::string text = WithValue(ReadLines(path), value);
  // Written beside the file and renamed over it, so a reader never sees half
  // a file and a link planted under the temporary name is not followed.
  const std::string temp = path + ".tmp." + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

bool TSQLServer::ChangeNetLib() {
  try {
    return detail::WriteNetLibSetting(detail::NetLibSettingsPath(), NetLibName(FNetLibrary));
  } catch (...) {
    return false;
  }
}

}  // namespace tessel
