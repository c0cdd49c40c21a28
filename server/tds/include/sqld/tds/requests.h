#pragma once

// Parsing of the request messages a logged-in client sends: SQL batch, RPC
// (by name or by well-known procedure id, several per message) and the
// Transaction Manager requests of TDS 7.2 and later. Pure functions; they
// throw ProtocolError for anything malformed or over a limit.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sqld/engine.h"

namespace tessel::sqld::tds {

struct AllHeaders {
  std::uint64_t transactionDescriptor = 0;
  std::uint32_t outstandingRequests = 1;
};

struct SqlBatchRequest {
  AllHeaders headers;
  std::string text;  // UTF-8
};

struct TransactionManagerRequest {
  enum class Kind : std::uint16_t {
    GetDtcAddress = 0,
    Propagate = 1,
    Begin = 5,
    Promote = 6,
    Commit = 7,
    Rollback = 8,
    Save = 9,
  };
  AllHeaders headers;
  Kind kind = Kind::Begin;
  std::uint8_t isolationLevel = 0;  // of Begin; 0 keeps the session's
  std::string name;                 // transaction or savepoint name, empty for none
  // A commit or rollback that starts a new transaction once it has ended the
  // current one, with that transaction's isolation level and name.
  bool beginAfter = false;
  std::uint8_t newIsolationLevel = 0;
  std::string newName;
};

SqlBatchRequest parseSqlBatch(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion);
std::vector<RpcRequest> parseRpc(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion);
TransactionManagerRequest parseTransactionManager(std::span<const std::uint8_t> payload);
// The name of a well-known procedure id (10: "sp_executesql"), empty if unknown.
std::string procNameForId(std::uint16_t id);

}  // namespace tessel::sqld::tds
