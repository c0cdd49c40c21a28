#pragma once

// Streaming encoder of response tokens. Each call encodes one token into the
// PacketWriter, which sends packets as they fill; a result set is never held
// whole. Field widths follow the negotiated TDS version (user type, DONE row
// count, message line number). Used by the one thread that answers a session.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sqld/engine.h"
#include "sqld/tds/packet.h"
#include "sqld/tds/type_codec.h"

namespace tessel::sqld::tds {

namespace token {
constexpr std::uint8_t ReturnStatus = 0x79, ColMetadata = 0x81, TabName = 0xA4, ColInfo = 0xA5,
                       Order = 0xA9, Error = 0xAA, Info = 0xAB, ReturnValue = 0xAC, LoginAck = 0xAD,
                       Row = 0xD1, NbcRow = 0xD2, EnvChange = 0xE3, Done = 0xFD, DoneProc = 0xFE,
                       DoneInProc = 0xFF;
}  // namespace token

namespace envchange {
constexpr std::uint8_t Database = 1, Language = 2, PacketSize = 4, Collation = 7, BeginTran = 8,
                       CommitTran = 9, RollbackTran = 10, ResetAck = 18;
}  // namespace envchange

namespace donestatus {
constexpr std::uint16_t More = 0x01, Error = 0x02, InXact = 0x04, Count = 0x10, Attention = 0x20,
                        ServerError = 0x100;
}  // namespace donestatus

class TokenWriter {
 public:
  TokenWriter(PacketWriter& out, std::uint32_t tdsVersion, std::string serverName)
      : out_(out), version_(tdsVersion), serverName_(std::move(serverName)) {}

  void setVersion(std::uint32_t v) { version_ = v; }
  std::uint32_t version() const { return version_; }

  // Remembers the columns; rows that follow are encoded against them.
  void colMetadata(std::span<const Column> columns);
  // A ROW, or from TDS 7.3 on an NBCROW when some value is NULL. Values beyond
  // the column count are ignored; missing ones travel as NULL.
  void row(std::span<const Value> values);
  void order(std::span<const std::uint16_t> columns);
  // TABNAME and COLINFO of a browse-mode result, against the last metadata.
  void browseInfo(std::span<const std::string> tables, std::span<const BrowseColumn> columns);
  void done(std::uint8_t tokenType, std::uint16_t status, std::uint16_t curCmd,
            std::uint64_t rowCount);
  void done(const Done& d);
  // ERROR for severity above 10, INFO otherwise.
  void message(const Message& m);
  void envChange(std::uint8_t type, std::string_view newValue, std::string_view oldValue);
  void envChangeBytes(std::uint8_t type, std::string_view newValue, std::string_view oldValue);
  void loginAck(std::string_view progName, std::uint32_t progVersion);
  void returnStatus(std::int32_t status);
  void returnValue(const ReturnValue& v);

 private:
  void put(const std::string& bytes) { out_.write(bytes); }
  void putUserTypeAndFlags(std::string& buf, const Column& c) const;
  // Appends the value of column i to rowBytes_, a date or time value as its
  // text when the column travels as text.
  void writeDateAsText(std::size_t i, const Value& v);

  PacketWriter& out_;
  std::uint32_t version_;
  std::string serverName_;
  std::vector<Column> columns_;
  std::vector<TypeInfo> sourceTypes_;    // as the engine typed columns_ (before typeForVersion)
  std::vector<ColumnEncoder> encoders_;  // one per column of columns_
  bool datesAsText_ = false;             // some date or time column travels as text
  RowBytes rowBytes_;
  std::string scratch_;  // for values written through writeValue
};

}  // namespace tessel::sqld::tds
