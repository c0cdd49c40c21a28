// RPC, SQL batch and Transaction Manager payloads into their parsers. The
// first byte picks the TDS version the payload is read with.

#include <span>

#include "sqld/tds/requests.h"
#include "sqld/tds/version.h"
#include "sqld/tds/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessel::sqld::tds;
  if (size == 0) return 0;
  const std::uint32_t versions[] = {kTds71, kTds72, kTds73B, kTds74};
  std::uint32_t version = versions[data[0] % 4];
  std::span<const std::uint8_t> bytes(data + 1, size - 1);
  try {
    parseRpc(bytes, version);
  } catch (const ProtocolError&) {
  }
  try {
    parseSqlBatch(bytes, version);
  } catch (const ProtocolError&) {
  }
  try {
    parseTransactionManager(bytes);
  } catch (const ProtocolError&) {
  }
  return 0;
}
