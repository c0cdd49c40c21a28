#include "sqld/tds/bulk_load.h"

#include "sqld/tds/version.h"

namespace tessel::sqld::tds {

namespace {

constexpr std::uint8_t kColMetadata = 0x81;
constexpr std::uint8_t kRow = 0xD1;
constexpr std::uint8_t kDone = 0xFD;
constexpr std::size_t kMaxColumns = 4096;

bool isBlob(std::uint8_t wire) {
  return wire == wiretype::Text || wire == wiretype::NText || wire == wiretype::Image;
}

}  // namespace

BulkLoadReader::BulkLoadReader(std::span<const std::uint8_t> payload, std::uint32_t tdsVersion)
    : payload_(payload), cursor_(std::span<const std::uint8_t>{}) {
  ByteReader in(payload);
  if (in.u8("bulk-load token") != kColMetadata)
    throw ProtocolError("bulk-load data does not start with COLMETADATA");
  std::uint16_t count = in.u16le("bulk-load column count");
  if (count == 0 || count == 0xFFFF || count > kMaxColumns)
    throw ProtocolError("bulk-load column count " + std::to_string(count));
  for (std::uint16_t i = 0; i < count; ++i) {
    Column c;
    c.userType = atLeast72(tdsVersion) ? in.u32le("user type") : in.u16le("user type");
    std::uint16_t flags = in.u16le("column flags");
    ParamType t = readParamTypeInfo(in);
    // Text, ntext and image name their table (a 2-byte character count and
    // the name), as bulk-copy clients write it.
    if (isBlob(t.wire)) c.tableName = in.usVarchar("table name");
    c.name = in.bVarchar("column name");
    c.type = t.type;
    c.type.nullable = (flags & 0x01) != 0;
    columns_.push_back(std::move(c));
    types_.push_back(t);
  }
  rowsStart_ = in.position();
  while (readRow(in, nullptr)) ++rowCount_;
  if (!in.atEnd()) {
    if (in.u8("bulk-load token") != kDone)
      throw ProtocolError("bulk-load data has a token other than ROW or DONE");
    in.skip(atLeast72(tdsVersion) ? 12 : 8, "DONE");
    if (!in.atEnd()) throw ProtocolError("bulk-load data goes on after DONE");
  }
  cursor_ = ByteReader(payload_.subspan(rowsStart_));
}

bool BulkLoadReader::readRow(ByteReader& in, std::vector<Value>* row) const {
  if (in.atEnd()) return false;
  // A DONE (or anything else) ends the rows; the constructor checks what.
  std::span<const std::uint8_t> rest = payload_.subspan(payload_.size() - in.remaining());
  if (rest.front() != kRow) return false;
  in.u8("ROW token");
  if (row) row->resize(types_.size());
  for (std::size_t i = 0; i < types_.size(); ++i) {
    const ParamType& t = types_[i];
    Value v;
    if (isBlob(t.wire)) {
      std::uint8_t pointer = in.u8("text pointer length");
      if (pointer != 0) {
        in.skip(pointer, "text pointer");
        in.skip(8, "text timestamp");
        v = readParamValue(in, t);
      }
    } else {
      v = readParamValue(in, t);
    }
    if (row) (*row)[i] = std::move(v);
  }
  return true;
}

bool BulkLoadReader::next(std::vector<Value>& row) {
  return readRow(cursor_, &row);
}

void BulkLoadReader::readTextAs(std::size_t column, int codePage) {
  if (column < types_.size()) types_[column].codePage = codePage;
}

std::string parseBulkText(std::span<const std::uint8_t> payload) {
  ByteReader in(payload);
  std::uint32_t declared = in.u32le("text length");
  // Clients may send fewer bytes than they declared; the value is what came.
  std::size_t take = std::min<std::size_t>(declared, in.remaining());
  auto b = in.bytes(take, "text");
  return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

}  // namespace tessel::sqld::tds
