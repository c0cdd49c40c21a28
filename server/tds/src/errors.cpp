#include "sqld/tds/errors.h"

#include <array>

namespace tessel::sqld::tds {

namespace {

struct Entry {
  ListenerMessage id;
  std::int32_t number;
  std::uint8_t severity;
  std::uint8_t state;
  const char* format;
};

constexpr std::array kTable = {
    Entry{ListenerMessage::LoginFailed, 18456, 14, 1, "Login failed for user '%s'."},
    Entry{ListenerMessage::UntrustedDomain, 18452, 14, 1,
          "Login failed. The login is from an untrusted domain and cannot be used with "
          "Integrated authentication."},
    Entry{ListenerMessage::ChangedDatabase, 5701, 0, 2, "Changed database context to '%s'."},
    Entry{ListenerMessage::ChangedLanguage, 5703, 0, 1, "Changed language setting to %s."},
    Entry{ListenerMessage::StreamIncorrect, 4002, 16, 1,
          "The incoming tabular data stream (TDS) protocol stream is incorrect. %s"},
    Entry{ListenerMessage::TooManyConnections, 17809, 20, 1,
          "Could not connect because the maximum number of '%s' user connections has already "
          "been reached. The system administrator can use sp_configure to increase the maximum "
          "value. The connection has been closed."},
    Entry{ListenerMessage::RequestFailed, 8630, 16, 1,
          "Internal Query Processor Error: The query processor encountered an unexpected error "
          "during execution (%s)."},
    Entry{ListenerMessage::EncryptionRequired, 17835, 20, 1,
          "Encryption is required to connect to this server but the client library does not "
          "support encryption; the connection has been closed. Please upgrade your client "
          "library."},
};

}  // namespace

Message listenerMessage(ListenerMessage which, std::string_view argument) {
  for (const Entry& e : kTable) {
    if (e.id != which) continue;
    Message m;
    m.number = e.number;
    m.severity = e.severity;
    m.state = e.state;
    std::string_view format = e.format;
    if (auto at = format.find("%s"); at != std::string_view::npos) {
      m.text.append(format.substr(0, at)).append(argument).append(format.substr(at + 2));
    } else {
      m.text = format;
    }
    return m;
  }
  return Message{0, 1, 16, std::string(argument), {}, 1};
}

}  // namespace tessel::sqld::tds
