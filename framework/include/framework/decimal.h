#pragma once

// Decimal: an exact decimal number of up to 38 digits (a sign, a magnitude
// and a scale of 0..38 fraction digits), as SQL's decimal and numeric types
// hold them. Values move between text, the 19-byte native form and this class
// without passing through binary floating point; only FromDouble and
// ToDouble touch a double, and they round exactly from or to its binary value.
// Conversions that do not fit raise EConvertError naming the value.

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/currency.h"

namespace tessel {

class Decimal {
 public:
  static constexpr int kMaxPrecision = 38;

  // Zero with scale 0.
  constexpr Decimal() = default;
  // Blanks around, a sign, digits with an optional '.' and fraction, an
  // optional exponent (e/E[+-]digits). The scale is the one the text shows:
  // "1.50" has scale 2. Raises "'<text>' is not a valid decimal value" for
  // other text or more than 38 significant digits.
  static Decimal FromString(std::string_view text);
  // The double's exact binary value rounded half away from zero to scale
  // fraction digits; raises for NaN, infinity or more than 38 digits.
  static Decimal FromDouble(double value, int scale);
  static Decimal FromInteger(std::int64_t value);
  // Scale 4.
  static Decimal FromCurrency(Currency value);
  // Raises when the magnitude has more than 38 digits or the scale is not 0..38.
  static Decimal FromParts(bool negative, unsigned __int128 magnitude, int scale);

  // Never true for zero.
  bool IsNegative() const { return negative_; }
  unsigned __int128 Magnitude() const { return magnitude_; }
  int Scale() const { return scale_; }
  // Digits before the point; 0 when the value is below 1 in magnitude.
  int IntegerDigits() const;

  // The same value with exactly `scale` fraction digits; false when a
  // non-zero digit would be dropped or the result needs more than 38 digits.
  bool Rescaled(int scale, Decimal& out) const;
  // Rounded half away from zero (or extended with zeros) to `scale` fraction
  // digits; raises when the result needs more than 38 digits.
  Decimal Rounded(int scale) const;
  // True when the value rounded to `scale` has at most `precision` digits.
  bool FitsIn(int precision, int scale) const;

  // Exactly Scale() fraction digits after a '.': "-0.50", "1000.000", "0".
  std::string ToString() const;
  // The nearest double.
  double ToDouble() const;
  // Rounded to four decimals; raises when out of the currency range.
  Currency ToCurrency() const;

  // By value: 1.5 == 1.50.
  friend bool operator==(const Decimal& a, const Decimal& b);
  friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b);

 private:
  bool negative_ = false;
  unsigned __int128 magnitude_ = 0;
  int scale_ = 0;
};

// The native form of ftBCD fields and parameters, which is also the client
// library's numeric record: byte 0 precision, byte 1 scale, byte 2 sign
// (1 for positive or zero, 0 for negative), bytes 3..18 the magnitude,
// least significant byte first.
inline constexpr int kBcdSize = 19;
// Writes the value at its own scale (rescale it first for a column's scale).
void DecimalToBcd(const Decimal& value, int precision, void* bcd);
// Raises EConvertError for a scale above 38 or a magnitude of more than 38 digits.
Decimal BcdToDecimal(const void* bcd);

}  // namespace tessel
