// Field values as variants: AsVariant of each kind, the old, new and current
// values, and the value of a lookup field.

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

bool IsNullOrEmpty(const Variant& v) {
  return v.IsNull() || v.IsEmpty();
}

bool IsText(const Variant& v) {
  return v.VarType() == varString;
}

// The value's text for an error message; arrays and bytes have none, so
// their kind is named instead.
std::string TextForMessage(const Variant& v) {
  try {
    return VarToStr(v);
  } catch (const Exception&) {
    return v.TypeName();
  }
}

}  // namespace

// --- base and shared ------------------------------------------------------------

Variant TField::AsVariant() const {
  AccessError("Variant");
}

void TField::SetAsVariant(const Variant&) {
  AccessError("Variant");
}

Variant TField::OldValue() const {
  return CheckedDataSet().GetStateFieldValue(dsOldValue, this);
}

Variant TField::NewValue() const {
  return CheckedDataSet().GetStateFieldValue(dsNewValue, this);
}

Variant TField::CurValue() const {
  return CheckedDataSet().GetStateFieldValue(dsCurValue, this);
}

void TField::ConvertVariant(const Variant& value, const char* format,
                            const std::function<void()>& assign) const {
  try {
    assign();
  } catch (const EVariantError&) {
    ConvertError(format, TextForMessage(value));
  } catch (const EConvertError&) {
    ConvertError(format, TextForMessage(value));
  }
}

void TField::CalcLookupValue() {
  if (lookup_dataset_ == nullptr || !lookup_dataset_->Active()) return;
  const Variant keys = dataset_->FieldValues(key_fields_);
  SetAsVariant(lookup_dataset_->Lookup(lookup_key_fields_, keys, lookup_result_field_));
}

// --- kinds ----------------------------------------------------------------------

Variant TStringField::AsVariant() const {
  if (IsNull()) return Null();
  return AsString();
}

void TStringField::SetAsVariant(const Variant& value) {
  if (IsNullOrEmpty(value)) return Clear();
  std::string text;
  ConvertVariant(value, dbconsts::SInvalidValue, [&] { text = value.AsString(); });
  SetAsString(text);
}

Variant TIntegerKindField::AsVariant() const {
  if (IsNull()) return Null();
  return AsInteger();
}

void TIntegerKindField::SetAsVariant(const Variant& value) {
  if (IsNullOrEmpty(value)) return Clear();
  if (IsText(value)) return SetAsString(value.AsString());
  double number = 0;
  ConvertVariant(value, dbconsts::SInvalidIntegerValue, [&] { number = value.AsFloat(); });
  SetAsFloat(number);
}

Variant TBooleanField::AsVariant() const {
  if (IsNull()) return Null();
  return AsBoolean();
}

void TBooleanField::SetAsVariant(const Variant& value) {
  if (IsNullOrEmpty(value)) return Clear();
  if (IsText(value)) return SetAsString(value.AsString());
  bool b = false;
  ConvertVariant(value, dbconsts::SInvalidBoolValue, [&] { b = value.AsBoolean(); });
  SetAsBoolean(b);
}

Variant TFloatField::AsVariant() const {
  if (IsNull()) return Null();
  return AsFloat();
}

void TFloatField::SetAsVariant(const Variant& value) {
  if (IsNullOrEmpty(value)) return Clear();
  if (IsText(value)) return SetAsString(value.AsString());
  double number = 0;
  ConvertVariant(value, dbconsts::SInvalidFloatValue, [&] { number = value.AsFloat(); });
  SetAsFloat(number);
}

Variant TDateTimeKindField::AsVariant() const {
  if (IsNull()) return Null();
  return VarFromDateTime(AsDateTime());
}

void TDateTimeKindField::SetAsVariant(const Variant& value) {
  if (IsNullOrEmpty(value)) return Clear();
  if (IsText(value)) return SetAsString(value.AsString());
  TDateTime dt = 0;
  ConvertVariant(value, InvalidFormat(), [&] { dt = value.AsDateTime(); });
  SetAsDateTime(dt);
}

Variant TBytesField::AsVariant() const {
  if (IsNull()) return Null();
  const std::string data = AsString();
  return TBytes(data.begin(), data.end());
}

void TBytesField::SetAsVariant(const Variant& value) {
  if (IsNullOrEmpty(value)) return Clear();
  if (IsText(value)) return SetAsString(value.AsString());
  TBytes bytes;
  ConvertVariant(value, dbconsts::SInvalidValue, [&] { bytes = value.AsBytes(); });
  SetAsString(std::string(bytes.begin(), bytes.end()));
}

Variant TBlobField::AsVariant() const {
  if (IsNull()) return Null();
  const std::string data = AsString();
  if (DataType() == ftMemo) return data;
  return TBytes(data.begin(), data.end());
}

void TBlobField::SetAsVariant(const Variant& value) {
  if (IsNullOrEmpty(value)) return Clear();
  if (IsText(value)) return SetAsString(value.AsString());
  TBytes bytes;
  ConvertVariant(value, dbconsts::SInvalidValue, [&] { bytes = value.AsBytes(); });
  SetAsString(std::string(bytes.begin(), bytes.end()));
}

}  // namespace tessel
