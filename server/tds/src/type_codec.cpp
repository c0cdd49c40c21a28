#include "sqld/tds/type_codec.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "collation/sql_collation.h"
#include "sqld/date_text.h"
#include "sqld/tds/charset.h"
#include "value_convert.h"

namespace tessel::sqld::tds {

// A character column's own collation, so that a client decodes char and
// varchar by the right code page.
std::array<std::uint8_t, 5> collationBytes(std::uint16_t collation) {
  if (collation == 0) return std::to_array(kDefaultCollation);
  const auto found = collation::CollationById(collation);
  return found ? found->TdsBytes() : std::to_array(kDefaultCollation);
}

namespace {

void appendCollation(std::string& out, const TypeInfo& t) {
  const std::array<std::uint8_t, 5> bytes = collationBytes(t.collation);
  out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

bool isCharType(SqlType t) {
  return t == SqlType::Char || t == SqlType::VarChar || t == SqlType::NChar ||
         t == SqlType::NVarChar;
}

bool isUnicode(SqlType t) {
  return t == SqlType::NChar || t == SqlType::NVarChar || t == SqlType::NText || t == SqlType::Xml;
}

bool isBlob(SqlType t) {
  return t == SqlType::Text || t == SqlType::NText || t == SqlType::Image;
}

std::uint8_t fixedWidth(SqlType t) {
  switch (t) {
    case SqlType::TinyInt:
    case SqlType::Bit:
      return 1;
    case SqlType::SmallInt:
      return 2;
    case SqlType::Int:
    case SqlType::Real:
    case SqlType::SmallMoney:
    case SqlType::SmallDateTime:
      return 4;
    case SqlType::BigInt:
    case SqlType::Float:
    case SqlType::Money:
    case SqlType::DateTime:
      return 8;
    case SqlType::UniqueIdentifier:
      return 16;
    default:
      return 0;
  }
}

// A declared character or binary length that fits TYPE_INFO's two bytes.
std::uint16_t shortLength(const TypeInfo& t) {
  return static_cast<std::uint16_t>(std::clamp<std::int32_t>(t.length, 1, 8000));
}

// Character or binary bytes as they travel: encoded, cut to the declared
// length and padded for the fixed-length types.
std::string encodedBytes(const TypeInfo& t, const Value& v, std::size_t limit) {
  std::string bytes;
  if (t.type == SqlType::Binary || t.type == SqlType::VarBinary || t.type == SqlType::Image) {
    bytes = convert::toBytes(v);
  } else if (isUnicode(t.type)) {
    bytes = utf8ToUcs2le(convert::toText(v));
  } else {
    bytes = utf8ToCodePage(convert::toText(v), collation::CodePageById(t.collation));
  }
  if (bytes.size() > limit) {
    std::size_t cut = limit;
    if (isUnicode(t.type)) {
      cut &= ~std::size_t{1};
      // Never leave the high half of a surrogate pair at the end.
      if (cut >= 2) {
        auto hi = static_cast<unsigned char>(bytes[cut - 1]);
        if (hi >= 0xD8 && hi <= 0xDB) cut -= 2;
      }
    }
    bytes.resize(cut);
  }
  if (t.type == SqlType::Char || t.type == SqlType::Binary) {
    bytes.resize(limit, t.type == SqlType::Char ? ' ' : '\0');
  } else if (t.type == SqlType::NChar) {
    while (bytes.size() + 2 <= limit) bytes.append(" \0", 2);
  }
  return bytes;
}

void putLe(std::string& out, std::uint64_t v, int bytes) {
  char le[8];
  for (int i = 0; i < 8; ++i) le[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  out.append(le, static_cast<std::size_t>(bytes));
}

// char and varchar from a string value, encoded straight into `out` behind a
// two-byte length: the same bytes encodedBytes gives.
void writeShortCp1252(std::string& out, const TypeInfo& t, const std::string& text) {
  const std::size_t limit = shortLength(t);
  const std::size_t at = out.size();
  out.append(2, '\0');
  appendUtf8AsCodePage(out, text, collation::CodePageById(t.collation));
  std::size_t len = out.size() - at - 2;
  if (len > limit) {
    out.resize(at + 2 + limit);
    len = limit;
  }
  if (t.type == SqlType::Char && len < limit) {
    out.append(limit - len, ' ');
    len = limit;
  }
  out[at] = static_cast<char>(len & 0xFF);
  out[at + 1] = static_cast<char>((len >> 8) & 0xFF);
}

void writeFixed(std::string& out, const TypeInfo& t, const Value& v) {
  switch (t.type) {
    case SqlType::TinyInt:
    case SqlType::Bit:
    case SqlType::SmallInt:
    case SqlType::Int:
    case SqlType::BigInt: {
      const std::int64_t* held = std::get_if<std::int64_t>(&v.data());
      std::int64_t x = held ? *held : convert::toInt64(v);
      if (t.type == SqlType::Bit) x = x != 0;
      putLe(out, static_cast<std::uint64_t>(x), fixedWidth(t.type));
      break;
    }
    case SqlType::Real: {
      float f = static_cast<float>(convert::toDouble(v));
      std::uint32_t bits;
      std::memcpy(&bits, &f, 4);
      putLe(out, bits, 4);
      break;
    }
    case SqlType::Float: {
      const double* held = std::get_if<double>(&v.data());
      double d = held ? *held : convert::toDouble(v);
      std::uint64_t bits;
      std::memcpy(&bits, &d, 8);
      putLe(out, bits, 8);
      break;
    }
    case SqlType::Money: {
      auto m = static_cast<std::uint64_t>(convert::toMoney(v));
      putLe(out, m >> 32, 4);  // high half first
      putLe(out, m & 0xFFFFFFFFu, 4);
      break;
    }
    case SqlType::SmallMoney:
      putLe(out, static_cast<std::uint64_t>(convert::toMoney(v)), 4);
      break;
    case SqlType::DateTime: {
      DateTimeValue d = convert::toDateTime(v);
      putLe(out, static_cast<std::uint32_t>(d.days), 4);
      putLe(out, d.ticks, 4);
      break;
    }
    case SqlType::SmallDateTime: {
      DateTimeValue d = convert::toDateTime(v);
      // Minutes, rounded from the 1/300-second ticks like SQL Server does.
      std::uint32_t minutes = (d.ticks + 9000) / 18000;
      std::int32_t days = d.days;
      if (minutes >= 1440) minutes -= 1440, ++days;
      putLe(out, static_cast<std::uint16_t>(days), 2);
      putLe(out, minutes, 2);
      break;
    }
    case SqlType::UniqueIdentifier: {
      GuidValue g = convert::toGuid(v);
      out.append(reinterpret_cast<const char*>(g.bytes.data()), g.bytes.size());
      break;
    }
    default:
      break;
  }
}

void writeDecimal(std::string& out, const TypeInfo& t, const Value& v) {
  std::uint8_t precision = t.precision ? t.precision : 18;
  DecimalValue d = convert::toDecimal(v, precision, t.scale);
  unsigned __int128 mag = convert::magnitude(d.unscaled);
  std::size_t need = 1;
  for (unsigned __int128 m = mag; m != 0; m >>= 8) ++need;
  std::size_t len = std::max<std::size_t>(decimalLength(precision), need);
  len = std::min<std::size_t>(std::max<std::size_t>(len, 5), 17);
  // Lengths are 5, 9, 13 or 17.
  len = ((len - 1 + 3) / 4) * 4 + 1;
  out.push_back(static_cast<char>(len));
  out.push_back(d.unscaled < 0 ? 0 : 1);
  for (std::size_t i = 0; i + 1 < len; ++i) {
    out.push_back(static_cast<char>(static_cast<std::uint8_t>(mag & 0xFF)));
    mag >>= 8;
  }
}

// Bytes the time part of a value of this scale takes (3, 4 or 5).
int timeBytes(int scale) {
  return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

// date: 3 bytes of days since 0001-01-01; time: units of 10^-scale s since
// midnight; datetime2: time then date; datetimeoffset: the UTC time and date
// then the offset in minutes.
void writeDateTime2(std::string& out, const TypeInfo& t, const Value& v) {
  DateTime2Value d = convert::toDateTime2(v);
  int scale = std::min<int>(t.scale, 7);
  if (t.type == SqlType::DateTimeOffset) {
    std::int64_t local = std::int64_t{d.days} * 864000000000 + d.units;
    std::int64_t utc = local - std::int64_t{d.offsetMinutes} * 600000000;
    d.days = static_cast<std::int32_t>(utc / 864000000000);
    d.units = utc % 864000000000;
    if (d.units < 0) d.units += 864000000000, --d.days;
  }
  int timeLen = t.type == SqlType::Date ? 0 : timeBytes(scale);
  int len =
      timeLen + (t.type == SqlType::Time ? 0 : 3) + (t.type == SqlType::DateTimeOffset ? 2 : 0);
  out.push_back(static_cast<char>(len));
  if (timeLen) {
    std::int64_t div = 1;
    for (int i = scale; i < 7; ++i) div *= 10;
    putLe(out, static_cast<std::uint64_t>(d.units / div), timeLen);
  }
  if (t.type != SqlType::Time) putLe(out, static_cast<std::uint32_t>(std::max(d.days, 0)), 3);
  if (t.type == SqlType::DateTimeOffset) putLe(out, static_cast<std::uint16_t>(d.offsetMinutes), 2);
}

}  // namespace

// A sql_variant value: its total length, then the held value's base type,
// the length and bytes of the type's properties and the value without the
// length prefix it has in a column of its own type.
void writeVariant(std::string& out, const Value& v) {
  using namespace wiretype;
  if (v.isNull() || !v.variantType) {
    putLe(out, 0, 4);
    return;
  }
  TypeInfo held = *v.variantType;
  held.nullable = false;
  std::string props;
  std::uint8_t base = 0;
  std::size_t skip = 0;  // length prefix of the value in its own column layout
  switch (held.type) {
    case SqlType::Decimal:
    case SqlType::Numeric:
      base = held.type == SqlType::Decimal ? DecimalN : NumericN;
      props.push_back(static_cast<char>(held.precision ? held.precision : 18));
      props.push_back(static_cast<char>(held.scale));
      skip = 1;
      break;
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::NChar:
    case SqlType::NVarChar:
      base = wireTypeOf(held);
      appendCollation(props, held);
      putLe(props, shortLength(held), 2);
      skip = 2;
      break;
    case SqlType::Binary:
    case SqlType::VarBinary:
      base = wireTypeOf(held);
      putLe(props, shortLength(held), 2);
      skip = 2;
      break;
    case SqlType::Time:
    case SqlType::DateTime2:
    case SqlType::DateTimeOffset:
      base = wireTypeOf(held);
      props.push_back(static_cast<char>(std::min<std::uint8_t>(held.scale, 7)));
      skip = 1;
      break;
    case SqlType::Date:
      base = DateN;
      skip = 1;
      break;
    case SqlType::UniqueIdentifier:
      base = Guid;
      skip = 1;
      break;
    default:
      // Fixed-length types travel in their NOT NULL form.
      base = wireTypeOf(held);
      break;
  }
  Value inner = v;
  inner.variantType.reset();
  std::string data;
  writeValue(data, held, inner);
  data.erase(0, std::min(skip, data.size()));
  putLe(out, 2 + props.size() + data.size(), 4);
  out.push_back(static_cast<char>(base));
  out.push_back(static_cast<char>(props.size()));
  out += props;
  out += data;
}

std::uint8_t decimalLength(std::uint8_t precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

std::uint8_t wireTypeOf(const TypeInfo& t) {
  using namespace wiretype;
  const bool n = t.nullable;
  switch (t.type) {
    case SqlType::TinyInt:
      return n ? IntN : Int1;
    case SqlType::SmallInt:
      return n ? IntN : Int2;
    case SqlType::Int:
      return n ? IntN : Int4;
    case SqlType::BigInt:
      return n ? IntN : Int8;
    case SqlType::Bit:
      return n ? BitN : Bit;
    case SqlType::Real:
      return n ? FltN : Flt4;
    case SqlType::Float:
      return n ? FltN : Flt8;
    case SqlType::Money:
      return n ? MoneyN : Money;
    case SqlType::SmallMoney:
      return n ? MoneyN : Money4;
    case SqlType::DateTime:
      return n ? DateTimN : DateTime;
    case SqlType::SmallDateTime:
      return n ? DateTimN : DateTim4;
    case SqlType::Decimal:
      return DecimalN;
    case SqlType::Numeric:
      return NumericN;
    case SqlType::Char:
      return BigChar;
    case SqlType::VarChar:
      return BigVarChr;
    case SqlType::NChar:
      return NChar;
    case SqlType::NVarChar:
      return NVarChar;
    case SqlType::Text:
      return Text;
    case SqlType::NText:
      return NText;
    case SqlType::Image:
      return Image;
    case SqlType::Binary:
      return BigBinary;
    case SqlType::VarBinary:
      return BigVarBin;
    case SqlType::UniqueIdentifier:
      return Guid;
    case SqlType::Date:
      return DateN;
    case SqlType::Time:
      return TimeN;
    case SqlType::DateTime2:
      return DateTime2N;
    case SqlType::DateTimeOffset:
      return DateTimeOffsetN;
    case SqlType::Variant:
      return Variant;
    case SqlType::Xml:
      return Xml;
  }
  return IntN;
}

bool isMaxType(const TypeInfo& t) {
  return (t.type == SqlType::VarChar || t.type == SqlType::NVarChar ||
          t.type == SqlType::VarBinary) &&
         (t.length > 8000 || t.length < 0);
}

bool isDateTime2Type(SqlType t) {
  return t == SqlType::Date || t == SqlType::Time || t == SqlType::DateTime2 ||
         t == SqlType::DateTimeOffset;
}

TypeInfo typeForVersion(const TypeInfo& t, std::uint32_t tdsVersion) {
  if (t.type == SqlType::Xml && tdsVersion < 0x72000000) {
    // Before TDS 7.2 xml travels as ntext, as SQL Server sends it.
    TypeInfo out = t;
    out.type = SqlType::NText;
    out.length = 0x7FFFFFFE;
    return out;
  }
  if (isDateTime2Type(t.type) && tdsVersion < 0x73000000) {
    // Before TDS 7.3 these types travel as their text, as SQL Server sends them.
    TypeInfo out = t;
    out.type = SqlType::NVarChar;
    out.length = dateTime2TextLength(t) * 2;
    out.precision = 0;
    out.scale = 0;
    return out;
  }
  if (!isMaxType(t) || tdsVersion >= 0x72000000) return t;
  TypeInfo out = t;
  out.type = t.type == SqlType::VarChar    ? SqlType::Text
             : t.type == SqlType::NVarChar ? SqlType::NText
                                           : SqlType::Image;
  out.length = out.type == SqlType::NText ? 0x7FFFFFFE : 0x7FFFFFFF;
  return out;
}

void writeTypeInfo(ByteWriter& out, const TypeInfo& t) {
  std::uint8_t wire = wireTypeOf(t);
  out.u8(wire);
  if (isMaxType(t)) {
    out.u16le(0xFFFF);
    if (t.type != SqlType::VarBinary) {
      out.bytes(collationBytes(t.collation));
    }
    return;
  }
  if (t.type == SqlType::Xml) {
    out.u8(0);  // no schema collection: untyped xml
  } else if (t.type == SqlType::Variant) {
    out.u32le(8016);
  } else if (t.type == SqlType::Time || t.type == SqlType::DateTime2 ||
             t.type == SqlType::DateTimeOffset) {
    out.u8(std::min<std::uint8_t>(t.scale, 7));
  } else if (t.type == SqlType::Date) {
  } else if (t.type == SqlType::Decimal || t.type == SqlType::Numeric) {
    std::uint8_t precision = t.precision ? t.precision : 18;
    out.u8(decimalLength(precision));
    out.u8(precision);
    out.u8(t.scale);
  } else if (isCharType(t.type)) {
    out.u16le(shortLength(t));
    out.bytes(collationBytes(t.collation));
  } else if (t.type == SqlType::Binary || t.type == SqlType::VarBinary) {
    out.u16le(shortLength(t));
  } else if (isBlob(t.type)) {
    out.u32le(static_cast<std::uint32_t>(t.length > 0 ? t.length : 0x7FFFFFFF));
    if (t.type != SqlType::Image) out.bytes(collationBytes(t.collation));
  } else if (t.nullable || t.type == SqlType::UniqueIdentifier) {
    out.u8(fixedWidth(t.type));
  }
}

void writeValue(std::string& out, const TypeInfo& t, const Value& v) {
  if (t.type == SqlType::Variant) return writeVariant(out, v);
  if (isMaxType(t) || t.type == SqlType::Xml) {
    // Chunked: total length, the data as one chunk, a zero-length terminator
    // (xml as UTF-16 text, as nvarchar(max)).
    if (v.isNull()) {
      putLe(out, ~std::uint64_t{0}, 8);
      return;
    }
    std::string bytes = encodedBytes(t, v, std::numeric_limits<std::size_t>::max());
    putLe(out, bytes.size(), 8);
    if (!bytes.empty()) {
      putLe(out, bytes.size(), 4);
      out += bytes;
    }
    putLe(out, 0, 4);
    return;
  }
  if (isDateTime2Type(t.type)) {
    if (v.isNull()) {
      out.push_back(0);
    } else {
      writeDateTime2(out, t, v);
    }
  } else if (t.type == SqlType::Decimal || t.type == SqlType::Numeric) {
    if (v.isNull()) {
      out.push_back(0);
    } else {
      writeDecimal(out, t, v);
    }
  } else if (isCharType(t.type) || t.type == SqlType::Binary || t.type == SqlType::VarBinary) {
    if (v.isNull()) {
      putLe(out, 0xFFFF, 2);
    } else if (const std::string* text = std::get_if<std::string>(&v.data());
               text && (t.type == SqlType::Char || t.type == SqlType::VarChar)) {
      writeShortCp1252(out, t, *text);
    } else {
      std::string bytes = encodedBytes(t, v, shortLength(t));
      putLe(out, bytes.size(), 2);
      out += bytes;
    }
  } else if (isBlob(t.type)) {
    if (v.isNull()) {
      out.push_back(0);
      return;
    }
    TextPointer ptr = v.textPointer.value_or(TextPointer{});
    out.push_back(16);
    out.append(reinterpret_cast<const char*>(ptr.pointer.data()), ptr.pointer.size());
    out.append(reinterpret_cast<const char*>(ptr.timestamp.data()), ptr.timestamp.size());
    std::string bytes = encodedBytes(t, v, static_cast<std::size_t>(std::max(t.length, 0)));
    putLe(out, bytes.size(), 4);
    out += bytes;
  } else if (t.nullable || t.type == SqlType::UniqueIdentifier) {
    if (v.isNull()) {
      out.push_back(0);
    } else {
      out.push_back(static_cast<char>(fixedWidth(t.type)));
      writeFixed(out, t, v);
    }
  } else {
    writeFixed(out, t, v);
  }
}

ColumnEncoder::ColumnEncoder(const TypeInfo& type) : type_(type) {
  switch (type.type) {
    case SqlType::TinyInt:
    case SqlType::SmallInt:
    case SqlType::Int:
    case SqlType::BigInt:
      path_ = Path::Integer;
      break;
    case SqlType::Float:
      path_ = Path::Float;
      break;
    case SqlType::Money:
      path_ = Path::Money;
      break;
    case SqlType::DateTime:
      path_ = Path::DateTime;
      break;
    case SqlType::Char:
    case SqlType::VarChar:
      path_ = isMaxType(type) ? Path::General : Path::Cp1252;
      limit_ = shortLength(type);
      break;
    default:
      path_ = Path::General;
      break;
  }
  width_ = fixedWidth(type.type);
  lengthByte_ = type.nullable;
}

void ColumnEncoder::writeOther(RowBytes& out, const Value& v, std::string& spare) const {
  // ASCII is the same in code page 1252: cut to the declared length, and
  // char padded to it.
  const auto* text = std::get_if<std::string>(&v.data());
  if (path_ == Path::Cp1252 && text && asciiPrefixLength(*text) == text->size()) {
    const std::size_t len = std::min<std::size_t>(text->size(), limit_);
    const std::size_t total = type_.type == SqlType::Char ? limit_ : len;
    char* p = out.room(2 + total);
    p[0] = static_cast<char>(total & 0xFF);
    p[1] = static_cast<char>((total >> 8) & 0xFF);
    std::memcpy(p + 2, text->data(), len);
    if (total > len) std::memset(p + 2 + len, ' ', total - len);
    out.advance(2 + total);
    return;
  }
  spare.clear();
  writeValue(spare, type_, v);
  out.append(spare);
}

}  // namespace tessel::sqld::tds
