// Incoming RPC parameters: TYPE_INFO and value of every type FreeTDS and
// python-tds send, converted to the engine's TypeInfo and Value. Dates and
// times of the newer types become datetime values, the only date type the
// engine knows.

#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "collation/sql_collation.h"
#include "sqld/tds/charset.h"
#include "sqld/tds/type_codec.h"

namespace tessel::sqld::tds {

namespace {

using namespace wiretype;

// Varchar(max)-style values larger than this end the session; the message
// size limit bounds them anyway.
constexpr std::uint64_t kMaxChunkedValue = 64u << 20;
// Days from 0001-01-01 to 1900-01-01.
constexpr std::int32_t kDaysTo1900 = 693595;

std::uint64_t readLe(ByteReader& in, std::size_t bytes, const char* what) {
  auto b = in.bytes(bytes, what);
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < bytes; ++i) v |= std::uint64_t(b[i]) << (8 * i);
  return v;
}

std::int64_t signExtend(std::uint64_t v, std::size_t bytes) {
  if (bytes >= 8) return static_cast<std::int64_t>(v);
  std::uint64_t sign = std::uint64_t(1) << (bytes * 8 - 1);
  return static_cast<std::int64_t>((v ^ sign) - sign);
}

SqlType intType(std::size_t len) {
  switch (len) {
    case 1:
      return SqlType::TinyInt;
    case 2:
      return SqlType::SmallInt;
    case 8:
      return SqlType::BigInt;
    default:
      return SqlType::Int;
  }
}

std::size_t timeBytes(std::uint8_t scale) {
  return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

void checkScale(std::uint8_t scale) {
  if (scale > 7) throw ProtocolError("time scale " + std::to_string(scale) + " above 7");
}

Value fixedValue(ByteReader& in, std::uint8_t wire, std::size_t len) {
  switch (wire) {
    case Int1:
    case Int2:
    case Int4:
    case Int8:
    case IntN: {
      std::uint64_t raw = readLe(in, len, "integer parameter");
      return Value(len == 1 ? static_cast<std::int64_t>(raw) : signExtend(raw, len));
    }
    case Bit:
    case BitN:
      return Value(static_cast<std::int64_t>(readLe(in, 1, "bit parameter") != 0));
    case Flt4:
    case Flt8:
    case FltN: {
      std::uint64_t raw = readLe(in, len, "float parameter");
      if (len == 4) {
        float f;
        auto bits = static_cast<std::uint32_t>(raw);
        std::memcpy(&f, &bits, 4);
        return Value(static_cast<double>(f));
      }
      double d;
      std::memcpy(&d, &raw, 8);
      return Value(d);
    }
    case Money:
    case Money4:
    case MoneyN: {
      if (len == 4) return Value(MoneyValue{signExtend(readLe(in, 4, "money parameter"), 4)});
      std::uint64_t hi = readLe(in, 4, "money parameter");
      std::uint64_t lo = readLe(in, 4, "money parameter");
      return Value(MoneyValue{static_cast<std::int64_t>((hi << 32) | lo)});
    }
    case DateTime:
    case DateTim4:
    case DateTimN: {
      if (len == 4) {
        auto days = static_cast<std::int32_t>(readLe(in, 2, "smalldatetime parameter"));
        auto minutes = static_cast<std::uint32_t>(readLe(in, 2, "smalldatetime parameter"));
        return Value(DateTimeValue{days, minutes * 18000});
      }
      auto days = static_cast<std::int32_t>(signExtend(readLe(in, 4, "datetime parameter"), 4));
      auto ticks = static_cast<std::uint32_t>(readLe(in, 4, "datetime parameter"));
      return Value(DateTimeValue{days, ticks});
    }
    case Guid: {
      GuidValue g;
      auto b = in.bytes(16, "uniqueidentifier parameter");
      std::memcpy(g.bytes.data(), b.data(), 16);
      return Value(g);
    }
  }
  throw ProtocolError("parameter type " + std::to_string(wire) + " has no fixed layout");
}

Value decimalValue(ByteReader& in, const ParamType& t, std::size_t len) {
  if (len < 1 || len > 17) throw ProtocolError("decimal length " + std::to_string(len));
  std::uint8_t sign = in.u8("decimal sign");
  auto mag = in.bytes(len - 1, "decimal magnitude");
  unsigned __int128 v = 0;
  for (std::size_t i = mag.size(); i-- > 0;) v = (v << 8) | mag[i];
  if (v >> 127) throw ProtocolError("decimal magnitude out of range");
  auto s = static_cast<__int128>(v);
  return Value(DecimalValue{sign ? s : -s, t.precision, t.scale});
}

// date, time, datetime2 and datetimeoffset, rounded to datetime's 1/300 s.
// A datetimeoffset travels in UTC with its offset; like SQL Server's
// conversion to datetime, the result is the local time the offset gives.
Value dateTimeValue(ByteReader& in, const ParamType& t, std::size_t len) {
  constexpr std::int64_t kUnitsPerDay = 864000000000;  // of 100 ns
  constexpr std::int64_t kMaxDays = 3652058;           // 9999-12-31
  std::uint64_t units = 0;
  std::int64_t days = 0;
  std::size_t tb = t.wire == DateN ? 0 : timeBytes(t.scale);
  std::size_t want = tb + (t.wire == TimeN ? 0 : 3) + (t.wire == DateTimeOffsetN ? 2 : 0);
  if (len != want) throw ProtocolError("date/time parameter length " + std::to_string(len));
  if (tb) units = readLe(in, tb, "time parameter");
  if (t.wire != TimeN) days = static_cast<std::int64_t>(readLe(in, 3, "date parameter"));
  std::int64_t offsetMinutes = 0;
  if (t.wire == DateTimeOffsetN) offsetMinutes = signExtend(readLe(in, 2, "time zone offset"), 2);
  if (offsetMinutes < -840 || offsetMinutes > 840)
    throw ProtocolError("time zone offset " + std::to_string(offsetMinutes));
  if (days > kMaxDays) throw ProtocolError("date parameter beyond 9999-12-31");
  // In 100-nanosecond units, and local to the offset (the wire carries UTC).
  std::uint64_t scaleMul = 1;
  for (int i = t.scale; i < 7; ++i) scaleMul *= 10;
  auto local = static_cast<std::int64_t>(units * scaleMul);
  if (local >= kUnitsPerDay) throw ProtocolError("time parameter beyond 24 hours");
  if (t.wire == TimeN) days = kDaysTo1900;
  local += days * kUnitsPerDay + offsetMinutes * 600000000;
  DateTime2Value v;
  v.days = static_cast<std::int32_t>(local / kUnitsPerDay);
  v.units = local % kUnitsPerDay;
  if (v.units < 0) v.units += kUnitsPerDay, --v.days;
  v.offsetMinutes = static_cast<std::int16_t>(offsetMinutes);
  return Value(v);
}

std::string chunkedBytes(ByteReader& in, bool& isNull) {
  std::uint64_t total = in.u64le("chunked value length");
  isNull = total == ~std::uint64_t{0};
  std::string out;
  if (isNull) return out;
  if (total != ~std::uint64_t{0} - 1 && total > kMaxChunkedValue) {
    throw ProtocolError("chunked value of " + std::to_string(total) + " bytes");
  }
  for (;;) {
    std::uint32_t chunk = in.u32le("chunk length");
    if (chunk == 0) break;
    auto b = in.bytes(chunk, "chunk");
    if (out.size() + b.size() > kMaxChunkedValue) throw ProtocolError("chunked value too large");
    out.append(reinterpret_cast<const char*>(b.data()), b.size());
  }
  return out;
}

Value textValue(const ParamType& t, std::string bytes) {
  switch (t.wire) {
    case NChar:
    case NVarChar:
    case NText:
      return Value(ucs2leToUtf8(
          std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
    case Xml: {
      // UCS-2LE, possibly behind a byte-order mark.
      std::size_t skip = bytes.size() >= 2 && static_cast<std::uint8_t>(bytes[0]) == 0xFF &&
                                 static_cast<std::uint8_t>(bytes[1]) == 0xFE
                             ? 2
                             : 0;
      return Value(ucs2leToUtf8(std::span(
          reinterpret_cast<const std::uint8_t*>(bytes.data()) + skip, bytes.size() - skip)));
    }
    case BigChar:
    case BigVarChr:
    case Char:
    case VarChar:
    case Text:
      return Value(codePageToUtf8(bytes, t.codePage));
    default:
      return Value(BytesValue{std::move(bytes)});
  }
}

// A value's collation: the client encoded its characters in that code page.
void readCollation(ByteReader& in, ParamType& p) {
  std::array<std::uint8_t, 5> bytes{};
  for (std::uint8_t& b : bytes) b = in.u8("collation");
  p.codePage = collation::CodePageOfTdsBytes(bytes);
}

}  // namespace

namespace {

// The types whose TYPE_INFO is the type byte alone; nothing for the others.
std::optional<TypeInfo> fixedLengthType(std::uint8_t wire) {
  switch (wire) {
    case Int1:
      return TypeInfo{intType(1), 1, 0, 0, false};
    case Int2:
      return TypeInfo{intType(2), 2, 0, 0, false};
    case Int4:
      return TypeInfo{intType(4), 4, 0, 0, false};
    case Int8:
      return TypeInfo{intType(8), 8, 0, 0, false};
    case Bit:
      return TypeInfo{SqlType::Bit, 1, 0, 0, false};
    case Flt4:
      return TypeInfo{SqlType::Real, 4, 0, 0, false};
    case Flt8:
      return TypeInfo{SqlType::Float, 8, 0, 0, false};
    case Money:
      return TypeInfo{SqlType::Money, 8, 0, 0, false};
    case Money4:
      return TypeInfo{SqlType::SmallMoney, 4, 0, 0, false};
    case DateTime:
      return TypeInfo{SqlType::DateTime, 8, 0, 0, false};
    case DateTim4:
      return TypeInfo{SqlType::SmallDateTime, 4, 0, 0, false};
    case DateN:
      return TypeInfo{SqlType::Date, 3, 0, 0, true};
    default:
      return std::nullopt;
  }
}

// IntN, BitN, FltN, MoneyN, DateTimN and Guid: a length byte, which must be
// one the type has.
void readNullableFixedInfo(ByteReader& in, ParamType& p) {
  std::uint8_t len = in.u8("parameter length");
  p.maxLength = len;
  bool ok =
      (p.wire == IntN && (len == 1 || len == 2 || len == 4 || len == 8)) ||
      (p.wire == BitN && len == 1) ||
      ((p.wire == FltN || p.wire == MoneyN || p.wire == DateTimN) && (len == 4 || len == 8)) ||
      (p.wire == Guid && len == 16);
  if (!ok) {
    throw ProtocolError("parameter type " + std::to_string(p.wire) + " with length " +
                        std::to_string(len));
  }
  SqlType st = p.wire == IntN     ? intType(len)
               : p.wire == BitN   ? SqlType::Bit
               : p.wire == FltN   ? (len == 4 ? SqlType::Real : SqlType::Float)
               : p.wire == MoneyN ? (len == 4 ? SqlType::SmallMoney : SqlType::Money)
               : p.wire == Guid   ? SqlType::UniqueIdentifier
               : len == 4         ? SqlType::SmallDateTime
                                  : SqlType::DateTime;
  p.type = {st, len, 0, 0, true};
}

// Decimal and numeric: length, precision (1..38) and scale (up to the precision).
void readDecimalInfo(ByteReader& in, ParamType& p) {
  p.maxLength = in.u8("decimal length");
  p.precision = in.u8("decimal precision");
  p.scale = in.u8("decimal scale");
  if (p.precision < 1 || p.precision > 38 || p.scale > p.precision) {
    throw ProtocolError("decimal(" + std::to_string(p.precision) + "," + std::to_string(p.scale) +
                        ")");
  }
  bool numeric = p.wire == NumericN || p.wire == Numeric;
  p.type = {numeric ? SqlType::Numeric : SqlType::Decimal, decimalLength(p.precision), p.precision,
            p.scale, true};
}

// time, datetime2 and datetimeoffset: the scale, which sets the length.
void readTimeInfo(ByteReader& in, ParamType& p) {
  p.scale = in.u8("time scale");
  checkScale(p.scale);
  SqlType st = p.wire == TimeN        ? SqlType::Time
               : p.wire == DateTime2N ? SqlType::DateTime2
                                      : SqlType::DateTimeOffset;
  int len = static_cast<int>(timeBytes(p.scale)) + (p.wire == TimeN ? 0 : 3) +
            (p.wire == DateTimeOffsetN ? 2 : 0);
  p.type = {st, len, 0, p.scale, true};
}

// The types of up to 8000 bytes with a two-byte length (0xFFFF: the (max)
// types), characters with their collation.
void readBigVarInfo(ByteReader& in, ParamType& p) {
  p.maxLength = in.u16le("parameter length");
  bool chars = p.wire != BigBinary && p.wire != BigVarBin;
  if (chars) readCollation(in, p);
  SqlType st = p.wire == BigChar     ? SqlType::Char
               : p.wire == BigVarChr ? SqlType::VarChar
               : p.wire == NChar     ? SqlType::NChar
               : p.wire == NVarChar  ? SqlType::NVarChar
               : p.wire == BigBinary ? SqlType::Binary
                                     : SqlType::VarBinary;
  std::int32_t len = p.maxLength == 0xFFFF ? 0x7FFFFFFF : p.maxLength;
  p.type = {st, len, 0, 0, true};
}

// The old types of up to 255 bytes, with a one-byte length.
void readShortVarInfo(ByteReader& in, ParamType& p) {
  p.maxLength = in.u8("parameter length");
  SqlType st = p.wire == Char      ? SqlType::Char
               : p.wire == VarChar ? SqlType::VarChar
               : p.wire == Binary  ? SqlType::Binary
                                   : SqlType::VarBinary;
  p.type = {st, static_cast<std::int32_t>(p.maxLength), 0, 0, true};
}

// Schema information (database, owner, schema collection) is read and not
// checked: the value is untyped xml.
void readXmlInfo(ByteReader& in, ParamType& p) {
  if (in.u8("xml schema present")) {
    in.bVarchar("xml schema database");
    in.bVarchar("xml schema owner");
    in.usVarchar("xml schema collection");
  }
  p.maxLength = 0xFFFF;
  p.type = {SqlType::Xml, -1, 0, 0, true};
}

// text, ntext and image: a four-byte length, characters with their collation.
void readLargeInfo(ByteReader& in, ParamType& p) {
  p.maxLength = in.u32le("parameter length");
  if (p.wire != Image) readCollation(in, p);
  SqlType st = p.wire == Text ? SqlType::Text : p.wire == NText ? SqlType::NText : SqlType::Image;
  p.type = {st, p.wire == NText ? 0x7FFFFFFE : 0x7FFFFFFF, 0, 0, true};
}

}  // namespace

ParamType readParamTypeInfo(ByteReader& in) {
  ParamType p;
  p.wire = in.u8("parameter type");
  p.type.nullable = true;
  if (auto fixed = fixedLengthType(p.wire)) {
    p.type = *fixed;
    return p;
  }
  switch (p.wire) {
    case Null:
      p.type.type = SqlType::Int;
      break;
    case IntN:
    case BitN:
    case FltN:
    case MoneyN:
    case DateTimN:
    case Guid:
      readNullableFixedInfo(in, p);
      break;
    case DecimalN:
    case NumericN:
    case Decimal:
    case Numeric:
      readDecimalInfo(in, p);
      break;
    case TimeN:
    case DateTime2N:
    case DateTimeOffsetN:
      readTimeInfo(in, p);
      break;
    case BigChar:
    case BigVarChr:
    case NChar:
    case NVarChar:
    case BigBinary:
    case BigVarBin:
      readBigVarInfo(in, p);
      break;
    case Char:
    case VarChar:
    case Binary:
    case VarBinary:
      readShortVarInfo(in, p);
      break;
    case Xml:
      readXmlInfo(in, p);
      break;
    case Variant:
      p.maxLength = in.u32le("sql_variant length");
      // The value names its own type; until then, an untyped NULL.
      p.type = {SqlType::Int, 4, 0, 0, true};
      break;
    case Text:
    case NText:
    case Image:
      readLargeInfo(in, p);
      break;
    default: {
      char buf[8];
      std::snprintf(buf, sizeof buf, "%02X", p.wire);
      throw ProtocolError(std::string("unsupported parameter type 0x") + buf);
    }
  }
  return p;
}

Value readVariantValue(ByteReader& in, TypeInfo& type) {
  std::uint32_t total = in.u32le("sql_variant value length");
  type = {SqlType::Int, 4, 0, 0, true};
  if (total == 0) return Value();
  ByteReader v = in.sub(total, "sql_variant value");
  std::uint8_t base = v.u8("sql_variant base type");
  std::uint8_t propBytes = v.u8("sql_variant property length");
  auto props = v.bytes(propBytes, "sql_variant properties");
  // The base type's TYPE_INFO, rebuilt from the properties, types the value.
  std::string info(1, static_cast<char>(base));
  auto need = [&](std::size_t n) {
    if (props.size() != n)
      throw ProtocolError("sql_variant of type " + std::to_string(base) + " with " +
                          std::to_string(props.size()) + " property bytes");
  };
  std::size_t rest = v.remaining();
  switch (base) {
    case Int1:
    case Int2:
    case Int4:
    case Int8:
    case Bit:
    case Flt4:
    case Flt8:
    case Money:
    case Money4:
    case DateTime:
    case DateTim4:
    case DateN:
      need(0);
      break;
    case Guid:
      need(0);
      info += static_cast<char>(16);
      break;
    case DecimalN:
    case NumericN:
      need(2);
      info += static_cast<char>(17);
      info.append(reinterpret_cast<const char*>(props.data()), 2);
      break;
    case TimeN:
    case DateTime2N:
    case DateTimeOffsetN:
      need(1);
      info += static_cast<char>(props[0]);
      break;
    case BigChar:
    case BigVarChr:
    case NChar:
    case NVarChar:
      need(7);
      info.append(reinterpret_cast<const char*>(props.data()) + 5, 2);
      info.append(reinterpret_cast<const char*>(props.data()), 5);
      break;
    case BigBinary:
    case BigVarBin:
      need(2);
      info.append(reinterpret_cast<const char*>(props.data()), 2);
      break;
    default:
      throw ProtocolError("sql_variant of base type " + std::to_string(base));
  }
  ByteReader infoReader(reinterpret_cast<const std::uint8_t*>(info.data()), info.size());
  ParamType t = readParamTypeInfo(infoReader);
  Value out;
  switch (base) {
    case DecimalN:
    case NumericN:
      out = decimalValue(v, t, rest);
      break;
    case DateN:
    case TimeN:
    case DateTime2N:
    case DateTimeOffsetN:
      out = dateTimeValue(v, t, rest);
      break;
    case BigChar:
    case BigVarChr:
    case NChar:
    case NVarChar:
    case BigBinary:
    case BigVarBin: {
      if (rest > t.maxLength) throw ProtocolError("sql_variant value longer than its type");
      auto b = v.bytes(rest, "sql_variant value");
      out = textValue(t, std::string(reinterpret_cast<const char*>(b.data()), b.size()));
      break;
    }
    default: {
      const std::size_t want = t.type.length > 0 ? static_cast<std::size_t>(t.type.length) : 0;
      if (rest != want)
        throw ProtocolError("sql_variant value of " + std::to_string(rest) + " bytes");
      out = fixedValue(v, base, rest);
      break;
    }
  }
  type = t.type;
  return out;
}

Value readParamValue(ByteReader& in, const ParamType& t) {
  switch (t.wire) {
    case Null:
      return Value();
    case Variant: {
      TypeInfo ignored;
      return readVariantValue(in, ignored);
    }
    case Int1:
      return fixedValue(in, t.wire, 1);
    case Bit:
      return fixedValue(in, t.wire, 1);
    case Int2:
      return fixedValue(in, t.wire, 2);
    case Int4:
    case Flt4:
    case Money4:
    case DateTim4:
      return fixedValue(in, t.wire, 4);
    case Int8:
    case Flt8:
    case Money:
    case DateTime:
      return fixedValue(in, t.wire, 8);
    case IntN:
    case BitN:
    case FltN:
    case MoneyN:
    case DateTimN:
    case Guid: {
      std::uint8_t len = in.u8("parameter value length");
      if (len == 0) return Value();
      if (len != t.maxLength) {
        throw ProtocolError("parameter value length " + std::to_string(len) + " for declared " +
                            std::to_string(t.maxLength));
      }
      return fixedValue(in, t.wire, len);
    }
    case DecimalN:
    case NumericN:
    case Decimal:
    case Numeric: {
      std::uint8_t len = in.u8("decimal value length");
      if (len == 0) return Value();
      return decimalValue(in, t, len);
    }
    case DateN:
    case TimeN:
    case DateTime2N:
    case DateTimeOffsetN: {
      std::uint8_t len = in.u8("date/time value length");
      if (len == 0) return Value();
      return dateTimeValue(in, t, len);
    }
    case BigChar:
    case BigVarChr:
    case NChar:
    case NVarChar:
    case BigBinary:
    case BigVarBin:
    case Xml: {
      if (t.maxLength == 0xFFFF) {
        bool isNull = false;
        std::string bytes = chunkedBytes(in, isNull);
        return isNull ? Value() : textValue(t, std::move(bytes));
      }
      std::uint16_t len = in.u16le("parameter value length");
      if (len == 0xFFFF) return Value();
      if (len > t.maxLength) {
        throw ProtocolError("parameter value of " + std::to_string(len) +
                            " bytes for a declared length of " + std::to_string(t.maxLength));
      }
      auto b = in.bytes(len, "parameter value");
      return textValue(t, std::string(reinterpret_cast<const char*>(b.data()), b.size()));
    }
    case Char:
    case VarChar:
    case Binary:
    case VarBinary: {
      std::uint8_t len = in.u8("parameter value length");
      auto b = in.bytes(len, "parameter value");
      return textValue(t, std::string(reinterpret_cast<const char*>(b.data()), b.size()));
    }
    case Text:
    case NText:
    case Image: {
      std::uint32_t len = in.u32le("parameter value length");
      if (len == 0xFFFFFFFF) return Value();
      auto b = in.bytes(len, "parameter value");
      return textValue(t, std::string(reinterpret_cast<const char*>(b.data()), b.size()));
    }
  }
  throw ProtocolError("unsupported parameter type " + std::to_string(t.wire));
}

TableParam readTableParam(ByteReader& in) {
  constexpr std::uint16_t kNullTable = 0xFFFF;
  constexpr std::uint16_t kMaxColumns = 1024;  // SQL Server's limit for a table
  constexpr std::uint16_t kDefaultColumn = 0x200;
  constexpr std::uint8_t kEnd = 0x00, kRow = 0x01, kOrderUnique = 0x10, kColumnOrdering = 0x11;
  TableParam out;
  if (!in.bVarchar("table type database").empty())
    throw ProtocolError("a table type must not name its database");
  out.typeSchema = in.bVarchar("table type schema");
  out.typeName = in.bVarchar("table type name");
  std::uint16_t count = in.u16le("table column count");
  std::vector<ParamType> types;
  if (count == kNullTable) {
    out.isNull = true;
  } else {
    if (count == 0 || count > kMaxColumns)
      throw ProtocolError("table parameter with " + std::to_string(count) + " columns");
    for (std::uint16_t c = 0; c < count; ++c) {
      in.u32le("table column user type");
      std::uint16_t flags = in.u16le("table column flags");
      ParamType t = readParamTypeInfo(in);
      if (t.wire == Tvp || t.wire == Null)
        throw ProtocolError("table column of type " + std::to_string(t.wire));
      if (!in.bVarchar("table column name").empty())
        throw ProtocolError("a table parameter's column must be nameless");
      out.columns.push_back(t.type);
      out.defaulted.push_back((flags & kDefaultColumn) != 0);
      types.push_back(t);
    }
  }
  // Ordering and uniqueness hints: read and not used.
  for (;;) {
    std::uint8_t token = in.u8("table metadata token");
    if (token == kEnd) break;
    if (token != kOrderUnique && token != kColumnOrdering)
      throw ProtocolError("table metadata token " + std::to_string(token));
    std::uint16_t n = in.u16le("table ordering count");
    for (std::uint16_t i = 0; i < n; ++i) {
      std::uint16_t col = in.u16le("table ordering column");
      if (col == 0 || col > types.size())
        throw ProtocolError("table ordering names column " + std::to_string(col));
      if (token == kOrderUnique) in.u8("table ordering flags");
    }
  }
  for (;;) {
    std::uint8_t token = in.u8("table row token");
    if (token == kEnd) break;
    if (token != kRow || out.isNull)
      throw ProtocolError("table row token " + std::to_string(token));
    std::vector<Value> row;
    row.reserve(types.size());
    for (std::size_t c = 0; c < types.size(); ++c) {
      if (out.defaulted[c]) {
        row.emplace_back();
      } else if (types[c].wire == Variant) {
        TypeInfo ignored;
        row.push_back(readVariantValue(in, ignored));
      } else {
        row.push_back(readParamValue(in, types[c]));
      }
    }
    out.rows.push_back(std::move(row));
  }
  return out;
}

}  // namespace tessel::sqld::tds
