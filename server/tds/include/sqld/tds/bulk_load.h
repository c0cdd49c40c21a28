#pragma once

// The bulk-load message a client sends after INSERT BULK (COLMETADATA, ROW
// tokens, an optional DONE) and after WRITETEXT BULK (a 4-byte length and the
// value's bytes). Pure parsing over one message; throws ProtocolError for
// anything malformed.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sqld/engine.h"
#include "sqld/tds/type_codec.h"

namespace tessel::sqld::tds {

class BulkLoadReader : public BulkRowReader {
 public:
  // Reads the column descriptions and checks every row, so that next()
  // cannot fail once the engine has started inserting.
  BulkLoadReader(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion);

  const std::vector<Column>& columns() const override { return columns_; }
  bool next(std::vector<Value>& row) override;
  void readTextAs(std::size_t column, int codePage) override;
  std::size_t rowCount() const { return rowCount_; }

 private:
  // Reads one ROW token's values (into `row` when not null); false at the
  // end of the rows.
  bool readRow(ByteReader& in, std::vector<Value>* row) const;

  std::span<const std::uint8_t> payload_;
  std::vector<Column> columns_;
  std::vector<ParamType> types_;
  std::size_t rowsStart_ = 0;
  std::size_t rowCount_ = 0;
  ByteReader cursor_;
};

// The value of WRITETEXT BULK: the declared length, then that many bytes.
std::string parseBulkText(std::span<const std::uint8_t> payload);

}  // namespace tessel::sqld::tds
