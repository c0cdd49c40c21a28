// PRELOGIN and LOGIN7 payloads straight into their parsers.

#include <span>

#include "sqld/tds/login.h"
#include "sqld/tds/version.h"
#include "sqld/tds/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessel::sqld::tds;
  std::span<const std::uint8_t> bytes(data, size);
  try {
    Login7 login = parseLogin7(bytes);
    negotiateVersion(login.tdsVersion);
  } catch (const ProtocolError&) {
  }
  try {
    parsePreLogin(bytes);
  } catch (const ProtocolError&) {
  }
  return 0;
}
