#pragma once

// The two messages that open a connection: PRELOGIN (answered without
// MARS, with the encryption both sides settle on) and LOGIN7 (credentials, version, packet size,
// initial database, option flags). Pure parsing and building, any thread.

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "sqld/tds/tls_context.h"

namespace tessel::sqld::tds {

struct PreLogin {
  std::array<std::uint8_t, 6> clientVersion{};
  std::uint8_t encryption = 0;  // what the client asked for
  std::string instance;
  bool mars = false;
};

PreLogin parsePreLogin(std::span<const std::uint8_t> payload);
// The values of the PRELOGIN encryption option.
namespace prelogin_encrypt {
constexpr std::uint8_t Off = 0x00;  // available, off: the login alone is encrypted
constexpr std::uint8_t On = 0x01;
constexpr std::uint8_t NotSupported = 0x02;
constexpr std::uint8_t Required = 0x03;
}  // namespace prelogin_encrypt

// What a connection encrypts after PRELOGIN.
enum class Encryption { None, LoginOnly, Everything, Refuse };

struct EncryptionAnswer {
  std::uint8_t reply = prelogin_encrypt::NotSupported;  // the option in our answer
  Encryption outcome = Encryption::None;
};

// The server's mode against the client's request. Without a TLS identity
// the answer is always "not supported". A client that cannot encrypt under
// Required is told encryption is required (Refuse): it is refused unless it
// starts the handshake all the same, as FreeTDS does.
EncryptionAnswer negotiateEncryption(EncryptMode mode, bool tlsAvailable, std::uint8_t client);

// The answer: our version, the encryption option, instance match, no thread
// id, and MARS on when the client asked for it.
std::string buildPreLoginResponse(std::uint8_t encryption = prelogin_encrypt::NotSupported,
                                  bool mars = false);

struct Login7 {
  std::uint32_t tdsVersion = 0;
  std::uint32_t packetSize = 0;
  std::uint32_t clientPid = 0;
  std::uint8_t optionFlags1 = 0;
  std::uint8_t optionFlags2 = 0;
  std::uint8_t typeFlags = 0;
  std::uint8_t optionFlags3 = 0;
  std::string hostName;
  std::string userName;
  std::string password;
  std::string appName;
  std::string serverName;
  std::string clientInterface;
  std::string language;
  std::string database;
  bool hasSspi = false;

  bool integratedSecurity() const { return optionFlags2 & 0x80; }
  bool odbc() const { return optionFlags2 & 0x02; }
};

// Checks every offset and length against the message; throws ProtocolError.
Login7 parseLogin7(std::span<const std::uint8_t> payload);
// Clients scramble the password with a nibble swap and XOR 0xA5; these undo
// and redo that on UCS-2 bytes.
std::string unscramblePassword(std::span<const std::uint8_t> bytes);
std::string scramblePassword(std::string_view ucs2);

}  // namespace tessel::sqld::tds
