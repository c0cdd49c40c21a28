#include <string>

#include "sqld/tds/charset.h"
#include "sqld/tds/login.h"
#include "sqld/tds/wire.h"

namespace tessel::sqld::tds {

namespace {

// Fixed part of a TDS 7.1 LOGIN7, the oldest we accept.
constexpr std::size_t kMinFixedLength = 86;
constexpr std::size_t kMaxLoginLength = 128 * 1024;

// One offset/length pair of the fixed part: a UCS-2 string inside the message.
std::string loginString(std::span<const std::uint8_t> msg, ByteReader& fixed, const char* what) {
  std::uint16_t offset = fixed.u16le(what);
  std::uint16_t chars = fixed.u16le(what);
  if (chars == 0) return {};
  if (std::size_t(offset) + std::size_t(chars) * 2 > msg.size()) {
    throw ProtocolError(std::string("LOGIN7 ") + what + " at " + std::to_string(offset) + "+" +
                        std::to_string(chars * 2) + " beyond the message of " +
                        std::to_string(msg.size()) + " bytes");
  }
  return ucs2leToUtf8(msg.subspan(offset, std::size_t(chars) * 2));
}

}  // namespace

std::string unscramblePassword(std::span<const std::uint8_t> bytes) {
  std::string ucs2;
  ucs2.reserve(bytes.size());
  for (std::uint8_t b : bytes) {
    b ^= 0xA5;
    ucs2.push_back(static_cast<char>(static_cast<std::uint8_t>((b << 4) | (b >> 4))));
  }
  return ucs2;
}

std::string scramblePassword(std::string_view ucs2) {
  std::string out;
  out.reserve(ucs2.size());
  for (char c : ucs2) {
    auto b = static_cast<std::uint8_t>(c);
    b = static_cast<std::uint8_t>((b << 4) | (b >> 4));
    out.push_back(static_cast<char>(b ^ 0xA5));
  }
  return out;
}

Login7 parseLogin7(std::span<const std::uint8_t> payload) {
  ByteReader head(payload);
  std::uint32_t length = head.u32le("LOGIN7 length");
  if (length < kMinFixedLength || length > payload.size() || length > kMaxLoginLength) {
    throw ProtocolError("LOGIN7 length " + std::to_string(length) + " for a message of " +
                        std::to_string(payload.size()) + " bytes");
  }
  auto msg = payload.first(length);
  ByteReader r(msg);
  r.skip(4, "LOGIN7 length");
  Login7 out;
  out.tdsVersion = r.u32le("LOGIN7 version");
  out.packetSize = r.u32le("LOGIN7 packet size");
  r.skip(4, "LOGIN7 client version");
  out.clientPid = r.u32le("LOGIN7 client pid");
  r.skip(4, "LOGIN7 connection id");
  out.optionFlags1 = r.u8("LOGIN7 option flags 1");
  out.optionFlags2 = r.u8("LOGIN7 option flags 2");
  out.typeFlags = r.u8("LOGIN7 type flags");
  out.optionFlags3 = r.u8("LOGIN7 option flags 3");
  r.skip(8, "LOGIN7 time zone and LCID");
  out.hostName = loginString(msg, r, "host name");
  out.userName = loginString(msg, r, "user name");
  {
    std::uint16_t offset = r.u16le("password");
    std::uint16_t chars = r.u16le("password");
    if (std::size_t(offset) + std::size_t(chars) * 2 > msg.size()) {
      throw ProtocolError("LOGIN7 password at " + std::to_string(offset) + "+" +
                          std::to_string(chars * 2) + " beyond the message");
    }
    std::string ucs2 = unscramblePassword(msg.subspan(offset, std::size_t(chars) * 2));
    out.password =
        ucs2leToUtf8(std::span(reinterpret_cast<const std::uint8_t*>(ucs2.data()), ucs2.size()));
  }
  out.appName = loginString(msg, r, "application name");
  out.serverName = loginString(msg, r, "server name");
  r.skip(4, "LOGIN7 extension");
  out.clientInterface = loginString(msg, r, "client interface name");
  out.language = loginString(msg, r, "language");
  out.database = loginString(msg, r, "database");
  r.skip(6, "LOGIN7 client id");
  std::uint16_t sspiOffset = r.u16le("SSPI");
  std::uint16_t sspiLength = r.u16le("SSPI");
  if (std::size_t(sspiOffset) + sspiLength > msg.size()) {
    throw ProtocolError("LOGIN7 SSPI data beyond the message");
  }
  out.hasSspi = sspiLength > 0;
  return out;
}

}  // namespace tessel::sqld::tds
