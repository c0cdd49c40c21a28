#pragma once

// tessel-sqld's settings, read from the command line, a configuration file
// and TESSEL_SQLD_PASSWORD. Parsing never exits: errors come back as text.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessel::sqld::app {

struct Options {
  std::uint16_t port = 1433;
  std::optional<std::string> saPassword;
  // A login other than sa: a database user of the databases it is given.
  struct Login {
    std::string user;
    std::string password;
    std::vector<std::string> databases;  // its default first
    bool operator==(const Login&) const = default;
  };
  std::vector<Login> logins;
  std::optional<std::string> dataDirectory;
  bool memory = false;
  int idleTimeoutSeconds = 0;
  bool quiet = false;
  bool help = false;
  // TLS: a certificate and key in PEM files, or none for a self-signed one
  // made at start; and what clients are asked for ("off", "on", "required",
  // "strict").
  std::optional<std::string> tlsCert;
  std::optional<std::string> tlsKey;
  std::string encrypt = "off";
};

// Fills `out`; returns an error message, empty when the arguments are good.
// `envPassword` is TESSEL_SQLD_PASSWORD when set.
std::string parseOptions(int argc, const char* const* argv, const char* envPassword, Options& out);
std::string usage();

}  // namespace tessel::sqld::app
