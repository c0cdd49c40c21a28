#include "password_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tessel::apps {

const char kPasswordOptionsHelp[] =
    "  --password PASSWORD  password (visible to other users in ps: prefer the next two)\n"
    "  --password-file FILE read the password from the first line of FILE, which only\n"
    "                       its owner may read (chmod 600)\n"
    "  TESSEL_PASSWORD      environment variable: the password when neither option is\n"
    "                       given (the options win over it; both options are refused)\n";

std::string ReadPasswordFile(const std::string& path, std::string& password) {
  // Opened first and checked through the descriptor, so that the file checked is the one read.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "cannot read password file '" + path + "': " + std::strerror(errno);
  struct stat st {};
  std::string error;
  if (fstat(fd, &st) != 0) {
    error = "cannot read password file '" + path + "': " + std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    error = "password file '" + path + "' is not a regular file";
  } else if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    error = "password file '" + path +
            "' may be read or changed by other users; make it readable by its owner only "
            "(chmod 600)";
  }
  std::string line;
  char buffer[256];
  while (error.empty()) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = "cannot read password file '" + path + "': " + std::strerror(errno);
    if (got <= 0) break;
    const auto* newline = static_cast<const char*>(std::memchr(buffer, '\n', got));
    line.append(buffer, newline != nullptr ? newline - buffer : got);
    if (newline != nullptr) break;
  }
  close(fd);
  if (!error.empty()) return error;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return "password file '" + path + "' has an empty first line";
  password = std::move(line);
  return {};
}

std::string ChoosePassword(const std::optional<std::string>& option,
                           const std::optional<std::string>& file,
                           std::optional<std::string>& password) {
  if (option && file) return "--password and --password-file exclude each other";
  if (file) {
    std::string read;
    std::string error = ReadPasswordFile(*file, read);
    if (!error.empty()) return error;
    password = std::move(read);
  } else if (option) {
    password = *option;
  } else if (const char* env = std::getenv("TESSEL_PASSWORD"); env != nullptr && *env != '\0') {
    password = env;
  }
  return {};
}

}  // namespace tessel::apps
