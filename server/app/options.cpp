#include "options.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace tessel::sqld::app {

namespace {

std::string trim(std::string_view s) {
  auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  auto e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

bool parseNumber(std::string_view text, long min, long max, long& out) {
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && p == text.data() + text.size() && out >= min && out <= max;
}

// A file that holds a password must be a regular file readable by its owner
// only, or the password is not a secret any more; returns why not, or "".
std::string checkSecretFile(const std::string& path, const std::string& what) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    return "cannot read " + what + " '" + path + "': " + std::strerror(errno);
  }
  if (!S_ISREG(st.st_mode)) return what + " '" + path + "' is not a regular file";
  if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    return what + " '" + path +
           "' may be read by other users; make it readable by its owner only (chmod 600)";
  }
  return {};
}

// The sa password from the first line of a file. A service keeps its password
// there rather than on a command line every user can list.
std::string readPasswordFile(const std::string& path, Options& o) {
  if (std::string error = checkSecretFile(path, "password file"); !error.empty()) return error;
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) {
    return "cannot read a password from '" + path + "' (the first line holds it)";
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return "password file '" + path + "' has an empty first line";
  o.saPassword = line;
  return {};
}

// Applies one setting by its long option name; returns an error or "".
std::string apply(const std::string& key, const std::string& value, Options& o) {
  long n = 0;
  if (key == "port") {
    if (!parseNumber(value, 0, 65535, n)) return "--port needs 0..65535, not '" + value + "'";
    o.port = static_cast<std::uint16_t>(n);
  } else if (key == "password") {
    if (value.empty()) return "--password must not be empty";
    o.saPassword = value;
  } else if (key == "password-file") {
    if (value.empty()) return "--password-file needs a file name";
    return readPasswordFile(value, o);
  } else if (key == "login") {
    // USER:PASSWORD:DB1,DB2 gives the databases; USER:PASSWORD only the
    // default database tessel. A password holding ':' needs the third part.
    auto colon = value.find(':');
    auto last = value.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == value.size()) {
      return "--login needs user:password[:databases], not '" + value + "'";
    }
    Options::Login login{value.substr(0, colon), value.substr(colon + 1), {"tessel"}};
    if (last != colon) {
      login.password = value.substr(colon + 1, last - colon - 1);
      login.databases.clear();
      std::stringstream list(value.substr(last + 1));
      for (std::string name; std::getline(list, name, ',');) {
        name = trim(name);
        if (!name.empty()) login.databases.push_back(name);
      }
      if (login.password.empty() || login.databases.empty())
        return "--login needs user:password[:databases], not '" + value + "'";
    }
    o.logins.push_back(std::move(login));
  } else if (key == "data") {
    if (value.empty()) return "--data needs a directory";
    o.dataDirectory = value;
  } else if (key == "idle-timeout") {
    if (!parseNumber(value, 0, 86400 * 365, n)) {
      return "--idle-timeout needs a number of seconds, not '" + value + "'";
    }
    o.idleTimeoutSeconds = static_cast<int>(n);
  } else if (key == "tls-cert" || key == "tls-key") {
    if (value.empty()) return "--" + key + " needs a file name";
    (key == "tls-cert" ? o.tlsCert : o.tlsKey) = value;
  } else if (key == "encrypt") {
    if (value != "off" && value != "on" && value != "required" && value != "strict") {
      return "--encrypt needs off, on, required or strict, not '" + value + "'";
    }
    o.encrypt = value;
  } else {
    return "unknown setting '" + key + "'";
  }
  return {};
}

std::string readConfig(const std::string& path, Options& o) {
  std::ifstream in(path);
  if (!in) return "cannot read configuration file '" + path + "'";
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::string t = trim(line);
    if (t.empty() || t[0] == '#') continue;
    auto eq = t.find('=');
    std::string key = trim(t.substr(0, eq));
    if (eq == std::string::npos) {
      if (key == "memory") {
        o.memory = true;
        continue;
      }
      if (key == "quiet") {
        o.quiet = true;
        continue;
      }
      return path + ":" + std::to_string(number) + ": expected key = value, got '" + t + "'";
    }
    // A password in the file makes it a secret like a password file.
    if (key == "password" || key == "login") {
      std::string error = checkSecretFile(path, "configuration file");
      if (!error.empty()) return error + " (line " + std::to_string(number) + " holds a password)";
    }
    std::string error = apply(key, trim(t.substr(eq + 1)), o);
    if (!error.empty()) return path + ":" + std::to_string(number) + ": " + error;
  }
  return {};
}

}  // namespace

std::string usage() {
  return "Usage: tessel-sqld [options]\n"
         "A SQL Server (TDS 7.1-7.4) peer on 127.0.0.1, storing data in SQLite.\n"
         "\n"
         "  --port N            port to listen on (default 1433; 0 picks a free port)\n"
         "  --password P        password of the login 'sa' (or TESSEL_SQLD_PASSWORD)\n"
         "  --password-file F   read the password of 'sa' from the first line of F,\n"
         "                      a file readable by its owner only\n"
         "  --login USER:PASS[:DB1,DB2]\n"
         "                      another SQL login (repeatable): a user of the databases\n"
         "                      DB1,DB2 (the first its default; tessel when none is\n"
         "                      given) that may read master and use tempdb, and no more;\n"
         "                      a PASS holding ':' needs the databases part\n"
         "  --config FILE       read settings from FILE: lines 'key = value' with the\n"
         "                      keys port, password, password-file, login, data,\n"
         "                      idle-timeout, tls-cert, tls-key, encrypt, and the\n"
         "                      single words memory and quiet;\n"
         "                      '#' starts a comment; a FILE holding a password or\n"
         "                      login must be readable by its owner only\n"
         "  --data DIR          keep databases as files in DIR\n"
         "  --memory            keep databases in memory (the default)\n"
         "  --idle-timeout S    drop a client idle for S seconds (default 0: never)\n"
         "  --tls-cert FILE     the server's certificate (chain) in PEM for encryption\n"
         "  --tls-key FILE      its private key in PEM; without these two a self-signed\n"
         "                      certificate is made at start (its fingerprint goes to\n"
         "                      standard error)\n"
         "  --encrypt MODE      off: encryption on request, logins always encrypted\n"
         "                      (the default); on: all traffic of clients that can\n"
         "                      encrypt; required: clients that cannot are refused;\n"
         "                      strict: TDS 8.0 only (TLS before TDS)\n"
         "  --quiet             no log of sessions and failures on standard error\n"
         "  --help              show this text\n"
         "\n"
         "The first line on standard output is 'tessel-sqld listening on 127.0.0.1:PORT'.\n"
         "SIGTERM or SIGINT stops the server cleanly. There is no built-in password.\n";
}

std::string parseOptions(int argc, const char* const* argv, const char* envPassword, Options& o) {
  if (envPassword && *envPassword) o.saPassword = envPassword;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return {};
    }
    if (arg == "--memory") {
      o.memory = true;
      continue;
    }
    if (arg == "--quiet") {
      o.quiet = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) return "unexpected argument '" + arg + "'";
    std::string key = arg.substr(2);
    std::string value;
    if (auto eq = key.find('='); eq != std::string::npos) {
      value = key.substr(eq + 1);
      key = key.substr(0, eq);
    } else {
      if (i + 1 >= argc) return arg + " needs a value";
      value = argv[++i];
    }
    std::string error = key == "config" ? readConfig(value, o) : apply(key, value, o);
    if (!error.empty()) return error;
  }
  if (o.memory && o.dataDirectory) return "--memory and --data exclude each other";
  if (o.tlsCert.has_value() != o.tlsKey.has_value()) return "--tls-cert and --tls-key go together";
  bool saListed = false;
  for (const auto& login : o.logins) saListed = saListed || login.user == "sa";
  if (!o.saPassword && !saListed) {
    return "no password for the login 'sa': give --password, --password-file, "
           "TESSEL_SQLD_PASSWORD or --login sa:PASSWORD (there is no built-in password)";
  }
  return {};
}

}  // namespace tessel::sqld::app
