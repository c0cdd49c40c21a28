#pragma once

// The SQL logins the server accepts. Filled before the listener starts, read
// by every session afterwards without locking (no writes after start).

#include <map>
#include <string>
#include <string_view>

namespace tessel::sqld::tds {

class Credentials {
 public:
  // Replaces the password of a login already present.
  void add(std::string_view user, std::string_view password);
  // User names compare without case, as under SQL_Latin1_General_CP1_CI_AS;
  // passwords compare exactly.
  bool check(std::string_view user, std::string_view password) const;
  bool empty() const { return logins_.empty(); }

 private:
  std::map<std::string, std::string> logins_;  // lower-case user -> password
};

}  // namespace tessel::sqld::tds
