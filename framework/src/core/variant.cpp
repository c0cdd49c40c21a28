#include "framework/variant.h"

#include <cmath>

#include "framework/exceptions.h"

namespace tessel {
namespace {

// Rounds half to even, as the classic variant conversions did; false when out of range.
bool RoundToInt64(double value, std::int64_t& result) {
  const double r = std::nearbyint(value);
  if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) return false;
  result = static_cast<std::int64_t>(r);
  return true;
}

int Sign(double a, double b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

template <class T>
int Sign(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// 0 for Unassigned, 1 for Null, 2 for scalar values, 3 for arrays of variants.
int Rank(const Variant& v) {
  if (v.IsEmpty()) return 0;
  if (v.IsNull()) return 1;
  return v.IsArray() ? 3 : 2;
}

bool IsText(TVarType t) {
  return t == varString || t == varBytes;
}

}  // namespace

Variant Variant::Null() {
  Variant v;
  v.value_ = NullValue{};
  return v;
}

Variant Variant::FromDateTime(TDateTime value) {
  Variant v;
  v.value_ = DateValue{value};
  return v;
}

Variant Variant::FromArray(std::vector<Variant> items) {
  Variant v;
  v.value_ = std::make_shared<const std::vector<Variant>>(std::move(items));
  return v;
}

Variant VarArrayOf(std::initializer_list<Variant> items) {
  return Variant::FromArray(std::vector<Variant>(items));
}

TVarType Variant::VarType() const {
  static constexpr TVarType kTypes[] = {varEmpty,    varNull,        varInteger, varDouble,
                                        varCurrency, varBoolean,     varDate,    varString,
                                        varBytes,    varVariantArray};
  return kTypes[value_.index()];
}

const char* Variant::TypeName() const {
  static constexpr const char* kNames[] = {
      "Empty",   "Null", "Integer", "Double",        "Currency",
      "Boolean", "Date", "String",  "Array of Byte", "Array of Variant"};
  return kNames[value_.index()];
}

void Variant::CannotConvert(const char* target) const {
  std::string message = std::string("Could not convert variant of type (") + TypeName() +
                        ") into type (" + target + ")";
  throw EVariantError(message);
}

void Variant::Overflow(const char* target) const {
  throw EVariantError(std::string("Overflow while converting variant of type (") + TypeName() +
                      ") into type (" + target + "): " + AsString());
}

std::int64_t Variant::AsInteger() const {
  std::int64_t r = 0;
  switch (VarType()) {
    case varEmpty:
      return 0;
    case varInteger:
      return std::get<std::int64_t>(value_);
    case varDouble:
    case varDate:
      if (!RoundToInt64(AsFloat(), r)) Overflow("Integer");
      return r;
    case varCurrency: {
      const std::int64_t scaled = std::get<Currency>(value_).Scaled();
      r = scaled / 10000;
      const std::int64_t rest = scaled % 10000;
      // Half to even on the exact decimal amount.
      if (rest > 5000 || (rest == 5000 && (r & 1))) ++r;
      if (rest < -5000 || (rest == -5000 && (r & 1))) --r;
      return r;
    }
    case varBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    case varString:
      return StrToInt(std::get<std::string>(value_));
    default:
      CannotConvert("Integer");
  }
}

double Variant::AsFloat() const {
  switch (VarType()) {
    case varEmpty:
      return 0;
    case varInteger:
      return static_cast<double>(std::get<std::int64_t>(value_));
    case varDouble:
      return std::get<double>(value_);
    case varDate:
      return std::get<DateValue>(value_).days;
    case varCurrency:
      return std::get<Currency>(value_).ToDouble();
    case varBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    case varString:
      return StrToFloat(std::get<std::string>(value_));
    default:
      CannotConvert("Double");
  }
}

Currency Variant::AsCurrency() const {
  switch (VarType()) {
    case varCurrency:
      return std::get<Currency>(value_);
    case varInteger:
      return Currency::FromInteger(std::get<std::int64_t>(value_));
    case varString:
      return Currency::FromString(std::get<std::string>(value_));
    case varEmpty:
    case varDouble:
    case varDate:
    case varBoolean:
      return Currency::FromDouble(AsFloat());
    default:
      CannotConvert("Currency");
  }
}

bool Variant::AsBoolean() const {
  switch (VarType()) {
    case varEmpty:
      return false;
    case varBoolean:
      return std::get<bool>(value_);
    case varInteger:
      return std::get<std::int64_t>(value_) != 0;
    case varCurrency:
      return std::get<Currency>(value_).Scaled() != 0;
    case varDouble:
    case varDate:
      return AsFloat() != 0;
    case varString: {
      const std::string& s = std::get<std::string>(value_);
      if (SameText(Trim(s), "true")) return true;
      if (SameText(Trim(s), "false")) return false;
      double d = 0;
      if (TryStrToFloat(s, d)) return d != 0;
      throw EConvertError("'" + s + "' is not a valid boolean value");
    }
    default:
      CannotConvert("Boolean");
  }
}

TDateTime Variant::AsDateTime() const {
  switch (VarType()) {
    case varEmpty:
      return 0;
    case varDate:
      return std::get<DateValue>(value_).days;
    case varInteger:
    case varDouble:
    case varCurrency:
      return AsFloat();
    case varString:
      return StrToDateTime(std::get<std::string>(value_));
    default:
      CannotConvert("Date");
  }
}

std::string Variant::AsString() const {
  switch (VarType()) {
    case varEmpty:
      return {};
    case varInteger:
      return IntToStr(std::get<std::int64_t>(value_));
    case varDouble:
      return FloatToStr(std::get<double>(value_));
    case varCurrency:
      return std::get<Currency>(value_).ToString();
    case varBoolean:
      return std::get<bool>(value_) ? "True" : "False";
    case varDate:
      return DateTimeToStr(std::get<DateValue>(value_).days);
    case varString:
      return std::get<std::string>(value_);
    case varBytes: {
      const TBytes& b = std::get<TBytes>(value_);
      return std::string(b.begin(), b.end());
    }
    default:
      CannotConvert("String");
  }
}

TBytes Variant::AsBytes() const {
  switch (VarType()) {
    case varEmpty:
      return {};
    case varBytes:
      return std::get<TBytes>(value_);
    case varString: {
      const std::string& s = std::get<std::string>(value_);
      return TBytes(s.begin(), s.end());
    }
    default:
      CannotConvert("Array of Byte");
  }
}

int Variant::ArrayCount() const {
  if (!IsArray()) CannotConvert("Array of Variant");
  return static_cast<int>(std::get<ArrayValue>(value_)->size());
}

const Variant& Variant::operator[](int index) const {
  const int count = ArrayCount();
  if (index < 0 || index >= count) {
    throw EVariantError(Format("Variant array index out of bounds (%d of %d)", {index, count}));
  }
  return (*std::get<ArrayValue>(value_))[index];
}

int VarCompare(const Variant& a, const Variant& b) {
  const int ra = Rank(a), rb = Rank(b);
  if (ra != rb || ra < 2) return Sign(ra, rb);
  if (ra == 3) {
    const int n = std::min(a.ArrayCount(), b.ArrayCount());
    for (int i = 0; i < n; ++i) {
      if (const int c = VarCompare(a[i], b[i])) return c;
    }
    return Sign(a.ArrayCount(), b.ArrayCount());
  }
  const TVarType ta = a.VarType(), tb = b.VarType();
  if (IsText(ta) && IsText(tb)) return Sign(a.AsString().compare(b.AsString()), 0);
  if (ta == varBoolean && tb == varBoolean) return Sign(a.AsBoolean(), b.AsBoolean());
  if (ta == varInteger && tb == varInteger) return Sign(a.AsInteger(), b.AsInteger());
  if (ta == varCurrency && tb == varCurrency) return Sign(a.AsCurrency(), b.AsCurrency());
  if (IsText(ta) || IsText(tb)) {
    // Text against a number or date: by value when the text reads as one.
    const Variant& text = IsText(ta) ? a : b;
    const Variant& other = IsText(ta) ? b : a;
    const int flip = IsText(ta) ? 1 : -1;
    double value = 0;
    const std::string s = text.AsString();
    const bool parsed =
        other.VarType() == varDate ? TryStrToDateTime(s, value) : TryStrToFloat(s, value);
    if (parsed) return flip * Sign(value, other.AsFloat());
    return flip * Sign(s.compare(other.AsString()), 0);
  }
  return Sign(a.AsFloat(), b.AsFloat());
}

bool operator==(const Variant& a, const Variant& b) {
  return VarCompare(a, b) == 0;
}

std::strong_ordering operator<=>(const Variant& a, const Variant& b) {
  const int c = VarCompare(a, b);
  return c < 0 ? std::strong_ordering::less
               : (c > 0 ? std::strong_ordering::greater : std::strong_ordering::equal);
}

std::string VarToStr(const Variant& v) {
  return v.IsNull() ? std::string() : v.AsString();
}

Variant VarAsType(const Variant& v, TVarType type) {
  switch (type) {
    case varEmpty:
      return Variant();
    case varNull:
      return Variant::Null();
    case varSmallint: {
      const std::int64_t i = v.AsInteger();
      if (i < INT16_MIN || i > INT16_MAX) {
        throw EVariantError("Overflow while converting variant of type (" +
                            std::string(v.TypeName()) + ") into type (Smallint): " + v.AsString());
      }
      return Variant(static_cast<int>(i));
    }
    case varInteger:
      return Variant(static_cast<long long>(v.AsInteger()));
    case varDouble:
      return Variant(v.AsFloat());
    case varCurrency:
      return Variant(v.AsCurrency());
    case varDate:
      return Variant::FromDateTime(v.AsDateTime());
    case varBoolean:
      return Variant(v.AsBoolean());
    case varString:
      return Variant(v.AsString());
    case varBytes:
      return Variant(v.AsBytes());
    default:
      throw EVariantError(Format("Invalid variant type %d", {static_cast<int>(type)}));
  }
}

}  // namespace tessel
