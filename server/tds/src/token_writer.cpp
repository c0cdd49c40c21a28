#include "sqld/tds/token_writer.h"

#include <algorithm>

#include "sqld/date_text.h"
#include "sqld/tds/type_codec.h"
#include "sqld/tds/version.h"
#include "sqld/tds/wire.h"
#include "value_convert.h"

namespace tessel::sqld::tds {

namespace {

constexpr std::uint16_t kFlagNullable = 0x0001;
// "Updateable unknown": what SQL Server reports for base-table columns
// outside browse mode, and what FreeTDS reads as writeable.
constexpr std::uint16_t kFlagUpdatable = 0x0008;
constexpr std::uint16_t kFlagIdentity = 0x0010;

bool isBlob(SqlType t) {
  return t == SqlType::Text || t == SqlType::NText || t == SqlType::Image;
}

// Starts a token with a 2-byte length; returns where the length goes.
std::size_t beginSized(ByteWriter& w, std::uint8_t tokenType) {
  w.u8(tokenType);
  std::size_t at = w.size();
  w.u16le(0);
  return at;
}

void endSized(std::string& buf, std::size_t at) {
  std::size_t len = buf.size() - at - 2;
  if (len > 0xFFFF) throw ProtocolError("token of " + std::to_string(len) + " bytes");
  ByteWriter(buf).patchU16le(at, static_cast<std::uint16_t>(len));
}

}  // namespace

void TokenWriter::putUserTypeAndFlags(std::string& buf, const Column& c) const {
  ByteWriter w(buf);
  if (atLeast72(version_)) {
    w.u32le(c.userType);
  } else {
    w.u16le(static_cast<std::uint16_t>(c.userType));
  }
  std::uint16_t flags = 0;
  if (c.type.nullable) flags |= kFlagNullable;
  if (c.updatable) flags |= kFlagUpdatable;
  if (c.identity) flags |= kFlagIdentity;
  w.u16le(flags);
}

void TokenWriter::colMetadata(std::span<const Column> columns) {
  // A result set has at most 4096 columns; rows follow the columns announced.
  columns_.assign(columns.begin(), columns.begin() + std::min<std::size_t>(columns.size(), 4096));
  sourceTypes_.clear();
  encoders_.clear();
  datesAsText_ = false;
  for (Column& c : columns_) {
    sourceTypes_.push_back(c.type);
    c.type = typeForVersion(c.type, version_);
    // Unpadded char and binary values are written as varchar and varbinary
    // ones: the same encoding without the padding.
    TypeInfo valueType = c.type;
    if (c.unpadded && valueType.type == SqlType::Char) valueType.type = SqlType::VarChar;
    if (c.unpadded && valueType.type == SqlType::Binary) valueType.type = SqlType::VarBinary;
    encoders_.emplace_back(valueType);
    if (c.type.type != sourceTypes_.back().type && isDateTime2Type(sourceTypes_.back().type))
      datesAsText_ = true;
  }
  columns = columns_;
  std::string buf;
  ByteWriter w(buf);
  w.u8(token::ColMetadata);
  w.u16le(static_cast<std::uint16_t>(columns.size()));
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    putUserTypeAndFlags(buf, c);
    writeTypeInfo(w, c.type);
    if (isBlob(c.type.type)) {
      if (atLeast72(version_)) {
        w.u8(c.tableName.empty() ? 0 : 1);
        if (!c.tableName.empty()) w.usVarchar(c.tableName);
      } else {
        w.usVarchar(c.tableName);
      }
    }
    w.bVarchar(c.name);
    if (buf.size() >= 4096) {
      put(buf);
      buf.clear();
    }
  }
  put(buf);
}

void TokenWriter::row(std::span<const Value> values) {
  const std::size_t n = columns_.size();
  static const Value kNull;
  auto valueAt = [&](std::size_t i) -> const Value& {
    return i < values.size() ? values[i] : kNull;
  };
  bool anyNull = values.size() < n;
  for (std::size_t i = 0; i < n && !anyNull; ++i) anyNull = values[i].isNull();
  // From TDS 7.3 a row with NULLs is an NBCROW: a bitmap of them, then the
  // other values.
  const bool nbc = anyNull && atLeast73(version_);
  rowBytes_.clear();
  *rowBytes_.room(1) = static_cast<char>(nbc ? token::NbcRow : token::Row);
  rowBytes_.advance(1);
  if (nbc) {
    char* bitmap = rowBytes_.room((n + 7) / 8);
    std::fill(bitmap, bitmap + (n + 7) / 8, '\0');
    for (std::size_t i = 0; i < n; ++i) {
      if (valueAt(i).isNull()) bitmap[i / 8] = static_cast<char>(bitmap[i / 8] | (1 << (i % 8)));
    }
    rowBytes_.advance((n + 7) / 8);
  }
  for (std::size_t i = 0; i < n; ++i) {
    const Value& v = valueAt(i);
    if (nbc && v.isNull()) continue;
    if (datesAsText_ && !v.isNull()) {
      writeDateAsText(i, v);
    } else {
      encoders_[i].write(rowBytes_, v, scratch_);
    }
    if (rowBytes_.size() >= 8192) {
      out_.write(rowBytes_.view());
      rowBytes_.clear();
    }
  }
  out_.write(rowBytes_.view());
}

void TokenWriter::writeDateAsText(std::size_t i, const Value& v) {
  // Before TDS 7.3 date and time values travel as their text.
  if (columns_[i].type.type != sourceTypes_[i].type && isDateTime2Type(sourceTypes_[i].type)) {
    encoders_[i].write(rowBytes_, Value(formatDateTime2(convert::toDateTime2(v), sourceTypes_[i])),
                       scratch_);
  } else {
    encoders_[i].write(rowBytes_, v, scratch_);
  }
}

void TokenWriter::order(std::span<const std::uint16_t> columns) {
  std::string buf;
  ByteWriter w(buf);
  std::size_t at = beginSized(w, token::Order);
  for (std::uint16_t c : columns) w.u16le(c);
  endSized(buf, at);
  put(buf);
}

void TokenWriter::browseInfo(std::span<const std::string> tables,
                             std::span<const BrowseColumn> columns) {
  std::string buf;
  ByteWriter w(buf);
  std::size_t at = beginSized(w, token::TabName);
  // Each name in parts; one part, the table's own name.
  for (const auto& t : tables) {
    w.u8(1);
    w.usVarchar(t);
  }
  endSized(buf, at);
  at = beginSized(w, token::ColInfo);
  constexpr std::uint8_t kExpression = 0x04, kDifferentName = 0x20;
  for (std::size_t i = 0; i < columns.size() && i < 255; ++i) {
    const BrowseColumn& c = columns[i];
    const bool renamed = c.table != 0 && i < columns_.size() && columns_[i].name != c.name;
    w.u8(static_cast<std::uint8_t>(i + 1));
    w.u8(c.table);
    w.u8(c.table == 0 ? kExpression : renamed ? kDifferentName : 0);
    if (renamed) w.bVarchar(c.name);
  }
  endSized(buf, at);
  put(buf);
}

void TokenWriter::done(std::uint8_t tokenType, std::uint16_t status, std::uint16_t curCmd,
                       std::uint64_t rowCount) {
  std::string buf;
  ByteWriter w(buf);
  w.u8(tokenType);
  w.u16le(status);
  w.u16le(curCmd);
  if (atLeast72(version_)) {
    w.u64le(rowCount);
  } else {
    w.u32le(static_cast<std::uint32_t>(std::min<std::uint64_t>(rowCount, 0xFFFFFFFFu)));
  }
  put(buf);
}

void TokenWriter::done(const Done& d) {
  std::uint8_t type = d.kind == Done::Kind::DoneProc     ? token::DoneProc
                      : d.kind == Done::Kind::DoneInProc ? token::DoneInProc
                                                         : token::Done;
  std::uint16_t status = 0;
  if (d.more) status |= donestatus::More;
  if (d.error) status |= donestatus::Error;
  if (d.countValid) status |= donestatus::Count;
  if (d.attention) status |= donestatus::Attention;
  done(type, status, d.curCmd, d.countValid ? d.rowCount : 0);
}

void TokenWriter::message(const Message& m) {
  std::string buf;
  ByteWriter w(buf);
  std::size_t at = beginSized(w, m.severity > 10 ? token::Error : token::Info);
  w.u32le(static_cast<std::uint32_t>(m.number));
  w.u8(m.state);
  w.u8(m.severity);
  // The text is cut so the token length still fits its two bytes.
  w.usVarchar(m.text.size() > 30000 ? std::string_view(m.text).substr(0, 30000) : m.text);
  w.bVarchar(serverName_);
  w.bVarchar(m.procName);
  if (atLeast72(version_)) {
    w.u32le(static_cast<std::uint32_t>(m.line));
  } else {
    w.u16le(static_cast<std::uint16_t>(m.line));
  }
  endSized(buf, at);
  put(buf);
}

void TokenWriter::envChange(std::uint8_t type, std::string_view newValue,
                            std::string_view oldValue) {
  std::string buf;
  ByteWriter w(buf);
  std::size_t at = beginSized(w, token::EnvChange);
  w.u8(type);
  w.bVarchar(newValue);
  w.bVarchar(oldValue);
  endSized(buf, at);
  put(buf);
}

void TokenWriter::envChangeBytes(std::uint8_t type, std::string_view newValue,
                                 std::string_view oldValue) {
  std::string buf;
  ByteWriter w(buf);
  std::size_t at = beginSized(w, token::EnvChange);
  w.u8(type);
  w.u8(static_cast<std::uint8_t>(std::min<std::size_t>(newValue.size(), 255)));
  w.bytes(newValue.substr(0, 255));
  w.u8(static_cast<std::uint8_t>(std::min<std::size_t>(oldValue.size(), 255)));
  w.bytes(oldValue.substr(0, 255));
  endSized(buf, at);
  put(buf);
}

void TokenWriter::loginAck(std::string_view progName, std::uint32_t progVersion) {
  std::string buf;
  ByteWriter w(buf);
  std::size_t at = beginSized(w, token::LoginAck);
  w.u8(1);  // interface: T-SQL
  w.u32be(version_);
  w.bVarchar(progName);
  w.u32be(progVersion);
  endSized(buf, at);
  put(buf);
}

void TokenWriter::returnStatus(std::int32_t status) {
  std::string buf;
  ByteWriter w(buf);
  w.u8(token::ReturnStatus);
  w.u32le(static_cast<std::uint32_t>(status));
  put(buf);
}

void TokenWriter::returnValue(const ReturnValue& v) {
  std::string buf;
  ByteWriter w(buf);
  w.u8(token::ReturnValue);
  w.u16le(v.ordinal);
  w.bVarchar(v.name);
  w.u8(0x01);  // output parameter
  putUserTypeAndFlags(buf, v.column);
  TypeInfo type = typeForVersion(v.column.type, version_);
  writeTypeInfo(w, type);
  if (type.type != v.column.type.type && isDateTime2Type(v.column.type.type) && !v.value.isNull())
    writeValue(buf, type, Value(formatDateTime2(convert::toDateTime2(v.value), v.column.type)));
  else
    writeValue(buf, type, v.value);
  put(buf);
}

}  // namespace tessel::sqld::tds
