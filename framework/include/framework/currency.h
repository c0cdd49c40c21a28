#pragma once

// Currency: a fixed-point amount with four decimals, stored as a 64-bit
// integer of ten-thousandths, so sums of money do not drift the way binary
// floating point does. Conversions that do not fit raise EConvertError.

#include <cstdint>
#include <string>
#include <string_view>

namespace tessel {

class Currency {
 public:
  constexpr Currency() = default;
  static constexpr Currency FromScaled(std::int64_t scaled) {
    Currency c;
    c.scaled_ = scaled;
    return c;
  }
  // Rounds to four decimals (half away from zero); raises EConvertError when out of range.
  static Currency FromDouble(double value);
  static Currency FromInteger(std::int64_t value);
  // "12.5", "-0.0001", "1e3"; exact, then rounded half away from zero to four
  // decimals. Raises EConvertError "'<text>' is not a valid currency value", or
  // "... is out of the currency range".
  static Currency FromString(std::string_view text);

  constexpr std::int64_t Scaled() const { return scaled_; }
  double ToDouble() const { return static_cast<double>(scaled_) / 10000.0; }
  // Shortest exact text with "." as separator: "12.5", "-3", "0.0001".
  std::string ToString() const;

  friend constexpr bool operator==(Currency a, Currency b) { return a.scaled_ == b.scaled_; }
  friend constexpr auto operator<=>(Currency a, Currency b) { return a.scaled_ <=> b.scaled_; }

 private:
  std::int64_t scaled_ = 0;
};

}  // namespace tessel
