#include "framework/decimal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

using u128 = unsigned __int128;

constexpr std::array<u128, 39> kPow10 = [] {
  std::array<u128, 39> table{};
  table[0] = 1;
  for (std::size_t i = 1; i < table.size(); ++i) table[i] = table[i - 1] * 10;
  return table;
}();

// 10^38: every magnitude is below it.
constexpr u128 kLimit = kPow10[Decimal::kMaxPrecision];

int DigitCount(u128 value) {
  int digits = 1;
  while (digits < static_cast<int>(kPow10.size()) && value >= kPow10[digits]) ++digits;
  return digits;
}

std::string DigitsOf(u128 value) {
  char buffer[40];
  char* p = buffer + sizeof buffer;
  do {
    *--p = static_cast<char>('0' + static_cast<int>(value % 10));
    value /= 10;
  } while (value != 0);
  return std::string(p, buffer + sizeof buffer);
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

[[noreturn]] void InvalidText(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid decimal value");
}

// The digits of a number with `scale` fraction digits (leading zeros allowed,
// trailing fraction zeros counted). False when it needs more than 38 digits.
bool FromDigits(std::string_view digits, int scale, bool negative, Decimal& out) {
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string_view::npos) {
    out = Decimal::FromParts(false, 0, std::clamp(scale, 0, Decimal::kMaxPrecision));
    return true;
  }
  digits.remove_prefix(first);
  // A scale beyond 38 is acceptable only when the extra digits are zeros.
  while (scale > Decimal::kMaxPrecision && !digits.empty() && digits.back() == '0') {
    digits.remove_suffix(1);
    --scale;
  }
  if (scale > Decimal::kMaxPrecision) return false;
  const int zeros = scale < 0 ? -scale : 0;
  if (static_cast<int>(digits.size()) + zeros > Decimal::kMaxPrecision) return false;
  u128 magnitude = 0;
  for (char c : digits) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
  magnitude *= kPow10[static_cast<std::size_t>(zeros)];
  out = Decimal::FromParts(negative, magnitude, scale < 0 ? 0 : scale);
  return true;
}

}  // namespace

Decimal Decimal::FromParts(bool negative, unsigned __int128 magnitude, int scale) {
  if (magnitude >= kLimit || scale < 0 || scale > kMaxPrecision) {
    throw EConvertError("A decimal value holds at most 38 digits and 38 decimals");
  }
  Decimal d;
  d.negative_ = negative && magnitude != 0;
  d.magnitude_ = magnitude;
  d.scale_ = scale;
  return d;
}

Decimal Decimal::FromString(std::string_view text) {
  const std::string trimmed = Trim(text);
  std::string_view v = trimmed;
  bool negative = false;
  if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
    negative = v[0] == '-';
    v.remove_prefix(1);
  }
  std::string digits;
  std::size_t i = 0;
  while (i < v.size() && IsDigit(v[i])) digits += v[i++];
  int fraction = 0;
  if (i < v.size() && v[i] == '.') {
    for (++i; i < v.size() && IsDigit(v[i]); ++i, ++fraction) digits += v[i];
  }
  if (digits.empty()) InvalidText(text);
  long exponent = 0;
  if (i < v.size() && (v[i] == 'e' || v[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < v.size() && (v[i] == '-' || v[i] == '+')) exp_negative = v[i++] == '-';
    if (i == v.size() || !IsDigit(v[i])) InvalidText(text);
    for (; i < v.size() && IsDigit(v[i]); ++i) {
      // Beyond this no value of 38 digits is reachable; keep counting safely.
      if (exponent < 100000) exponent = exponent * 10 + (v[i] - '0');
    }
    if (exp_negative) exponent = -exponent;
  }
  if (i != v.size()) InvalidText(text);
  Decimal result;
  if (!FromDigits(digits, static_cast<int>(fraction - exponent), negative, result)) {
    InvalidText(text);
  }
  return result;
}

Decimal Decimal::FromDouble(double value, int scale) {
  if (!std::isfinite(value) || scale < 0 || scale > kMaxPrecision) {
    throw EConvertError("'" + FloatToStr(value) + "' is not a valid decimal value");
  }
  // value = m * 2^(exp - 53) with a 53-bit m, so 53 - exp fraction digits
  // write it exactly; one more than the scale decides the rounding.
  int exp = 0;
  std::frexp(value, &exp);
  const int exact = std::max(53 - exp, 0);
  const int precision = std::min(std::max(exact, scale + 1), 1100);
  char buffer[1500];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
  if (ec != std::errc()) {
    throw EConvertError("'" + FloatToStr(value) + "' is not a valid decimal value");
  }
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t point = text.find('.');
  std::string digits(text.substr(0, point));
  const std::string_view fraction = text.substr(point + 1);
  digits.append(fraction.substr(0, static_cast<std::size_t>(scale)));
  const bool round_up = fraction[static_cast<std::size_t>(scale)] >= '5';
  Decimal result;
  if (!FromDigits(digits, scale, negative, result)) {
    throw EConvertError("'" + FloatToStr(value) + "' does not fit in a decimal of 38 digits");
  }
  if (!round_up) return result;
  if (result.magnitude_ + 1 >= kLimit) {
    throw EConvertError("'" + FloatToStr(value) + "' does not fit in a decimal of 38 digits");
  }
  return FromParts(negative, result.magnitude_ + 1, scale);
}

Decimal Decimal::FromInteger(std::int64_t value) {
  const bool negative = value < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  return FromParts(negative, magnitude, 0);
}

Decimal Decimal::FromCurrency(Currency value) {
  Decimal d = FromInteger(value.Scaled());
  d.scale_ = 4;
  return d;
}

int Decimal::IntegerDigits() const {
  const u128 whole = magnitude_ / kPow10[static_cast<std::size_t>(scale_)];
  return whole == 0 ? 0 : DigitCount(whole);
}

bool Decimal::Rescaled(int scale, Decimal& out) const {
  if (scale < 0 || scale > kMaxPrecision) return false;
  if (scale >= scale_) {
    const int grow = scale - scale_;
    if (magnitude_ >= kPow10[static_cast<std::size_t>(kMaxPrecision - grow)]) return false;
    out = FromParts(negative_, magnitude_ * kPow10[static_cast<std::size_t>(grow)], scale);
    return true;
  }
  const u128 divisor = kPow10[static_cast<std::size_t>(scale_ - scale)];
  if (magnitude_ % divisor != 0) return false;
  out = FromParts(negative_, magnitude_ / divisor, scale);
  return true;
}

Decimal Decimal::Rounded(int scale) const {
  if (scale < 0 || scale > kMaxPrecision) {
    throw EConvertError("A decimal value holds at most 38 decimals");
  }
  if (scale >= scale_) {
    Decimal out;
    if (!Rescaled(scale, out)) {
      throw EConvertError("'" + ToString() + "' does not fit in a decimal of 38 digits");
    }
    return out;
  }
  const u128 divisor = kPow10[static_cast<std::size_t>(scale_ - scale)];
  u128 quotient = magnitude_ / divisor;
  // The remainder is below 10^38, so doubling it stays within 128 bits.
  if ((magnitude_ % divisor) * 2 >= divisor) ++quotient;
  return FromParts(negative_, quotient, scale);
}

bool Decimal::FitsIn(int precision, int scale) const {
  if (scale < 0 || scale > kMaxPrecision || precision < 1) return false;
  Decimal r;
  if (scale >= scale_) {
    if (!Rescaled(scale, r)) return false;
  } else {
    r = Rounded(scale);
  }
  return r.magnitude_ == 0 || DigitCount(r.magnitude_) <= precision;
}

std::string Decimal::ToString() const {
  std::string digits = DigitsOf(magnitude_);
  const auto scale = static_cast<std::size_t>(scale_);
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  if (scale > 0) digits.insert(digits.size() - scale, 1, '.');
  return negative_ ? "-" + digits : digits;
}

double Decimal::ToDouble() const {
  const std::string text = ToString();
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

Currency Decimal::ToCurrency() const {
  const Decimal r = scale_ > 4 ? Rounded(4) : *this;
  Decimal four;
  // 2^63 ten-thousandths: the most negative amount; one less is the largest.
  constexpr u128 kMinMagnitude = static_cast<u128>(1) << 63;
  if (!r.Rescaled(4, four) || four.magnitude_ > kMinMagnitude ||
      (!four.negative_ && four.magnitude_ == kMinMagnitude)) {
    throw EConvertError("'" + ToString() + "' is out of the currency range");
  }
  const auto magnitude = static_cast<std::uint64_t>(four.magnitude_);
  return Currency::FromScaled(
      static_cast<std::int64_t>(four.negative_ ? 0 - magnitude : magnitude));
}

bool operator==(const Decimal& a, const Decimal& b) {
  return (a <=> b) == 0;
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
  if (a.negative_ != b.negative_) {
    return a.negative_ ? std::strong_ordering::less : std::strong_ordering::greater;
  }
  // Whole parts first, then the fractions at their common scale: aligning the
  // full magnitudes could need more than 128 bits.
  const u128 pa = kPow10[static_cast<std::size_t>(a.scale_)];
  const u128 pb = kPow10[static_cast<std::size_t>(b.scale_)];
  std::strong_ordering order = a.magnitude_ / pa <=> b.magnitude_ / pb;
  if (order == 0) {
    const int scale = std::max(a.scale_, b.scale_);
    const u128 fa = (a.magnitude_ % pa) * kPow10[static_cast<std::size_t>(scale - a.scale_)];
    const u128 fb = (b.magnitude_ % pb) * kPow10[static_cast<std::size_t>(scale - b.scale_)];
    order = fa <=> fb;
  }
  if (a.negative_) return 0 <=> order;
  return order;
}

void DecimalToBcd(const Decimal& value, int precision, void* bcd) {
  auto* bytes = static_cast<std::uint8_t*>(bcd);
  bytes[0] = static_cast<std::uint8_t>(precision);
  bytes[1] = static_cast<std::uint8_t>(value.Scale());
  bytes[2] = value.IsNegative() ? 0 : 1;
  u128 magnitude = value.Magnitude();
  for (int i = 0; i < 16; ++i, magnitude >>= 8) {
    bytes[3 + i] = static_cast<std::uint8_t>(magnitude & 0xFF);
  }
}

Decimal BcdToDecimal(const void* bcd) {
  const auto* bytes = static_cast<const std::uint8_t*>(bcd);
  u128 magnitude = 0;
  for (int i = 15; i >= 0; --i) magnitude = (magnitude << 8) | bytes[3 + i];
  if (bytes[1] > Decimal::kMaxPrecision || magnitude >= kLimit) {
    throw EConvertError("A numeric value of scale " + std::to_string(bytes[1]) +
                        " or of more than 38 digits is not a valid decimal value");
  }
  return Decimal::FromParts(bytes[2] == 0, magnitude, bytes[1]);
}

}  // namespace tessel
