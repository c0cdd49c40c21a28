#include <string>

#include "sqld/product_version.h"
#include "sqld/tds/login.h"
#include "sqld/tds/wire.h"

namespace tessel::sqld::tds {

namespace {

enum PreLoginOption : std::uint8_t {
  kVersion = 0x00,
  kEncryption = 0x01,
  kInstance = 0x02,
  kThreadId = 0x03,
  kMars = 0x04,
  kTerminator = 0xFF,
};

constexpr std::uint8_t kServerVersion[6] = {kProductMajor,         kProductMinor,
                                            kProductBuild >> 8,    kProductBuild & 0xFF,
                                            kProductSubBuild >> 8, kProductSubBuild & 0xFF};
constexpr int kMaxOptions = 64;

}  // namespace

PreLogin parsePreLogin(std::span<const std::uint8_t> payload) {
  PreLogin out;
  ByteReader table(payload);
  for (int n = 0;; ++n) {
    if (n > kMaxOptions) throw ProtocolError("PRELOGIN has more than 64 options");
    std::uint8_t token = table.u8("PRELOGIN option");
    if (token == kTerminator) break;
    std::uint16_t offset = table.u16be("PRELOGIN option offset");
    std::uint16_t length = table.u16be("PRELOGIN option length");
    if (std::size_t(offset) + length > payload.size()) {
      throw ProtocolError("PRELOGIN option " + std::to_string(token) + " at " +
                          std::to_string(offset) + "+" + std::to_string(length) +
                          " beyond the message of " + std::to_string(payload.size()) + " bytes");
    }
    ByteReader value(payload.subspan(offset, length));
    switch (token) {
      case kVersion:
        if (length >= 6) {
          auto b = value.bytes(6, "PRELOGIN version");
          std::copy(b.begin(), b.end(), out.clientVersion.begin());
        }
        break;
      case kEncryption:
        if (length >= 1) out.encryption = value.u8("PRELOGIN encryption");
        break;
      case kInstance: {
        auto b = value.bytes(length, "PRELOGIN instance");
        std::string name(reinterpret_cast<const char*>(b.data()), b.size());
        out.instance = name.substr(0, name.find('\0'));
        break;
      }
      case kMars:
        if (length >= 1) out.mars = value.u8("PRELOGIN MARS") != 0;
        break;
      default:
        break;  // thread id, trace id, federated authentication: not needed
    }
  }
  return out;
}

EncryptionAnswer negotiateEncryption(EncryptMode mode, bool tlsAvailable, std::uint8_t client) {
  namespace pe = prelogin_encrypt;
  if (!tlsAvailable) return {pe::NotSupported, Encryption::None};
  const bool strictOrRequired = mode == EncryptMode::Required || mode == EncryptMode::Strict;
  if (client == pe::NotSupported) {
    if (strictOrRequired) return {pe::Required, Encryption::Refuse};
    return {pe::NotSupported, Encryption::None};
  }
  if (strictOrRequired) return {pe::Required, Encryption::Everything};
  if (mode == EncryptMode::On || client == pe::On || client == pe::Required) {
    return {pe::On, Encryption::Everything};
  }
  // Encryption available and off on both sides: the password still travels
  // encrypted, the rest in clear.
  return {pe::Off, Encryption::LoginOnly};
}

std::string buildPreLoginResponse(std::uint8_t encryption, bool mars) {
  struct Option {
    std::uint8_t token;
    std::string data;
  };
  const Option options[] = {
      {kVersion, std::string(reinterpret_cast<const char*>(kServerVersion), 6)},
      {kEncryption, std::string(1, static_cast<char>(encryption))},
      {kInstance, std::string(1, '\0')},
      {kThreadId, std::string()},
      {kMars, std::string(1, mars ? '\1' : '\0')},
  };
  std::string out;
  ByteWriter w(out);
  std::uint16_t offset = static_cast<std::uint16_t>(std::size(options) * 5 + 1);
  for (const auto& o : options) {
    w.u8(o.token);
    w.u16be(offset);
    w.u16be(static_cast<std::uint16_t>(o.data.size()));
    offset = static_cast<std::uint16_t>(offset + o.data.size());
  }
  w.u8(kTerminator);
  for (const auto& o : options) w.bytes(o.data);
  return out;
}

}  // namespace tessel::sqld::tds
