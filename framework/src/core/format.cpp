// Format and the number-to-text routines. Numbers are produced with
// std::to_chars, which never consults the locale, so "." is the decimal
// separator whatever the host (or another thread) has set.

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

constexpr int kDefaultGeneralPrecision = 15;

// The decimal digits of |value| rounded to `precision` significant digits, and
// the power of ten of the first digit.
struct Digits {
  std::string digits;
  int exponent = 0;
};

Digits SignificantDigits(double value, int precision) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific,
                           precision - 1);
  std::string text(buf, res.ptr);
  Digits d;
  const auto e = text.find('e');
  for (std::size_t i = 0; i < e; ++i) {
    if (text[i] != '.') d.digits += text[i];
  }
  d.exponent = std::atoi(text.c_str() + e + 1);
  return d;
}

std::string NonFinite(double value) {
  if (std::isnan(value)) return "NAN";
  return value < 0 ? "-INF" : "INF";
}

std::string Scientific(double value, int precision) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (precision < 1) precision = 1;
  if (precision > 18) precision = 18;
  Digits d = SignificantDigits(value, precision);
  if (value == 0) d.exponent = 0;
  std::string out = std::signbit(value) && value != 0 ? "-" : "";
  out += d.digits.substr(0, 1);
  if (d.digits.size() > 1) out += "." + d.digits.substr(1);
  std::string exp = std::to_string(std::abs(d.exponent));
  out += d.exponent < 0 ? "E-" : "E+";
  out += std::string(exp.size() < 3 ? 3 - exp.size() : 0, '0') + exp;
  return out;
}

std::string Fixed(double value, int decimals) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (decimals > 18) decimals = 18;
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  std::string out(buf, res.ptr);
  // "-0.00" reads as a negative number that is not there.
  if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
  return out;
}

std::string WithThousands(const std::string& fixed) {
  const std::size_t start = fixed[0] == '-' ? 1 : 0;
  std::size_t end = fixed.find('.');
  if (end == std::string::npos) end = fixed.size();
  std::string out = fixed.substr(0, start);
  for (std::size_t i = start; i < end; ++i) {
    if (i > start && (end - i) % 3 == 0) out += ',';
    out += fixed[i];
  }
  return out + fixed.substr(end);
}

std::string Hex(std::int64_t value, int min_digits) {
  // Negative values in the 32-bit range print as their 32-bit pattern, as
  // integers of the classic framework did; wider ones as 64-bit.
  std::uint64_t bits = static_cast<std::uint64_t>(value);
  if (value < 0 && value >= INT32_MIN) bits &= 0xFFFFFFFFu;
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, bits, 16);
  std::string out(buf, res.ptr);
  for (auto& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (static_cast<int>(out.size()) < min_digits) out.insert(0, min_digits - out.size(), '0');
  return out;
}

std::string Decimal(std::int64_t value, int min_digits) {
  const bool negative = value < 0;
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : value;
  std::string out = std::to_string(magnitude);
  if (static_cast<int>(out.size()) < min_digits) out.insert(0, min_digits - out.size(), '0');
  return negative ? "-" + out : out;
}

std::string GeneralFloat(double value, int precision) {
  if (!std::isfinite(value)) return NonFinite(value);
  if (value == 0) return "0";
  if (precision < 1) precision = 1;
  if (precision > 18) precision = 18;
  Digits d = SignificantDigits(value, precision);
  while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
  std::string out = value < 0 ? "-" : "";
  if (d.exponent >= precision || d.exponent < -5) {
    out += d.digits.substr(0, 1);
    if (d.digits.size() > 1) out += "." + d.digits.substr(1);
    return out + "E" + std::to_string(d.exponent);
  }
  if (d.exponent < 0) return out + "0." + std::string(-d.exponent - 1, '0') + d.digits;
  const std::size_t whole = static_cast<std::size_t>(d.exponent) + 1;
  if (d.digits.size() <= whole) return out + d.digits + std::string(whole - d.digits.size(), '0');
  return out + d.digits.substr(0, whole) + "." + d.digits.substr(whole);
}

class Formatter {
 public:
  Formatter(std::string_view format, std::initializer_list<FormatArg> args)
      : format_(format), args_(args.begin()), count_(args.size()) {}

  std::string Run() {
    std::size_t i = 0;
    while (i < format_.size()) {
      const std::size_t pct = format_.find('%', i);
      if (pct == std::string_view::npos) {
        out_.append(format_.substr(i));
        break;
      }
      out_.append(format_.substr(i, pct - i));
      i = Directive(pct);
    }
    return std::move(out_);
  }

 private:
  [[noreturn]] void Invalid(std::size_t start, std::size_t end) const {
    throw EConvertError("Format '" + std::string(format_) +
                        "' invalid or incompatible with argument (directive '" +
                        std::string(format_.substr(start, end - start)) + "')");
  }

  const FormatArg& NextArg(std::size_t start, std::size_t end) {
    if (next_ >= count_) {
      throw EConvertError("No argument for format '" + std::string(format_) + "' (directive '" +
                          std::string(format_.substr(start, end - start)) + "')");
    }
    return args_[next_++];
  }

  // Digits or "*" at position i; -1 when neither is there.
  int Number(std::size_t& i, std::size_t start) {
    if (i < format_.size() && format_[i] == '*') {
      ++i;
      const auto& arg = NextArg(start, i);
      const auto* v = std::get_if<std::int64_t>(&arg.value());
      if (!v || *v < 0 || *v > 4096) Invalid(start, i);
      return static_cast<int>(*v);
    }
    int n = -1;
    while (i < format_.size() && std::isdigit(static_cast<unsigned char>(format_[i]))) {
      n = (n < 0 ? 0 : n) * 10 + (format_[i] - '0');
      if (n > 4096) Invalid(start, i);
      ++i;
    }
    return n;
  }

  std::size_t Directive(std::size_t start) {
    std::size_t i = start + 1;
    if (i < format_.size() && format_[i] == '%') {
      out_ += '%';
      return i + 1;
    }
    int first = Number(i, start);
    if (i < format_.size() && format_[i] == ':') {
      if (first < 0) Invalid(start, i);
      next_ = static_cast<std::size_t>(first);
      ++i;
      first = -1;
    }
    bool left = false;
    if (first < 0 && i < format_.size() && format_[i] == '-') {
      left = true;
      ++i;
    }
    int width = first >= 0 ? first : Number(i, start);
    int precision = -1;
    if (i < format_.size() && format_[i] == '.') {
      ++i;
      precision = Number(i, start);
      if (precision < 0) precision = 0;
    }
    if (i >= format_.size()) Invalid(start, i);
    const char type = static_cast<char>(std::tolower(static_cast<unsigned char>(format_[i])));
    ++i;
    std::string text = Convert(type, precision, start, i);
    if (width > static_cast<int>(text.size())) {
      const std::string pad(width - text.size(), ' ');
      text = left ? text + pad : pad + text;
    }
    out_ += text;
    return i;
  }

  std::string Convert(char type, int precision, std::size_t start, std::size_t end) {
    const auto& value = NextArg(start, end).value();
    const auto* integer = std::get_if<std::int64_t>(&value);
    const auto* real = std::get_if<double>(&value);
    const auto* text = std::get_if<std::string>(&value);
    switch (type) {
      case 'd':
        if (!integer) Invalid(start, end);
        return Decimal(*integer, precision);
      case 'u':
        if (!integer) Invalid(start, end);
        return *integer < 0 ? Decimal(*integer & 0xFFFFFFFFll, precision)
                            : Decimal(*integer, precision);
      case 'x':
        if (!integer) Invalid(start, end);
        return Hex(*integer, precision);
      case 's':
        if (!text) Invalid(start, end);
        return precision >= 0 ? text->substr(0, precision) : *text;
      case 'g':
      case 'e':
      case 'f':
      case 'n': {
        if (!integer && !real) Invalid(start, end);
        const double v = real ? *real : static_cast<double>(*integer);
        if (type == 'g')
          return GeneralFloat(v, precision < 0 ? kDefaultGeneralPrecision : precision);
        if (type == 'e') return Scientific(v, precision < 0 ? kDefaultGeneralPrecision : precision);
        const std::string fixed = Fixed(v, precision < 0 ? 2 : precision);
        return type == 'f' ? fixed : WithThousands(fixed);
      }
      default:
        Invalid(start, end);
    }
  }

  std::string_view format_;
  const FormatArg* args_;
  std::size_t count_;
  std::size_t next_ = 0;
  std::string out_;
};

}  // namespace

std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
  return Formatter(format, args).Run();
}

std::string FloatToStr(double value) {
  return GeneralFloat(value, kDefaultGeneralPrecision);
}

std::string IntToStr(std::int64_t value) {
  return std::to_string(value);
}

}  // namespace tessel
