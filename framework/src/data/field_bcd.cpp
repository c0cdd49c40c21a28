// Exact decimal fields: decimal(p, s) in the 19-byte numeric record.

#include <algorithm>
#include <cmath>

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel {

TBCDField::TBCDField(TComponent* owner) : TField(owner) {
  SetDataType(ftBCD);
  SetSize(4);
}

void TBCDField::SetPrecision(int value) {
  // The record layout and the values read depend on it.
  if (DataSet() != nullptr && DataSet()->Active()) DatabaseError(dbconsts::SDataSetOpen);
  precision_ = value < 1 || value > Decimal::kMaxPrecision ? Decimal::kMaxPrecision : value;
}

int TBCDField::FieldScale() const {
  return std::clamp(Size(), 0, Decimal::kMaxPrecision);
}

Decimal TBCDField::AsDecimal() const {
  unsigned char bcd[kBcdSize] = {};
  if (!GetData(bcd)) return Decimal::FromParts(false, 0, FieldScale());
  const Decimal value = BcdToDecimal(bcd);
  // A record written at another scale still reads at the field's scale when
  // no digit is lost that way.
  Decimal scaled;
  return value.Rescaled(FieldScale(), scaled) ? scaled : value;
}

void TBCDField::RangeError(const std::string& value) const {
  const int scale = FieldScale();
  const auto whole = static_cast<std::size_t>(std::max(precision_ - scale, 0));
  std::string max = whole > 0 ? std::string(whole, '9') : "0";
  if (scale > 0) max += "." + std::string(static_cast<std::size_t>(scale), '9');
  DatabaseError(Format(dbconsts::SFieldRangeError, {value, DisplayName(), "-" + max, max}));
}

void TBCDField::Store(const Decimal& value, const std::string& shown) {
  const int scale = FieldScale();
  Decimal exact;
  const bool rescaled = value.Rescaled(scale, exact);
  // The range first: a value far out of range is named as such even when it
  // also has too many decimals.
  if (value.IntegerDigits() > std::max(precision_ - scale, 0) ||
      (rescaled && !exact.FitsIn(precision_, scale))) {
    RangeError(shown);
  }
  if (!rescaled) DatabaseError(Format(dbconsts::SFieldScaleError, {shown, DisplayName(), scale}));
  unsigned char bcd[kBcdSize];
  DecimalToBcd(exact, precision_, bcd);
  SetData(bcd);
}

void TBCDField::SetAsDecimal(const Decimal& value) {
  Store(value, value.ToString());
}

std::string TBCDField::AsString() const {
  if (IsNull()) return {};
  return AsDecimal().ToString();
}

void TBCDField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  Decimal number;
  try {
    number = Decimal::FromString(value);
  } catch (const EConvertError&) {
    ConvertError(dbconsts::SInvalidDecimalValue, value);
  }
  Store(number, Trim(value));
}

double TBCDField::AsFloat() const {
  return AsDecimal().ToDouble();
}

void TBCDField::SetAsFloat(double value) {
  if (!std::isfinite(value)) ConvertError(dbconsts::SInvalidFloatValue, FloatToStr(value));
  Decimal number;
  try {
    number = Decimal::FromDouble(value, FieldScale());
  } catch (const EConvertError&) {
    RangeError(FloatToStr(value));  // more than 38 digits
  }
  Store(number, FloatToStr(value));
}

std::int32_t TBCDField::AsInteger() const {
  const Decimal value = AsDecimal();
  const Decimal whole = value.Rounded(0);
  const unsigned __int128 limit = whole.IsNegative() ? 2147483648U : 2147483647U;
  if (whole.Magnitude() > limit) ConvertError(dbconsts::SInvalidIntegerValue, value.ToString());
  const auto magnitude = static_cast<std::int64_t>(whole.Magnitude());
  return static_cast<std::int32_t>(whole.IsNegative() ? -magnitude : magnitude);
}

void TBCDField::SetAsInteger(std::int32_t value) {
  Store(Decimal::FromInteger(value), IntToStr(value));
}

Variant TBCDField::AsVariant() const {
  if (IsNull()) return Null();
  return Variant(AsDecimal().ToString());
}

void TBCDField::SetAsVariant(const Variant& value) {
  switch (value.VarType()) {
    case varEmpty:
    case varNull:
      return Clear();
    case varString:
      return SetAsString(value.AsString());
    case varCurrency: {
      const Currency money = value.AsCurrency();
      return Store(Decimal::FromCurrency(money), money.ToString());
    }
    case varInteger:
    case varSmallint: {
      const std::int64_t number = value.AsInteger();
      return Store(Decimal::FromInteger(number), std::to_string(number));
    }
    default: {
      double number = 0;
      ConvertVariant(value, dbconsts::SInvalidDecimalValue, [&] { number = value.AsFloat(); });
      return SetAsFloat(number);
    }
  }
}

}  // namespace tessel
