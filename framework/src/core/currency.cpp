#include "framework/currency.h"

#include "framework/decimal.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {

Currency Currency::FromDouble(double value) {
  // Rounded from the double's exact binary value: scaling by 10,000 first
  // would round twice and could move a value that lies just below a half.
  try {
    return Decimal::FromDouble(value, 4).ToCurrency();
  } catch (const EConvertError&) {
    throw EConvertError("'" + FloatToStr(value) + "' is out of the currency range");
  }
}

Currency Currency::FromInteger(std::int64_t value) {
  constexpr std::int64_t kLimit = INT64_MAX / 10000;
  if (value > kLimit || value < -kLimit) {
    throw EConvertError("'" + IntToStr(value) + "' is out of the currency range");
  }
  return FromScaled(value * 10000);
}

Currency Currency::FromString(std::string_view text) {
  Decimal value;
  try {
    value = Decimal::FromString(text);
  } catch (const EConvertError&) {
    throw EConvertError("'" + std::string(text) + "' is not a valid currency value");
  }
  try {
    return value.ToCurrency();
  } catch (const EConvertError&) {
    throw EConvertError("'" + std::string(text) + "' is out of the currency range");
  }
}

std::string Currency::ToString() const {
  const bool negative = scaled_ < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(scaled_) : static_cast<std::uint64_t>(scaled_);
  std::string out = std::to_string(magnitude / 10000);
  std::string frac = std::to_string(magnitude % 10000);
  frac.insert(0, 4 - frac.size(), '0');
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  if (!frac.empty()) out += "." + frac;
  return negative ? "-" + out : out;
}

}  // namespace tessel
