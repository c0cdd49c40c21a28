#include "sqld/tds/version.h"

namespace tessel::sqld::tds {

std::optional<std::uint32_t> negotiateVersion(std::uint32_t clientVersion) {
  std::uint32_t major = clientVersion >> 24;
  if (major >= 0x74) return kTds74;
  if (major == 0x73) return ((clientVersion >> 16) & 0xFF) >= 0x0B ? kTds73B : kTds73A;
  if (major == 0x72) return kTds72;
  if (major == 0x71) return kTds71;
  return std::nullopt;
}

std::string versionName(std::uint32_t v) {
  switch (v >> 24) {
    case 0x71:
      return "7.1";
    case 0x72:
      return "7.2";
    case 0x73:
      return "7.3";
    case 0x74:
      return "7.4";
    default:
      return "unknown";
  }
}

}  // namespace tessel::sqld::tds
