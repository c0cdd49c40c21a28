#include "value_convert.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

namespace tessel::sqld::tds::convert {

namespace {

constexpr __int128 kMax = static_cast<__int128>(~static_cast<unsigned __int128>(0) >> 1);

// 10^n for the 0..38 digits a decimal has; larger n is clamped.
__int128 pow10(int n) {
  __int128 r = 1;
  for (int i = 0; i < n && i < 38; ++i) r *= 10;
  return r;
}

// Changes the scale, rounding half away from zero; saturates instead of
// overflowing when a value is too large for the new scale.
__int128 rescale(__int128 unscaled, int from, int to) {
  if (to >= from) {
    __int128 out;
    if (__builtin_mul_overflow(unscaled, pow10(to - from), &out)) {
      return unscaled < 0 ? -kMax : kMax;
    }
    return out;
  }
  __int128 div = pow10(from - to);
  __int128 q = unscaled / div;
  __int128 rem = unscaled % div;
  if (rem >= div - rem) ++q;
  if (-rem >= div + rem) --q;
  return q;
}

std::string decimalText(const DecimalValue& d) {
  unsigned __int128 v = magnitude(d.unscaled);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v != 0);
  while (digits.size() <= d.scale) digits.insert(digits.begin(), '0');
  if (d.scale > 0) digits.insert(digits.end() - d.scale, '.');
  return (d.unscaled < 0 ? "-" : "") + digits;
}

}  // namespace

std::int64_t toInt64(const Value& v) {
  return std::visit(
      [](const auto& x) -> std::int64_t {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::int64_t>) {
          return x;
        } else if constexpr (std::is_same_v<T, double>) {
          return std::isfinite(x) ? static_cast<std::int64_t>(std::llround(x)) : 0;
        } else if constexpr (std::is_same_v<T, DecimalValue>) {
          __int128 whole = rescale(x.unscaled, x.scale, 0);
          return whole > INT64_MAX   ? INT64_MAX
                 : whole < INT64_MIN ? INT64_MIN
                                     : static_cast<std::int64_t>(whole);
        } else if constexpr (std::is_same_v<T, MoneyValue>) {
          return static_cast<std::int64_t>(rescale(x.tenThousandths, 4, 0));
        } else if constexpr (std::is_same_v<T, std::string>) {
          return std::strtoll(x.c_str(), nullptr, 10);
        } else {
          return 0;
        }
      },
      v.data());
}

double toDouble(const Value& v) {
  return std::visit(
      [](const auto& x) -> double {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, double>) {
          return static_cast<double>(x);
        } else if constexpr (std::is_same_v<T, DecimalValue>) {
          return static_cast<double>(static_cast<long double>(x.unscaled) /
                                     static_cast<long double>(pow10(x.scale)));
        } else if constexpr (std::is_same_v<T, MoneyValue>) {
          return static_cast<double>(x.tenThousandths) / 10000.0;
        } else if constexpr (std::is_same_v<T, std::string>) {
          return std::strtod(x.c_str(), nullptr);
        } else {
          return 0.0;
        }
      },
      v.data());
}

DecimalValue toDecimal(const Value& v, std::uint8_t precision, std::uint8_t scale) {
  DecimalValue out{0, precision, scale};
  if (auto* d = std::get_if<DecimalValue>(&v.data())) {
    out.unscaled = rescale(d->unscaled, d->scale, scale);
  } else if (auto* i = std::get_if<std::int64_t>(&v.data())) {
    out.unscaled = rescale(*i, 0, scale);
  } else if (auto* m = std::get_if<MoneyValue>(&v.data())) {
    out.unscaled = rescale(m->tenThousandths, 4, scale);
  } else {
    long double x = toDouble(v) * static_cast<long double>(pow10(scale));
    if (std::isfinite(x) && std::fabs(x) < 1e37L)
      out.unscaled = static_cast<__int128>(std::llroundl(x));
  }
  return out;
}

std::int64_t toMoney(const Value& v) {
  if (auto* m = std::get_if<MoneyValue>(&v.data())) return m->tenThousandths;
  return static_cast<std::int64_t>(toDecimal(v, 19, 4).unscaled);
}

DateTimeValue toDateTime(const Value& v) {
  if (auto* d = std::get_if<DateTimeValue>(&v.data())) return *d;
  return {};
}

std::string toText(const Value& v) {
  return std::visit(
      [](const auto& x) -> std::string {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return x;
        } else if constexpr (std::is_same_v<T, BytesValue>) {
          return x.bytes;
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          return std::to_string(x);
        } else if constexpr (std::is_same_v<T, double>) {
          char buf[32];
          std::snprintf(buf, sizeof buf, "%.17g", x);
          return buf;
        } else if constexpr (std::is_same_v<T, DecimalValue>) {
          return decimalText(x);
        } else if constexpr (std::is_same_v<T, MoneyValue>) {
          return decimalText(DecimalValue{x.tenThousandths, 19, 4});
        } else {
          return {};
        }
      },
      v.data());
}

std::string toBytes(const Value& v) {
  if (auto* b = std::get_if<BytesValue>(&v.data())) return b->bytes;
  if (auto* g = std::get_if<GuidValue>(&v.data())) {
    return std::string(reinterpret_cast<const char*>(g->bytes.data()), g->bytes.size());
  }
  return toText(v);
}

DateTime2Value toDateTime2(const Value& v) {
  if (auto* d = std::get_if<DateTime2Value>(&v.data())) return *d;
  DateTime2Value out;
  if (auto* dt = std::get_if<DateTimeValue>(&v.data())) {
    out.days = dt->days + 693595;  // 0001-01-01 to 1900-01-01
    out.units = (std::int64_t{dt->ticks} * 100000 + 1) / 3;
  }
  return out;
}

GuidValue toGuid(const Value& v) {
  if (auto* g = std::get_if<GuidValue>(&v.data())) return *g;
  GuidValue out;
  if (auto* b = std::get_if<BytesValue>(&v.data()); b && b->bytes.size() == 16) {
    for (std::size_t i = 0; i < 16; ++i) out.bytes[i] = static_cast<std::uint8_t>(b->bytes[i]);
  }
  return out;
}

}  // namespace tessel::sqld::tds::convert
