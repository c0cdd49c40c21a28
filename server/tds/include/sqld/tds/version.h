#pragma once

// TDS versions as LOGIN7 carries them (little-endian on the wire there) and as
// LOGINACK answers them (big-endian). Field widths depend on them.

#include <cstdint>
#include <optional>
#include <string>

namespace tessel::sqld::tds {

constexpr std::uint32_t kTds71 = 0x71000001;
constexpr std::uint32_t kTds72 = 0x72090002;
constexpr std::uint32_t kTds73A = 0x730A0003;
constexpr std::uint32_t kTds73B = 0x730B0003;
constexpr std::uint32_t kTds74 = 0x74000004;

// The version both sides speak: the client's, capped at 7.4, as one of the
// values LOGINACK may carry. Nullopt for clients older than 7.1.
std::optional<std::uint32_t> negotiateVersion(std::uint32_t clientVersion);

inline bool atLeast72(std::uint32_t v) {
  return v >= 0x72000000;
}
inline bool atLeast73(std::uint32_t v) {
  return v >= 0x73000000;
}
std::string versionName(std::uint32_t v);  // "7.4"

}  // namespace tessel::sqld::tds
