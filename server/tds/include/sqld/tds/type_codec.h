#pragma once

// How each SQL Server type travels: its TYPE_INFO in COLMETADATA and
// RETURNVALUE, its value in a row, and the TYPE_INFO and value of an incoming
// RPC parameter. Pure functions over buffers, any thread.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "sqld/engine.h"
#include "sqld/tds/wire.h"
#include "sqld/values.h"

namespace tessel::sqld::tds {

namespace wiretype {
constexpr std::uint8_t Null = 0x1F, Int1 = 0x30, Bit = 0x32, Int2 = 0x34, Int4 = 0x38,
                       DateTim4 = 0x3A, Flt4 = 0x3B, Money = 0x3C, DateTime = 0x3D, Flt8 = 0x3E,
                       Money4 = 0x7A, Int8 = 0x7F, Guid = 0x24, IntN = 0x26, Decimal = 0x37,
                       Numeric = 0x3F, BitN = 0x68, DecimalN = 0x6A, NumericN = 0x6C, FltN = 0x6D,
                       MoneyN = 0x6E, DateTimN = 0x6F, DateN = 0x28, TimeN = 0x29,
                       DateTime2N = 0x2A, DateTimeOffsetN = 0x2B, Char = 0x2F, VarChar = 0x27,
                       Binary = 0x2D, VarBinary = 0x25, BigVarBin = 0xA5, BigVarChr = 0xA7,
                       BigBinary = 0xAD, BigChar = 0xAF, NVarChar = 0xE7, NChar = 0xEF, Text = 0x23,
                       NText = 0x63, Image = 0x22, Variant = 0x62, Xml = 0xF1, Tvp = 0xF3;
}  // namespace wiretype

// SQL_Latin1_General_CP1_CI_AS as it travels in TYPE_INFO and ENVCHANGE.
inline constexpr std::uint8_t kDefaultCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};
// The five COLLATION bytes of a collation id (TypeInfo::collation), for a
// column and for the ENVCHANGE of a database's default collation.
std::array<std::uint8_t, 5> collationBytes(std::uint16_t collation);

// The wire type SQL Server uses for a column of this type: fixed-length types
// for NOT NULL integers, floats, money and datetimes, their nullable variants
// otherwise.
std::uint8_t wireTypeOf(const TypeInfo& type);
// Bytes of a decimal value of this precision (sign byte included).
std::uint8_t decimalLength(std::uint8_t precision);

// varchar, nvarchar and varbinary declared longer than 8000 bytes are the
// (max) types: from TDS 7.2 on they travel in chunks, and TDS 7.1 clients get
// them as text, ntext and image, as SQL Server sends them.
bool isMaxType(const TypeInfo& type);
// Before TDS 7.3, date, time, datetime2 and datetimeoffset travel as nvarchar
// text; the token writer formats their values.
TypeInfo typeForVersion(const TypeInfo& type, std::uint32_t tdsVersion);
bool isDateTime2Type(SqlType type);

// TYPE_INFO without the table name text columns carry in COLMETADATA.
void writeTypeInfo(ByteWriter& out, const TypeInfo& type);
// The value in ROW and RETURNVALUE layout (text/ntext/image with text pointer
// and timestamp). Values of another kind than the column's are converted;
// character data is cut to the declared length and char/nchar/binary padded
// to it. NULL in a NOT NULL fixed-length column travels as zero, since that
// layout has no NULL.
void writeValue(std::string& out, const TypeInfo& type, const Value& value);
// A sql_variant value: `value.variantType` is the type of the value it holds.
void writeVariant(std::string& out, const Value& value);

// The bytes of a row as it is encoded. It keeps its storage between rows, so
// a small value goes in with one bounds check and a copy.
class RowBytes {
 public:
  void clear() { used_ = 0; }
  std::size_t size() const { return used_; }
  std::string_view view() const { return {bytes_.data(), used_}; }
  // Where the next `count` bytes go; advance() past those written.
  char* room(std::size_t count) {
    if (bytes_.size() - used_ < count) bytes_.resize(std::max(bytes_.size() * 2, used_ + count));
    return bytes_.data() + used_;
  }
  void advance(std::size_t count) { used_ += count; }
  void append(std::string_view b) {
    std::memcpy(room(b.size()), b.data(), b.size());
    used_ += b.size();
  }

 private:
  std::string bytes_;
  std::size_t used_ = 0;
};

// writeValue for one result column, with the layout worked out once for all
// its rows: integers, floats, money and datetimes holding the value kind their
// column expects, and ASCII strings in char and varchar columns, are written
// directly; everything else goes through writeValue. Same bytes either way.
class ColumnEncoder {
 public:
  ColumnEncoder() = default;
  explicit ColumnEncoder(const TypeInfo& type);
  // `spare` is a buffer for writeValue, passed in to keep its storage.
  void write(RowBytes& out, const Value& value, std::string& spare) const {
    if (!writeFixed(out, value)) writeOther(out, value, spare);
  }

 private:
  enum class Path : std::uint8_t { General, Integer, Float, Money, DateTime, Cp1252 };

  // A fixed-length value of the kind its column expects; false for others.
  bool writeFixed(RowBytes& out, const Value& v) const {
    std::uint64_t bits = 0;
    const Value::Storage& held = v.data();
    switch (path_) {
      case Path::Integer:
        if (const auto* x = std::get_if<std::int64_t>(&held)) {
          bits = static_cast<std::uint64_t>(*x);
          break;
        }
        return false;
      case Path::Float:
        if (const auto* x = std::get_if<double>(&held)) {
          std::memcpy(&bits, x, 8);
          break;
        }
        return false;
      case Path::Money:
        // The high half travels first.
        if (const auto* x = std::get_if<MoneyValue>(&held)) {
          auto m = static_cast<std::uint64_t>(x->tenThousandths);
          bits = (m >> 32) | (m << 32);
          break;
        }
        return false;
      case Path::DateTime:
        if (const auto* x = std::get_if<DateTimeValue>(&held)) {
          bits = static_cast<std::uint32_t>(x->days) | (std::uint64_t{x->ticks} << 32);
          break;
        }
        return false;
      default:
        return false;
    }
    // The length byte, then the value little-endian; without a length byte
    // the value overwrites it.
    char* p = out.room(9);
    p[0] = static_cast<char>(width_);
    p += lengthByte_ ? 1 : 0;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(p, &bits, 8);
    } else {
      for (int i = 0; i < 8; ++i) p[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
    out.advance(width_ + (lengthByte_ ? 1 : 0));
    return true;
  }
  void writeOther(RowBytes& out, const Value& v, std::string& spare) const;

  TypeInfo type_;
  Path path_ = Path::General;
  std::uint8_t width_ = 0;   // bytes of a fixed-length value
  bool lengthByte_ = false;  // a nullable fixed-length value travels behind its length
  std::uint16_t limit_ = 0;  // the declared length of char and varchar
};

// An incoming parameter's TYPE_INFO, kept with what reading its value needs.
struct ParamType {
  std::uint8_t wire = 0;
  std::uint32_t maxLength = 0;  // 0xFFFF for varchar(max)-style values sent in chunks
  std::uint8_t precision = 0;
  std::uint8_t scale = 0;
  TypeInfo type;  // as the engine sees it
  // The code page char, varchar and text values arrive in: their collation's
  // (what the client read from the server), 1252 for the old types that
  // carry none.
  int codePage = 1252;
};
ParamType readParamTypeInfo(ByteReader& in);
Value readParamValue(ByteReader& in, const ParamType& type);
// A sql_variant value; `type` receives the type of the value it holds (the
// engine has no sql_variant of its own, so the value keeps its base type).
Value readVariantValue(ByteReader& in, TypeInfo& type);
// A table-valued parameter after its type byte: the type's name, its columns'
// metadata and the rows.
TableParam readTableParam(ByteReader& in);

}  // namespace tessel::sqld::tds
