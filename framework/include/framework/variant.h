#pragma once

// Variant: a value of one of several kinds, as fields and parameters pass
// them around. Unassigned (empty: "no value given") and Null ("the value is
// unknown", SQL's NULL) are distinct kinds. The others are integer (64-bit),
// float (double), currency (four decimals), boolean, date-time, string, byte
// array, and array of variants (several key values at once).
//
// Conversions: Unassigned reads as 0, "", false; Null does not convert and
// raises EVariantError; text that does not parse raises EConvertError quoting
// it; a value outside the target's range raises EVariantError naming it.
// Comparison: Unassigned < Null < every value; Null equals only Null. Numbers
// of any kind compare by value; strings compare byte for byte (case counts);
// a string compared with a number or date is read as one when it parses and
// compared as text otherwise. Booleans read as -1 (true) and 0 as numbers.
// A Variant is a value type; copies are independent (arrays share immutable storage).

#include <compare>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "framework/currency.h"
#include "framework/sysutils.h"

namespace tessel {

using TBytes = std::vector<std::uint8_t>;

// Kinds as VarType reports them; varInteger holds 64 bits.
enum TVarType : std::uint16_t {
  varEmpty = 0x0000,
  varNull = 0x0001,
  varSmallint = 0x0002,
  varInteger = 0x0003,
  varDouble = 0x0005,
  varCurrency = 0x0006,
  varDate = 0x0007,
  varBoolean = 0x000B,
  varVariant = 0x000C,
  varByte = 0x0011,
  varString = 0x0100,
  varArray = 0x2000,
  varBytes = varArray | varByte,
  varVariantArray = varArray | varVariant,
};

class Variant {
 public:
  // Unassigned.
  Variant() = default;
  Variant(int v) : value_(static_cast<std::int64_t>(v)) {}
  Variant(long v) : value_(static_cast<std::int64_t>(v)) {}
  Variant(long long v) : value_(static_cast<std::int64_t>(v)) {}
  Variant(unsigned v) : value_(static_cast<std::int64_t>(v)) {}
  Variant(double v) : value_(v) {}
  Variant(bool v) : value_(v) {}
  Variant(Currency v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(const char* v) : value_(std::string(v ? v : "")) {}
  Variant(std::string_view v) : value_(std::string(v)) {}
  Variant(TBytes v) : value_(std::move(v)) {}

  static Variant Null();
  // TDateTime is a double, so a date-time is made explicitly.
  static Variant FromDateTime(TDateTime value);
  static Variant FromArray(std::vector<Variant> items);

  TVarType VarType() const;
  bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  bool IsNull() const { return std::holds_alternative<NullValue>(value_); }
  bool IsArray() const { return std::holds_alternative<ArrayValue>(value_); }
  // "Empty", "Null", "Integer", "Double", "Currency", "Boolean", "Date", "String",
  // "Array of Byte", "Array of Variant".
  const char* TypeName() const;

  std::int64_t AsInteger() const;
  double AsFloat() const;
  Currency AsCurrency() const;
  bool AsBoolean() const;
  TDateTime AsDateTime() const;
  // Numbers in "%g" form with "."; booleans as "True"/"False"; dates with DateTimeToStr.
  std::string AsString() const;
  TBytes AsBytes() const;

  // Elements of an array of variants; other kinds raise EVariantError.
  int ArrayCount() const;
  const Variant& operator[](int index) const;

  friend bool operator==(const Variant& a, const Variant& b);
  friend std::strong_ordering operator<=>(const Variant& a, const Variant& b);

 private:
  struct NullValue {};
  struct DateValue {
    double days;
  };
  using ArrayValue = std::shared_ptr<const std::vector<Variant>>;
  [[noreturn]] void CannotConvert(const char* target) const;
  [[noreturn]] void Overflow(const char* target) const;
  friend int VarCompare(const Variant& a, const Variant& b);

  std::variant<std::monostate, NullValue, std::int64_t, double, Currency, bool, DateValue,
               std::string, TBytes, ArrayValue>
      value_;
};

inline Variant Null() {
  return Variant::Null();
}
inline Variant Unassigned() {
  return Variant();
}
inline bool VarIsNull(const Variant& v) {
  return v.IsNull();
}
inline bool VarIsEmpty(const Variant& v) {
  return v.IsEmpty();
}
inline bool VarIsArray(const Variant& v) {
  return v.IsArray();
}
inline TVarType VarType(const Variant& v) {
  return v.VarType();
}
inline Variant VarFromDateTime(TDateTime value) {
  return Variant::FromDateTime(value);
}
Variant VarArrayOf(std::initializer_list<Variant> items);
// The text of a value; "" for Unassigned and Null.
std::string VarToStr(const Variant& v);
// -1, 0 or 1 in the order described above.
int VarCompare(const Variant& a, const Variant& b);
// The value converted to the given kind (varEmpty, varNull, varInteger,
// varSmallint, varDouble, varCurrency, varDate, varBoolean, varString, varBytes).
Variant VarAsType(const Variant& v, TVarType type);

}  // namespace tessel
