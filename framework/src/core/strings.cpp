// Text routines and text-to-number conversions. Case mapping and comparison
// are ASCII-only: they never depend on the process locale, so two threads
// always agree on how names compare.

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string Trim(std::string_view s) {
  return TrimRight(TrimLeft(s));
}

std::string TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

std::string QuotedStr(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '\'';
  for (char c : s) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string AnsiUpperCase(std::string_view s) {
  return UpperCase(s);
}

std::string AnsiLowerCase(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = Lower(c);
  return out;
}

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = Upper(c);
  return out;
}

int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int d = static_cast<unsigned char>(Upper(a[i])) - static_cast<unsigned char>(Upper(b[i]));
    if (d != 0) return d;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

bool IsValidIdent(std::string_view s) {
  if (s.empty()) return false;
  if (!std::isalpha(static_cast<unsigned char>(s[0])) && s[0] != '_') return false;
  return std::all_of(s.begin() + 1, s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

bool TryStrToInt(std::string_view s, std::int64_t& result) {
  const std::string t = Trim(s);
  std::string_view v = t;
  bool negative = false;
  if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
    negative = v[0] == '-';
    v.remove_prefix(1);
  }
  int base = 10;
  if (!v.empty() && v[0] == '$') {
    base = 16;
    v.remove_prefix(1);
  } else if (v.size() > 1 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
    base = 16;
    v.remove_prefix(2);
  }
  if (v.empty()) return false;
  std::uint64_t magnitude = 0;
  auto res = std::from_chars(v.data(), v.data() + v.size(), magnitude, base);
  if (res.ec != std::errc() || res.ptr != v.data() + v.size()) return false;
  if (negative) {
    if (magnitude > static_cast<std::uint64_t>(INT64_MAX) + 1) return false;
    result = static_cast<std::int64_t>(0 - magnitude);
  } else {
    if (magnitude > static_cast<std::uint64_t>(INT64_MAX)) return false;
    result = static_cast<std::int64_t>(magnitude);
  }
  return true;
}

std::int64_t StrToInt(std::string_view s) {
  std::int64_t result = 0;
  if (!TryStrToInt(s, result)) {
    throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
  }
  return result;
}

bool TryStrToFloat(std::string_view s, double& result) {
  const std::string t = Trim(s);
  std::string_view v = t;
  // from_chars also reads "inf" and "nan"; only plain decimal numbers are values here.
  if (v.empty() || v.find_first_not_of("+-0123456789.eE") != std::string_view::npos) return false;
  if (v[0] == '+') v.remove_prefix(1);
  double value = 0;
  auto res = std::from_chars(v.data(), v.data() + v.size(), value);
  if (res.ec != std::errc() || res.ptr != v.data() + v.size() || !std::isfinite(value)) {
    return false;
  }
  result = value;
  return true;
}

double StrToFloat(std::string_view s) {
  double result = 0;
  if (!TryStrToFloat(s, result)) {
    throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
  }
  return result;
}

}  // namespace tessel
