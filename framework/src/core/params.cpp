#include "framework/params.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "framework/decimal.h"
#include "framework/exceptions.h"
#include "framework/field.h"
#include "framework/string_list.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

bool IsStringType(TFieldType t) {
  return t == ftString || t == ftFixedChar || t == ftWideString || t == ftMemo || t == ftFmtMemo;
}

bool IsBlobType(TFieldType t) {
  return t == ftBlob || t == ftGraphic;
}

std::int64_t CheckedRange(const Variant& v, std::int64_t low, std::int64_t high,
                          const char* type_name) {
  const std::int64_t i = v.AsInteger();
  if (i < low || i > high) {
    throw EConvertError("'" + v.AsString() + "' is out of the range of " + type_name);
  }
  return i;
}

// Text is read exactly: a fifth decimal that is not zero is refused rather
// than rounded away. Other kinds convert as variants do.
Currency ExactCurrency(const Variant& v) {
  if (v.VarType() != varString) return v.AsCurrency();
  const std::string text = v.AsString();
  const Currency money = Currency::FromString(text);
  Decimal exact;
  if (!Decimal::FromString(text).Rescaled(4, exact)) {
    throw EConvertError("'" + text + "' has more than four decimals");
  }
  return money;
}

// A double reads as the shortest text that gives it back, which is the value
// its user wrote (0.1, not 0.1000000000000000055511151231257827).
Decimal ShortestDecimal(double value) {
  char text[64];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  if (!std::isfinite(value) || ec != std::errc()) {
    throw EConvertError("'" + FloatToStr(value) + "' is not a valid decimal value");
  }
  return Decimal::FromString(std::string_view(text, static_cast<std::size_t>(end - text)));
}

Decimal DecimalOf(const Variant& v) {
  switch (v.VarType()) {
    case varString:
      return Decimal::FromString(v.AsString());
    case varCurrency:
      return Decimal::FromCurrency(v.AsCurrency());
    case varInteger:
    case varSmallint:
      return Decimal::FromInteger(v.AsInteger());
    default:
      return ShortestDecimal(v.AsFloat());
  }
}

// The value in the kind that parameters of the type hold: money as a
// Currency, an exact decimal as its text (a Variant has no decimal kind).
Variant ConvertTo(TFieldType type, const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return v;
  switch (type) {
    case ftSmallint:
      return Variant(static_cast<long long>(CheckedRange(v, INT16_MIN, INT16_MAX, "SmallInt")));
    case ftWord:
      return Variant(static_cast<long long>(CheckedRange(v, 0, UINT16_MAX, "Word")));
    case ftInteger:
    case ftAutoInc:
      return Variant(static_cast<long long>(CheckedRange(v, INT32_MIN, INT32_MAX, "Integer")));
    case ftLargeint:
      return Variant(static_cast<long long>(v.AsInteger()));
    case ftBoolean:
      return Variant(v.AsBoolean());
    case ftFloat:
      return Variant(v.AsFloat());
    case ftCurrency:
      return Variant(ExactCurrency(v));
    case ftBCD:
      return Variant(DecimalOf(v).ToString());
    case ftDate:
    case ftTime:
    case ftDateTime:
      return VarFromDateTime(v.AsDateTime());
    case ftBytes:
    case ftVarBytes:
      return Variant(v.AsBytes());
    case ftUnknown:
      return v;
    default:  // the string and blob types
      return v.VarType() == varBytes ? v : Variant(v.AsString());
  }
}

TFieldType TypeOfValue(const Variant& v) {
  switch (v.VarType()) {
    case varInteger: {
      const std::int64_t i = v.AsInteger();
      return i >= INT32_MIN && i <= INT32_MAX ? ftInteger : ftLargeint;
    }
    case varDouble:
      return ftFloat;
    case varCurrency:
      return ftCurrency;
    case varBoolean:
      return ftBoolean;
    case varDate:
      return ftDateTime;
    case varString:
      return ftString;
    case varBytes:
      return ftBlob;
    default:
      return ftUnknown;
  }
}

template <class T>
void Put(void* buffer, T value) {
  std::memcpy(buffer, &value, sizeof value);
}

template <class T>
T Take(const void* buffer) {
  T value;
  std::memcpy(&value, buffer, sizeof value);
  return value;
}

std::vector<std::string> SplitNames(std::string_view names) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find(';', start);
    if (end == std::string_view::npos) end = names.size();
    const std::string name = Trim(names.substr(start, end - start));
    if (!name.empty()) out.push_back(name);
    start = end + 1;
  }
  return out;
}

}  // namespace

TParam::TParam(TParams* params) : TCollectionItem(params) {}

TParam::TParam(TParams* params, TParamType param_type)
    : TCollectionItem(params), param_type_(param_type) {}

void TParam::ConvertError(const std::string& what) const {
  throw EConvertError(what + " (parameter '" + name_ + "')");
}

// Runs a conversion and adds the parameter's name to its error.
#define TESSEL_WITH_NAME(expr)       \
  try {                              \
    expr;                            \
  } catch (const EConvertError& e) { \
    ConvertError(e.Message());       \
  } catch (const EVariantError& e) { \
    ConvertError(e.Message());       \
  }

void TParam::SetDataType(TFieldType type) {
  if (type == data_type_) return;
  data_type_ = type;
  // A value that cannot be held in the new type is cleared: kept as it was, a
  // text would later be written unquoted into SQL as if it were a number.
  try {
    value_ = ConvertTo(type, value_);
  } catch (const Exception&) {
    value_ = Variant::Null();
  }
  Changed(false);
}

void TParam::Clear() {
  value_ = Variant::Null();
}

void TParam::SetValue(const Variant& value) {
  Variant converted = value;
  if (data_type_ == ftUnknown) {
    data_type_ = TypeOfValue(value);
  } else {
    TESSEL_WITH_NAME(converted = ConvertTo(data_type_, value));
  }
  value_ = std::move(converted);
  bound_ = !value.IsEmpty();
}

void TParam::SetTyped(TFieldType type, const Variant& value) {
  data_type_ = type;
  value_ = value;
  bound_ = true;
}

std::string TParam::AsString() const {
  if (IsNull()) return {};
  std::string result;
  switch (data_type_) {
    case ftDate:
      TESSEL_WITH_NAME(result = DateToStr(value_.AsDateTime()));
      return result;
    case ftTime:
      TESSEL_WITH_NAME(result = TimeToStr(value_.AsDateTime()));
      return result;
    case ftDateTime:
      TESSEL_WITH_NAME(result = DateTimeToStr(value_.AsDateTime()));
      return result;
    default:
      TESSEL_WITH_NAME(result = value_.AsString());
      return result;
  }
}

void TParam::SetAsString(const std::string& value) {
  SetTyped(ftString, Variant(value));
}

std::int32_t TParam::AsInteger() const {
  if (IsNull()) return 0;
  std::int64_t result = 0;
  TESSEL_WITH_NAME(result = CheckedRange(value_, INT32_MIN, INT32_MAX, "Integer"));
  return static_cast<std::int32_t>(result);
}

void TParam::SetAsInteger(std::int32_t value) {
  SetTyped(ftInteger, Variant(value));
}

std::int16_t TParam::AsSmallInt() const {
  if (IsNull()) return 0;
  std::int64_t result = 0;
  TESSEL_WITH_NAME(result = CheckedRange(value_, INT16_MIN, INT16_MAX, "SmallInt"));
  return static_cast<std::int16_t>(result);
}

void TParam::SetAsSmallInt(std::int16_t value) {
  SetTyped(ftSmallint, Variant(static_cast<int>(value)));
}

std::uint16_t TParam::AsWord() const {
  if (IsNull()) return 0;
  std::int64_t result = 0;
  TESSEL_WITH_NAME(result = CheckedRange(value_, 0, UINT16_MAX, "Word"));
  return static_cast<std::uint16_t>(result);
}

void TParam::SetAsWord(std::uint16_t value) {
  SetTyped(ftWord, Variant(static_cast<int>(value)));
}

double TParam::AsFloat() const {
  if (IsNull()) return 0;
  double result = 0;
  TESSEL_WITH_NAME(result = value_.AsFloat());
  return result;
}

void TParam::SetAsFloat(double value) {
  SetTyped(ftFloat, Variant(value));
}

void TParam::SetAsCurrency(double value) {
  Currency money;
  TESSEL_WITH_NAME(money = Currency::FromDouble(value));
  SetTyped(ftCurrency, Variant(money));
}

Decimal TParam::AsBCD() const {
  if (IsNull()) return Decimal();
  Decimal result;
  TESSEL_WITH_NAME(result = DecimalOf(value_));
  return result;
}

void TParam::SetAsBCD(const Decimal& value) {
  SetTyped(ftBCD, Variant(value.ToString()));
}

bool TParam::AsBoolean() const {
  if (IsNull()) return false;
  bool result = false;
  TESSEL_WITH_NAME(result = value_.AsBoolean());
  return result;
}

void TParam::SetAsBoolean(bool value) {
  SetTyped(ftBoolean, Variant(value));
}

TDateTime TParam::AsDateTime() const {
  if (IsNull()) return 0;
  TDateTime result = 0;
  TESSEL_WITH_NAME(result = value_.AsDateTime());
  return result;
}

void TParam::SetAsDate(TDateTime value) {
  SetTyped(ftDate, VarFromDateTime(value));
}

void TParam::SetAsTime(TDateTime value) {
  SetTyped(ftTime, VarFromDateTime(value));
}

void TParam::SetAsDateTime(TDateTime value) {
  SetTyped(ftDateTime, VarFromDateTime(value));
}

void TParam::SetAsMemo(const std::string& value) {
  SetTyped(ftMemo, Variant(value));
}

void TParam::SetAsBlob(const std::string& value) {
  SetTyped(ftBlob, Variant(value));
}

TBytes TParam::AsBytes() const {
  if (IsNull()) return {};
  TBytes result;
  TESSEL_WITH_NAME(result = value_.AsBytes());
  return result;
}

void TParam::SetAsBytes(const TBytes& value) {
  SetTyped(ftVarBytes, Variant(value));
}

void TParam::SetText(const std::string& text) {
  Variant converted;
  TESSEL_WITH_NAME(converted = ConvertTo(data_type_, Variant(text)));
  SetValue(converted);
}

int TParam::DataSize() const {
  switch (data_type_) {
    case ftSmallint:
    case ftWord:
    case ftBoolean:
      return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
      return 4;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
    case ftLargeint:
      return 8;
    case ftBCD:
      return kBcdSize;
    case ftBytes:
    case ftVarBytes:
      return static_cast<int>(AsBytes().size());
    case ftUnknown:
      return 0;
    default:
      return IsStringType(data_type_) || IsBlobType(data_type_)
                 ? static_cast<int>(AsString().size())
                 : 0;
  }
}

void TParam::GetData(void* buffer) const {
  const int size = DataSize();
  if (IsNull()) {
    std::memset(buffer, 0, static_cast<std::size_t>(size));
    return;
  }
  switch (data_type_) {
    case ftSmallint:
      return Put(buffer, AsSmallInt());
    case ftWord:
      return Put(buffer, AsWord());
    case ftBoolean:
      return Put(buffer, static_cast<std::int16_t>(AsBoolean() ? 1 : 0));
    case ftInteger:
    case ftAutoInc:
      return Put(buffer, AsInteger());
    case ftLargeint: {
      std::int64_t v = 0;
      TESSEL_WITH_NAME(v = value_.AsInteger());
      return Put(buffer, v);
    }
    case ftFloat:
      return Put(buffer, AsFloat());
    case ftCurrency: {
      Currency money;
      TESSEL_WITH_NAME(money = value_.AsCurrency());
      return Put(buffer, money.Scaled());
    }
    case ftBCD:
      // A parameter does not know its column's precision; every value fits 38.
      return DecimalToBcd(AsBCD(), Decimal::kMaxPrecision, buffer);
    case ftDate:
    case ftTime:
    case ftDateTime: {
      TTimeStamp stamp;
      TESSEL_WITH_NAME(stamp = DateTimeToTimeStamp(AsDateTime()));
      if (data_type_ == ftDate) return Put(buffer, stamp.Date);
      if (data_type_ == ftTime) return Put(buffer, stamp.Time);
      return Put(buffer, TimeStampToMSecs(stamp));
    }
    case ftBytes:
    case ftVarBytes: {
      const TBytes bytes = AsBytes();
      if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
      return;
    }
    default: {
      const std::string s = AsString();
      if (!s.empty()) std::memcpy(buffer, s.data(), s.size());
      return;
    }
  }
}

void TParam::SetData(const void* buffer, int size) {
  if (buffer == nullptr) {
    Clear();
    return;
  }
  const auto* bytes = static_cast<const std::uint8_t*>(buffer);
  switch (data_type_) {
    case ftUnknown:
      DatabaseErrorFmt("Parameter '%s' has no data type for SetData", {name_});
    case ftSmallint:
      return SetTyped(data_type_, Variant(static_cast<int>(Take<std::int16_t>(buffer))));
    case ftWord:
      return SetTyped(data_type_, Variant(static_cast<int>(Take<std::uint16_t>(buffer))));
    case ftBoolean:
      return SetTyped(data_type_, Variant(Take<std::int16_t>(buffer) != 0));
    case ftInteger:
    case ftAutoInc:
      return SetTyped(data_type_, Variant(Take<std::int32_t>(buffer)));
    case ftLargeint:
      return SetTyped(data_type_, Variant(static_cast<long long>(Take<std::int64_t>(buffer))));
    case ftFloat:
      return SetTyped(data_type_, Variant(Take<double>(buffer)));
    case ftCurrency:
      return SetTyped(data_type_, Variant(Currency::FromScaled(Take<std::int64_t>(buffer))));
    case ftBCD: {
      Decimal value;
      TESSEL_WITH_NAME(value = BcdToDecimal(buffer));
      return SetTyped(data_type_, Variant(value.ToString()));
    }
    case ftDate:
    case ftTime:
    case ftDateTime: {
      TDateTime value = 0;
      TESSEL_WITH_NAME({
        if (data_type_ == ftDate) {
          value = TimeStampToDateTime(TTimeStamp{0, Take<std::int32_t>(buffer)});
        } else if (data_type_ == ftTime) {
          value = TimeStampToDateTime(TTimeStamp{Take<std::int32_t>(buffer), DateDelta});
        } else {
          value = TimeStampToDateTime(MSecsToTimeStamp(Take<double>(buffer)));
        }
      });
      return SetTyped(data_type_, VarFromDateTime(value));
    }
    case ftBytes:
    case ftVarBytes:
      if (size < 0) DatabaseErrorFmt("Parameter '%s' needs a size for SetData", {name_});
      return SetTyped(data_type_, Variant(TBytes(bytes, bytes + size)));
    default:
      if (size < 0) {
        if (IsBlobType(data_type_)) {
          DatabaseErrorFmt("Parameter '%s' needs a size for SetData", {name_});
        }
        size = static_cast<int>(std::strlen(static_cast<const char*>(buffer)));
      }
      return SetTyped(data_type_, Variant(std::string(static_cast<const char*>(buffer), size)));
  }
}

void TParam::Assign(const TPersistent* source) {
  if (const auto* param = dynamic_cast<const TParam*>(source)) {
    if (param == this) return;
    AssignValue(*param);
    name_ = param->name_;
    return;
  }
  if (const auto* field = dynamic_cast<const TField*>(source)) {
    AssignField(field);
    return;
  }
  if (const auto* strings = dynamic_cast<const TStrings*>(source)) {
    SetAsMemo(strings->Text());
    return;
  }
  TCollectionItem::Assign(source);
}

void TParam::AssignTo(TPersistent* dest) const {
  if (auto* field = dynamic_cast<TField*>(dest)) {
    field->SetValue(IsNull() ? Variant::Null() : value_);
    return;
  }
  TCollectionItem::AssignTo(dest);
}

void TParam::AssignField(const TField* field) {
  if (!field) return;
  AssignFieldValue(field, field->Value());
  name_ = field->FieldName();
}

void TParam::AssignFieldValue(const TField* field, const Variant& value) {
  if (!field) return;
  Variant converted;
  TESSEL_WITH_NAME(converted = ConvertTo(field->DataType(), value));
  data_type_ = field->DataType();
  value_ = std::move(converted);
  bound_ = true;
}

void TParam::AssignValue(const TParam& source) {
  data_type_ = source.data_type_;
  param_type_ = source.param_type_;
  value_ = source.value_;
  bound_ = source.bound_;
}

#undef TESSEL_WITH_NAME

// TParams

TParam* TParams::CreateParam(TFieldType type, const std::string& name, TParamType param_type) {
  auto* param = new TParam(this, param_type);
  param->SetName(name);
  param->SetDataType(type);
  return param;
}

TParam* TParams::FindParam(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(Items(i)->Name(), name)) return Items(i);
  }
  return nullptr;
}

TParam* TParams::ParamByName(std::string_view name) const {
  TParam* param = FindParam(name);
  if (!param) DatabaseErrorFmt("Parameter '%s' not found", {name});
  return param;
}

void TParams::AssignValues(const TParams& source) {
  for (int i = 0; i < source.Count(); ++i) {
    const TParam* from = source.Items(i);
    if (TParam* to = FindParam(from->Name()); to && to != from) to->AssignValue(*from);
  }
}

bool TParams::IsEqual(const TParams& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    const TParam* a = Items(i);
    const TParam* b = other.Items(i);
    if (a->Name() != b->Name() || a->DataType() != b->DataType() ||
        a->ParamType() != b->ParamType() || a->IsNull() != b->IsNull() ||
        (!a->IsNull() && a->Value() != b->Value())) {
      return false;
    }
  }
  return true;
}

std::vector<TParam*> TParams::GetParamList(std::string_view names) const {
  std::vector<TParam*> out;
  for (const std::string& name : SplitNames(names)) out.push_back(ParamByName(name));
  return out;
}

Variant TParams::ParamValues(std::string_view names) const {
  const std::vector<TParam*> params = GetParamList(names);
  if (params.size() == 1) return params[0]->Value();
  std::vector<Variant> values;
  for (const TParam* p : params) values.push_back(p->Value());
  return Variant::FromArray(std::move(values));
}

void TParams::SetParamValues(std::string_view names, const Variant& values) {
  const std::vector<TParam*> params = GetParamList(names);
  if (params.size() == 1 && !values.IsArray()) {
    params[0]->SetValue(values);
    return;
  }
  for (std::size_t i = 0; i < params.size(); ++i) params[i]->SetValue(values[static_cast<int>(i)]);
}

}  // namespace tessel
