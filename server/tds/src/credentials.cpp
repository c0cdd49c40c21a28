#include "sqld/tds/credentials.h"

#include <cctype>

namespace tessel::sqld::tds {

namespace {

std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

void Credentials::add(std::string_view user, std::string_view password) {
  logins_[folded(user)] = std::string(password);
}

bool Credentials::check(std::string_view user, std::string_view password) const {
  auto it = logins_.find(folded(user));
  if (it == logins_.end()) return false;
  // Compare every byte so the time taken does not tell how much matched.
  const std::string& want = it->second;
  std::size_t diff = want.size() ^ password.size();
  for (std::size_t i = 0; i < want.size(); ++i) {
    diff |= static_cast<unsigned char>(want[i]) ^
            static_cast<unsigned char>(i < password.size() ? password[i] : 0);
  }
  return diff == 0;
}

}  // namespace tessel::sqld::tds
