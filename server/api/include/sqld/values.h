#pragma once

// Values and column descriptions as SQL Server types them. The engine produces
// them; the TDS layer encodes them on the wire. Character data is UTF-8 here;
// the TDS layer converts it to the column's code page or to UCS-2.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace tessel::sqld {

enum class SqlType : std::uint8_t {
  TinyInt,
  SmallInt,
  Int,
  BigInt,
  Bit,
  Real,
  Float,
  Decimal,
  Numeric,
  Money,
  SmallMoney,
  DateTime,
  SmallDateTime,
  Char,
  VarChar,
  NChar,
  NVarChar,
  Text,
  NText,
  Image,
  Binary,
  VarBinary,
  UniqueIdentifier,
  Date,
  Time,
  DateTime2,
  DateTimeOffset,
  Variant,  // sql_variant: each value carries the type it holds
  Xml,      // untyped xml: well-formed text, neither compared nor sorted
};

// A declared type: length is the byte length SQL Server reports (char(10): 10,
// nvarchar(10): 20, int: 4, text and image: 2147483647, ntext: 1073741823 * 2).
struct TypeInfo {
  SqlType type = SqlType::Int;
  std::int32_t length = 4;
  std::uint8_t precision = 0;  // decimal and numeric
  std::uint8_t scale = 0;
  bool nullable = true;
  // Character types: the collation's id (collation/sql_collation.h); 0 is
  // the server's SQL_Latin1_General_CP1_CI_AS.
  std::uint16_t collation = 0;
};

struct Column {
  std::string name;
  TypeInfo type;
  std::uint32_t userType = 0;  // the user type SQL Server reports (0 for most columns)
  bool identity = false;
  bool updatable = false;  // a base-table column that an UPDATE may set
  std::string tableName;   // base table of a text, ntext or image column (for TEXTPTR reads)
  // char(n) or binary(n) values travel as stored, without padding to n (a
  // column created with ANSI_PADDING off that allows NULL).
  bool unpadded = false;
};

// Days since 1900-01-01 and ticks of 1/300 second since midnight, as datetime stores them.
struct DateTimeValue {
  std::int32_t days = 0;
  std::uint32_t ticks = 0;
  bool operator==(const DateTimeValue&) const = default;
};

// date, time, datetime2 and datetimeoffset: days since 0001-01-01 and the
// time of day in 100-nanosecond units, both local to the offset from UTC
// (datetimeoffset only; 0 for the others). scale in TypeInfo is the number of
// fractional-second digits (0 to 7).
struct DateTime2Value {
  std::int32_t days = 0;
  std::int64_t units = 0;
  std::int16_t offsetMinutes = 0;
  bool operator==(const DateTime2Value&) const = default;
};

// An exact number: unscaled * 10^-scale. 38 digits fit in 128 bits.
struct DecimalValue {
  __int128 unscaled = 0;
  std::uint8_t precision = 18;
  std::uint8_t scale = 0;
  bool operator==(const DecimalValue&) const = default;
};

// money and smallmoney, in ten-thousandths.
struct MoneyValue {
  std::int64_t tenThousandths = 0;
  bool operator==(const MoneyValue&) const = default;
};

struct BytesValue {
  std::string bytes;
  bool operator==(const BytesValue&) const = default;
};

struct GuidValue {
  std::array<std::uint8_t, 16> bytes{};  // in the order they travel on the wire
  bool operator==(const GuidValue&) const = default;
};

// Text pointer and timestamp that travel with each text, ntext and image value;
// READTEXT accepts the pointer to read the value again.
struct TextPointer {
  std::array<std::uint8_t, 16> pointer{};
  std::array<std::uint8_t, 8> timestamp{};
  bool operator==(const TextPointer&) const = default;
};

// One value. Integers of every width and bit are int64; real and float are
// double; char, varchar, nchar, nvarchar, text and ntext are UTF-8 strings;
// binary, varbinary and image are BytesValue.
class Value {
 public:
  using Storage = std::variant<std::monostate, std::int64_t, double, DecimalValue, MoneyValue,
                               DateTimeValue, std::string, BytesValue, GuidValue, DateTime2Value>;

  Value() = default;
  Value(std::int64_t v) : data_(v) {}
  Value(double v) : data_(v) {}
  Value(DecimalValue v) : data_(v) {}
  Value(MoneyValue v) : data_(v) {}
  Value(DateTimeValue v) : data_(v) {}
  Value(std::string v) : data_(std::move(v)) {}
  Value(BytesValue v) : data_(std::move(v)) {}
  Value(GuidValue v) : data_(v) {}
  Value(DateTime2Value v) : data_(v) {}

  bool isNull() const { return std::holds_alternative<std::monostate>(data_); }
  const Storage& data() const { return data_; }
  Storage& data() { return data_; }

  // Present only on text, ntext and image values that have a row behind them.
  std::optional<TextPointer> textPointer;
  // sql_variant values: the type of the value held.
  std::optional<TypeInfo> variantType;

 private:
  Storage data_;
};

}  // namespace tessel::sqld
