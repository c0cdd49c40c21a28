// The request reader: turns the payload of a client message into a request.
//
// A request arrives as one message, packets of one type joined up to the one
// marked end-of-message (MessageReader, packet.cpp), then parsed here:
//
//   header --length 8..32767, same type--> body --EOM--> payload --type-->
//     SQL batch:  [ALL_HEADERS] UCS-2 text
//     RPC:        [ALL_HEADERS] (name | 0xFFFF id) flags params... [separator call]...
//     TM request: ALL_HEADERS type [isolation] [name] [flags ...]
//   any step --bad length, bad type, over a limit--> ProtocolError
//
// Invariants:
//  1. Every read goes through ByteReader, which checks what remains before it
//     reads; no length from the network indexes memory unchecked.
//  2. Counts are bounded before they are used: 2100 parameters per call,
//     64 MiB per chunked value, the session's message limit for the rest.
//  3. A parser returns a whole request or throws ProtocolError naming the
//     field it could not read; it never returns part of one.
//  4. Text changes encoding once, here: UCS-2 and code page 1252 become UTF-8,
//     and nothing past the parser sees a wire encoding.
//  5. ALL_HEADERS is read from TDS 7.2 on and only then.

#include "sqld/tds/requests.h"

#include "sqld/tds/charset.h"
#include "sqld/tds/type_codec.h"
#include "sqld/tds/version.h"
#include "sqld/tds/wire.h"

namespace tessel::sqld::tds {

namespace {

constexpr std::uint16_t kHeaderTransactionDescriptor = 2;
constexpr std::size_t kMaxParams = 2100;  // SQL Server's own limit per call
constexpr std::uint8_t kBatchFlag71 = 0x80;
constexpr std::uint8_t kBatchFlag72 = 0xFF;
constexpr std::uint8_t kNoExecFlag = 0xFE;

AllHeaders readAllHeaders(ByteReader& in) {
  AllHeaders out;
  std::uint32_t total = in.u32le("ALL_HEADERS length");
  if (total < 4 || total - 4 > in.remaining()) {
    throw ProtocolError("ALL_HEADERS length " + std::to_string(total) + " with " +
                        std::to_string(in.remaining() + 4) + " bytes in the message");
  }
  ByteReader headers = in.sub(total - 4, "ALL_HEADERS");
  while (!headers.atEnd()) {
    std::uint32_t len = headers.u32le("header length");
    if (len < 6 || len - 4 > headers.remaining()) {
      throw ProtocolError("header length " + std::to_string(len) + " inside ALL_HEADERS");
    }
    ByteReader h = headers.sub(len - 4, "header");
    std::uint16_t type = h.u16le("header type");
    if (type == kHeaderTransactionDescriptor) {
      out.transactionDescriptor = h.u64le("transaction descriptor");
      out.outstandingRequests = h.u32le("outstanding request count");
    }
  }
  return out;
}

RpcParam readParam(ByteReader& in) {
  RpcParam p;
  p.name = in.bVarchar("parameter name");
  std::uint8_t status = in.u8("parameter status");
  p.output = status & 0x01;
  p.byDefault = status & 0x02;
  if (status & 0x08) throw ProtocolError("encrypted parameters are not supported");
  if (ByteReader probe = in; probe.u8("parameter type") == wiretype::Tvp) {
    in = probe;
    if (p.output) throw ProtocolError("a table-valued parameter cannot be an output parameter");
    p.table = std::make_shared<TableParam>(readTableParam(in));
    return p;
  }
  ParamType type = readParamTypeInfo(in);
  p.type = type.type;
  if (type.wire == wiretype::Variant)
    p.value = readVariantValue(in, p.type);
  else
    p.value = readParamValue(in, type);
  return p;
}

bool isBatchSeparator(std::uint8_t b, std::uint32_t version) {
  return b == kBatchFlag71 || (atLeast72(version) && (b == kBatchFlag72 || b == kNoExecFlag));
}

// Transaction names: a length byte counting bytes, not characters, as
// Microsoft's client libraries write it, then UCS-2LE.
std::string transactionName(ByteReader& in, const char* what) {
  std::uint8_t bytes = in.u8(what);
  if (bytes % 2 != 0) throw ProtocolError(std::string(what) + ": odd byte count");
  return in.ucs2(bytes / 2, what);
}

}  // namespace

std::string procNameForId(std::uint16_t id) {
  static const char* const names[] = {"",
                                      "sp_cursor",
                                      "sp_cursoropen",
                                      "sp_cursorprepare",
                                      "sp_cursorexecute",
                                      "sp_cursorprepexec",
                                      "sp_cursorunprepare",
                                      "sp_cursorfetch",
                                      "sp_cursoroption",
                                      "sp_cursorclose",
                                      "sp_executesql",
                                      "sp_prepare",
                                      "sp_execute",
                                      "sp_prepexec",
                                      "sp_prepexecrpc",
                                      "sp_unprepare"};
  return id < std::size(names) ? names[id] : "";
}

SqlBatchRequest parseSqlBatch(std::span<const std::uint8_t> payload, std::uint32_t version) {
  ByteReader in(payload);
  SqlBatchRequest out;
  if (atLeast72(version)) out.headers = readAllHeaders(in);
  if (in.remaining() % 2) throw ProtocolError("SQL batch text has an odd number of bytes");
  out.text = ucs2leToUtf8(in.bytes(in.remaining(), "SQL batch text"));
  return out;
}

std::vector<RpcRequest> parseRpc(std::span<const std::uint8_t> payload, std::uint32_t version) {
  ByteReader in(payload);
  if (atLeast72(version)) readAllHeaders(in);
  std::vector<RpcRequest> calls;
  for (;;) {
    RpcRequest call;
    std::uint16_t nameLength = in.u16le("procedure name length");
    if (nameLength == 0xFFFF) {
      std::uint16_t id = in.u16le("procedure id");
      call.procName = procNameForId(id);
      if (call.procName.empty()) throw ProtocolError("unknown procedure id " + std::to_string(id));
    } else {
      call.procName = in.ucs2(nameLength, "procedure name");
    }
    std::uint16_t options = in.u16le("RPC option flags");
    call.recompile = options & 0x01;
    call.noMetadata = options & 0x02;
    std::size_t params = 0;
    while (!in.atEnd()) {
      if (isBatchSeparator(payload[in.position()], version)) break;
      if (++params > kMaxParams) throw ProtocolError("more than 2100 parameters in one call");
      call.params.push_back(readParam(in));
    }
    calls.push_back(std::move(call));
    if (in.atEnd()) break;
    in.u8("RPC batch separator");
    if (in.atEnd()) break;  // a trailing separator ends the batch
  }
  return calls;
}

TransactionManagerRequest parseTransactionManager(std::span<const std::uint8_t> payload) {
  ByteReader in(payload);
  TransactionManagerRequest out;
  out.headers = readAllHeaders(in);
  std::uint16_t kind = in.u16le("transaction request type");
  using Kind = TransactionManagerRequest::Kind;
  switch (kind) {
    case 5:
      out.kind = Kind::Begin;
      out.isolationLevel = in.u8("isolation level");
      out.name = transactionName(in, "transaction name");
      break;
    case 7:
    case 8:
      out.kind = kind == 7 ? Kind::Commit : Kind::Rollback;
      out.name = transactionName(in, "transaction name");
      if (!in.atEnd()) {
        std::uint8_t flags = in.u8("transaction flags");
        out.beginAfter = flags & 0x01;
        if (out.beginAfter) {
          out.newIsolationLevel = in.u8("isolation level");
          out.newName = transactionName(in, "new transaction name");
        }
      }
      break;
    case 9:
      out.kind = Kind::Save;
      out.name = transactionName(in, "savepoint name");
      break;
    case 0:
    case 1:
    case 6:
      out.kind = static_cast<Kind>(kind);
      break;
    default:
      throw ProtocolError("unknown transaction request type " + std::to_string(kind));
  }
  return out;
}

}  // namespace tessel::sqld::tds
