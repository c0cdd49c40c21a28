// String, integer, Boolean and floating-point fields.

#include "framework/field_kinds.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "date_text.h"
#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

// Reads a string's native form; empty for null.
std::string ReadText(const TField& field, int capacity) {
  std::vector<char> buffer(static_cast<std::size_t>(capacity) + 1, '\0');
  if (!field.GetData(buffer.data())) return {};
  return std::string(buffer.data(), strnlen(buffer.data(), static_cast<std::size_t>(capacity)));
}

bool ParseBoolean(const std::string& text, bool& value) {
  static const char* const kTrue[] = {"true", "t", "yes", "y", "1"};
  static const char* const kFalse[] = {"false", "f", "no", "n", "0"};
  const std::string t = Trim(text);
  for (const char* word : kTrue) {
    if (SameText(t, word)) return value = true, true;
  }
  for (const char* word : kFalse) {
    if (SameText(t, word)) return value = false, true;
  }
  return false;
}

}  // namespace

// --- TStringField ---------------------------------------------------------------

TStringField::TStringField(TComponent* owner) : TField(owner) {
  SetDataType(ftString);
  SetSize(20);
}

std::string TStringField::AsString() const {
  return ReadText(*this, Size());
}

void TStringField::SetAsString(const std::string& value) {
  if (static_cast<int>(value.size()) > Size()) {
    DatabaseError(Format(dbconsts::SStringTooLong, {value, DisplayName(), Size()}));
  }
  // The native form ends at the first zero: the rest would be lost unseen.
  if (value.find('\0') != std::string::npos) {
    DatabaseError(Format(dbconsts::SStringHasZero, {DisplayName()}));
  }
  std::vector<char> buffer(static_cast<std::size_t>(Size()) + 1, '\0');
  std::memcpy(buffer.data(), value.data(), value.size());
  SetData(buffer.data());
}

std::int32_t TStringField::AsInteger() const {
  const std::string text = AsString();
  std::int64_t value = 0;
  if (!TryStrToInt(text, value) || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    ConvertError(dbconsts::SInvalidIntegerValue, text);
  }
  return static_cast<std::int32_t>(value);
}

void TStringField::SetAsInteger(std::int32_t value) {
  SetAsString(IntToStr(value));
}

double TStringField::AsFloat() const {
  const std::string text = AsString();
  double value = 0;
  if (!TryStrToFloat(text, value)) ConvertError(dbconsts::SInvalidFloatValue, text);
  return value;
}

void TStringField::SetAsFloat(double value) {
  SetAsString(FloatToStr(value));
}

bool TStringField::AsBoolean() const {
  const std::string text = AsString();
  bool value = false;
  if (!ParseBoolean(text, value)) ConvertError(dbconsts::SInvalidBoolValue, text);
  return value;
}

void TStringField::SetAsBoolean(bool value) {
  SetAsString(value ? "True" : "False");
}

TDateTime TStringField::AsDateTime() const {
  const std::string text = AsString();
  TDateTime value = 0;
  if (!TryStrToDateTime(text, value)) ConvertError(dbconsts::SInvalidDateTimeValue, text);
  return value;
}

void TStringField::SetAsDateTime(TDateTime value) {
  SetAsString(DateTimeToIsoText(value));
}

// --- integer kinds --------------------------------------------------------------

TIntegerKindField::TIntegerKindField(TComponent* owner, TFieldType type, std::int32_t min,
                                     std::int32_t max)
    : TField(owner), min_(min), max_(max) {
  SetDataType(type);
}

void TIntegerKindField::CheckRange(double value) const {
  if (std::isnan(value) || value < min_ || value > max_) {
    DatabaseError(Format(dbconsts::SFieldRangeError,
                         {FloatToStr(value), DisplayName(), IntToStr(min_), IntToStr(max_)}));
  }
}

std::int32_t TIntegerKindField::AsInteger() const {
  switch (DataSize()) {
    case 2: {
      if (DataType() == ftWord) {
        std::uint16_t v = 0;
        return GetData(&v) ? v : 0;
      }
      std::int16_t v = 0;
      return GetData(&v) ? v : 0;
    }
    default: {
      std::int32_t v = 0;
      return GetData(&v) ? v : 0;
    }
  }
}

void TIntegerKindField::SetAsInteger(std::int32_t value) {
  CheckRange(value);
  if (DataSize() == 2) {
    if (DataType() == ftWord) {
      const auto v = static_cast<std::uint16_t>(value);
      SetData(&v);
    } else {
      const auto v = static_cast<std::int16_t>(value);
      SetData(&v);
    }
    return;
  }
  SetData(&value);
}

std::string TIntegerKindField::AsString() const {
  if (IsNull()) return {};
  return IntToStr(AsInteger());
}

void TIntegerKindField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  std::int64_t number = 0;
  if (!TryStrToInt(value, number)) ConvertError(dbconsts::SInvalidIntegerValue, value);
  CheckRange(static_cast<double>(number));
  SetAsInteger(static_cast<std::int32_t>(number));
}

double TIntegerKindField::AsFloat() const {
  return AsInteger();
}

void TIntegerKindField::SetAsFloat(double value) {
  CheckRange(value);
  SetAsInteger(static_cast<std::int32_t>(std::lround(value)));
}

TSmallintField::TSmallintField(TComponent* owner)
    : TIntegerKindField(owner, ftSmallint, -32768, 32767) {}

TIntegerField::TIntegerField(TComponent* owner) : TIntegerField(owner, ftInteger) {}

TIntegerField::TIntegerField(TComponent* owner, TFieldType type)
    : TIntegerKindField(owner, type, std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max()) {}

TWordField::TWordField(TComponent* owner) : TIntegerKindField(owner, ftWord, 0, 65535) {}

TAutoIncField::TAutoIncField(TComponent* owner) : TIntegerField(owner, ftAutoInc) {}

// --- TBooleanField --------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* owner) : TField(owner) {
  SetDataType(ftBoolean);
}

bool TBooleanField::AsBoolean() const {
  std::int16_t v = 0;
  return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  const std::int16_t v = value ? 1 : 0;
  SetData(&v);
}

std::string TBooleanField::AsString() const {
  if (IsNull()) return {};
  return AsBoolean() ? "True" : "False";
}

void TBooleanField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  bool b = false;
  if (!ParseBoolean(value, b)) ConvertError(dbconsts::SInvalidBoolValue, value);
  SetAsBoolean(b);
}

std::int32_t TBooleanField::AsInteger() const {
  return AsBoolean() ? 1 : 0;
}

void TBooleanField::SetAsInteger(std::int32_t value) {
  SetAsBoolean(value != 0);
}

// --- TFloatField ----------------------------------------------------------------

TFloatField::TFloatField(TComponent* owner) : TFloatField(owner, ftFloat) {}

TFloatField::TFloatField(TComponent* owner, TFieldType type) : TField(owner) {
  SetDataType(type);
}

double TFloatField::AsFloat() const {
  double v = 0;
  return GetData(&v) ? v : 0.0;
}

void TFloatField::SetAsFloat(double value) {
  if (!std::isfinite(value)) ConvertError(dbconsts::SInvalidFloatValue, FloatToStr(value));
  SetData(&value);
}

std::string TFloatField::AsString() const {
  if (IsNull()) return {};
  return FloatToStr(AsFloat());
}

void TFloatField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  double number = 0;
  if (!TryStrToFloat(value, number) || !std::isfinite(number)) {
    ConvertError(dbconsts::SInvalidFloatValue, value);
  }
  SetAsFloat(number);
}

std::int32_t TFloatField::AsInteger() const {
  const double value = AsFloat();
  const double rounded = std::round(value);
  if (rounded < std::numeric_limits<std::int32_t>::min() ||
      rounded > std::numeric_limits<std::int32_t>::max()) {
    ConvertError(dbconsts::SInvalidIntegerValue, FloatToStr(value));
  }
  return static_cast<std::int32_t>(rounded);
}

void TFloatField::SetAsInteger(std::int32_t value) {
  SetAsFloat(value);
}

}  // namespace tessel
