// Money fields: a 64-bit integer of ten-thousandths, exact in text and variants.

#include <cmath>

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/decimal.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

constexpr const char* kMinMoney = "-922337203685477.5808";
constexpr const char* kMaxMoney = "922337203685477.5807";

}  // namespace

TCurrencyField::TCurrencyField(TComponent* owner) : TField(owner) {
  SetDataType(ftCurrency);
}

void TCurrencyField::RangeError(const std::string& value) const {
  DatabaseError(Format(dbconsts::SFieldRangeError, {value, DisplayName(), kMinMoney, kMaxMoney}));
}

Currency TCurrencyField::AsMoney() const {
  std::int64_t scaled = 0;
  return GetData(&scaled) ? Currency::FromScaled(scaled) : Currency();
}

void TCurrencyField::SetAsMoney(Currency value) {
  const std::int64_t scaled = value.Scaled();
  SetData(&scaled);
}

std::string TCurrencyField::AsString() const {
  std::int64_t scaled = 0;
  if (!GetData(&scaled)) return {};
  return Currency::FromScaled(scaled).ToString();
}

void TCurrencyField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  Decimal number;
  try {
    number = Decimal::FromString(value);
  } catch (const EConvertError&) {
    ConvertError(dbconsts::SInvalidCurrencyValue, value);
  }
  // The range first: a value far out of range is named as such even when it
  // also has too many decimals.
  Currency money;
  try {
    money = (number.Scale() > 4 ? number.Rounded(4) : number).ToCurrency();
  } catch (const EConvertError&) {
    RangeError(Trim(value));
  }
  Decimal exact;
  if (!number.Rescaled(4, exact)) {
    DatabaseError(Format(dbconsts::SFieldScaleError, {Trim(value), DisplayName(), 4}));
  }
  SetAsMoney(money);
}

std::string TCurrencyField::DisplayText() const {
  std::string text = AsString();
  if (text.empty()) return text;
  // Money has four decimals; they are all shown when there, and never fewer
  // than two, so amounts line up as amounts ("120.10", "3.00", "0.0025").
  const std::size_t point = text.find('.');
  if (point == std::string::npos) return text + ".00";
  if (text.size() - point < 3) text.append(3 - (text.size() - point), '0');
  return text;
}

void TCurrencyField::SetAsFloat(double value) {
  if (!std::isfinite(value)) ConvertError(dbconsts::SInvalidFloatValue, FloatToStr(value));
  Currency money;
  try {
    money = Currency::FromDouble(value);
  } catch (const EConvertError&) {
    RangeError(FloatToStr(value));
  }
  SetAsMoney(money);
}

std::int32_t TCurrencyField::AsInteger() const {
  const Currency money = AsMoney();
  const Decimal whole = Decimal::FromCurrency(money).Rounded(0);
  const unsigned __int128 limit = whole.IsNegative() ? 2147483648U : 2147483647U;
  if (whole.Magnitude() > limit) ConvertError(dbconsts::SInvalidIntegerValue, money.ToString());
  const auto magnitude = static_cast<std::int64_t>(whole.Magnitude());
  return static_cast<std::int32_t>(whole.IsNegative() ? -magnitude : magnitude);
}

void TCurrencyField::SetAsInteger(std::int32_t value) {
  SetAsMoney(Currency::FromInteger(value));
}

Variant TCurrencyField::AsVariant() const {
  std::int64_t scaled = 0;
  if (!GetData(&scaled)) return Null();
  return Variant(Currency::FromScaled(scaled));
}

void TCurrencyField::SetAsVariant(const Variant& value) {
  switch (value.VarType()) {
    case varEmpty:
    case varNull:
      return Clear();
    case varString:
      return SetAsString(value.AsString());
    case varCurrency:
      return SetAsMoney(value.AsCurrency());
    case varInteger:
    case varSmallint: {
      const std::int64_t number = value.AsInteger();
      Currency money;
      try {
        money = Currency::FromInteger(number);
      } catch (const EConvertError&) {
        RangeError(std::to_string(number));
      }
      return SetAsMoney(money);
    }
    default: {
      double number = 0;
      ConvertVariant(value, dbconsts::SInvalidCurrencyValue, [&] { number = value.AsFloat(); });
      return SetAsFloat(number);
    }
  }
}

}  // namespace tessel
