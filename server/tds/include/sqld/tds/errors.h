#pragma once

// Every error and informational message the listener itself sends, with SQL
// Server's number, severity, state and text, in one table. Messages from the
// engine do not pass through here.

#include <cstdint>
#include <string>
#include <string_view>

#include "sqld/engine.h"

namespace tessel::sqld::tds {

enum class ListenerMessage {
  LoginFailed,         // 18456: wrong user or password, or no database
  UntrustedDomain,     // 18452: integrated (trusted) login
  ChangedDatabase,     // 5701 at login
  ChangedLanguage,     // 5703 at login
  StreamIncorrect,     // 4002: malformed or unknown request
  TooManyConnections,  // 17809: the session limit is reached
  RequestFailed,       // 8630: the engine failed unexpectedly
  EncryptionRequired,  // 17835: a client that cannot encrypt, when the server requires it
};

// The message with its "%s" replaced by `argument`.
Message listenerMessage(ListenerMessage which, std::string_view argument = {});

}  // namespace tessel::sqld::tds
