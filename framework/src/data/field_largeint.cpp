// 64-bit integer fields.

#include <cmath>
#include <cstdint>
#include <limits>

#include "framework/data_consts.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

}  // namespace

TLargeintField::TLargeintField(TComponent* owner) : TField(owner) {
  SetDataType(ftLargeint);
}

std::int64_t TLargeintField::AsLargeInt() const {
  std::int64_t value = 0;
  return GetData(&value) ? value : 0;
}

void TLargeintField::SetAsLargeInt(std::int64_t value) {
  SetData(&value);
}

std::string TLargeintField::AsString() const {
  if (IsNull()) return {};
  return std::to_string(AsLargeInt());
}

void TLargeintField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  std::int64_t number = 0;
  if (!TryStrToInt(value, number)) ConvertError(dbconsts::SInvalidIntegerValue, value);
  SetAsLargeInt(number);
}

std::int32_t TLargeintField::AsInteger() const {
  const std::int64_t value = AsLargeInt();
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    DatabaseError(Format(
        dbconsts::SFieldRangeError,
        {std::to_string(value), DisplayName(), IntToStr(std::numeric_limits<std::int32_t>::min()),
         IntToStr(std::numeric_limits<std::int32_t>::max())}));
  }
  return static_cast<std::int32_t>(value);
}

void TLargeintField::SetAsFloat(double value) {
  // 2^63 itself is already out of range as a double.
  if (std::isnan(value) || value < -9223372036854775808.0 || value >= 9223372036854775808.0) {
    DatabaseError(Format(dbconsts::SFieldRangeError, {FloatToStr(value), DisplayName(),
                                                      std::to_string(kMin), std::to_string(kMax)}));
  }
  SetAsLargeInt(std::llround(value));
}

Variant TLargeintField::AsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant(static_cast<long long>(AsLargeInt()));
}

void TLargeintField::SetAsVariant(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return Clear();
  if (value.VarType() == varString) return SetAsString(value.AsString());
  ConvertVariant(value, dbconsts::SInvalidIntegerValue, [&] { SetAsLargeInt(value.AsInteger()); });
}

}  // namespace tessel
