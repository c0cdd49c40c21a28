#include "framework/currency.h"

#include <cmath>
#include <cstdlib>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {

Currency Currency::FromDouble(double value) {
  const double scaled = std::round(value * 10000.0);
  // 2^63 is exactly representable; anything at or beyond it does not fit.
  if (!(scaled > -9223372036854775808.0 && scaled < 9223372036854775808.0)) {
    throw EConvertError("'" + FloatToStr(value) + "' is out of the currency range");
  }
  return FromScaled(static_cast<std::int64_t>(scaled));
}

Currency Currency::FromInteger(std::int64_t value) {
  constexpr std::int64_t kLimit = INT64_MAX / 10000;
  if (value > kLimit || value < -kLimit) {
    throw EConvertError("'" + IntToStr(value) + "' is out of the currency range");
  }
  return FromScaled(value * 10000);
}

Currency Currency::FromString(std::string_view text) {
  const std::string t = Trim(text);
  std::string_view v = t;
  const bool negative = !v.empty() && v[0] == '-';
  if (!v.empty() && (v[0] == '-' || v[0] == '+')) v.remove_prefix(1);
  const auto dot = v.find('.');
  std::string_view whole = v.substr(0, dot);
  std::string_view frac = dot == std::string_view::npos ? std::string_view() : v.substr(dot + 1);
  auto digits = [](std::string_view s) {
    return s.find_first_not_of("0123456789") == std::string_view::npos;
  };
  if ((whole.empty() && frac.empty()) || !digits(whole) || !digits(frac) || whole.size() > 15) {
    // Not plain decimal text: exponent forms go through the float reader.
    double d = 0;
    if (!TryStrToFloat(t, d)) {
      throw EConvertError("'" + std::string(text) + "' is not a valid currency value");
    }
    return FromDouble(d);
  }
  std::int64_t scaled = 0;
  for (char c : whole) scaled = scaled * 10 + (c - '0');
  for (std::size_t i = 0; i < 4; ++i) scaled = scaled * 10 + (i < frac.size() ? frac[i] - '0' : 0);
  // Half away from zero on the fifth decimal.
  if (frac.size() > 4 && frac[4] >= '5') ++scaled;
  return FromScaled(negative ? -scaled : scaled);
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
