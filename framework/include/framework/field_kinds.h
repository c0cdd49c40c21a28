#pragma once

// The field classes, one per data type. Each knows its native form (what
// DataSize bytes GetFieldData and SetFieldData exchange) and converts that
// form to and from the AsXxx kinds:
//
//   ftString    zero-terminated text of at most Size characters (Size + 1 bytes)
//   ftSmallint  int16            ftInteger / ftAutoInc  int32     ftWord  uint16
//   ftLargeint  int64
//   ftBoolean   int16, 1 or 0    ftFloat     double
//   ftCurrency  int64 of ten-thousandths (Currency::Scaled)
//   ftBCD       the 19-byte numeric record of decimal.h, at the field's scale
//   ftDate      int32 day number, 0001-01-01 = day 1
//   ftTime      int32 milliseconds since midnight
//   ftDateTime  double: day number x 86,400,000 + milliseconds since midnight
//   ftBytes     Size raw bytes   ftVarBytes  uint16 length + Size bytes
//   ftBlob / ftMemo  no record data of their own: content moves through the
//               dataset's blob streams (CreateBlobStream).
//
// Dates and times are written and read as text in ISO form: 2024-02-29,
// 13:45:00, 2024-02-29 13:45:00.250.

#include <memory>
#include <string>

#include "framework/currency.h"
#include "framework/decimal.h"
#include "framework/field.h"
#include "framework/typinfo.h"

namespace tessel {

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* owner);
  int DataSize() const override { return Size() + 1; }
  std::string AsString() const override;
  // Raises when the text is longer than Size.
  void SetAsString(const std::string& value) override;
  std::int32_t AsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
};

// Common conversions of the integer kinds; the range is the native form's.
class TIntegerKindField : public TField {
 public:
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  std::int32_t AsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;

 protected:
  TIntegerKindField(TComponent* owner, TFieldType type, std::int32_t min, std::int32_t max);
  // Raises the range error naming the field unless min <= value <= max.
  void CheckRange(double value) const;

 private:
  std::int32_t min_;
  std::int32_t max_;
};

class TSmallintField : public TIntegerKindField {
 public:
  explicit TSmallintField(TComponent* owner);
  int DataSize() const override { return 2; }
};

class TIntegerField : public TIntegerKindField {
 public:
  explicit TIntegerField(TComponent* owner);
  int DataSize() const override { return 4; }

 protected:
  TIntegerField(TComponent* owner, TFieldType type);
};

class TWordField : public TIntegerKindField {
 public:
  explicit TWordField(TComponent* owner);
  int DataSize() const override { return 2; }
};

// A 64-bit integer. AsInteger raises the range error for a value outside the
// 32-bit range; AsLargeInt and AsString carry every value.
class TLargeintField : public TField {
 public:
  explicit TLargeintField(TComponent* owner);
  int DataSize() const override { return 8; }
  std::int64_t AsLargeInt() const;
  void SetAsLargeInt(std::int64_t value);
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  std::int32_t AsInteger() const override;
  void SetAsInteger(std::int32_t value) override { SetAsLargeInt(value); }
  double AsFloat() const override { return static_cast<double>(AsLargeInt()); }
  void SetAsFloat(double value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
};

// An integer the server assigns; read-only for the application by default.
class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* owner);
};

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* owner);
  int DataSize() const override { return 2; }
  // "True"/"False"; setting accepts those, "T"/"F", "Y"/"N", "Yes"/"No",
  // "1"/"0" in any case, and an empty text as null.
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  bool AsBoolean() const override;
  void SetAsBoolean(bool value) override;
  std::int32_t AsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
};

class TFloatField : public TField {
 public:
  explicit TFloatField(TComponent* owner);
  int DataSize() const override { return 8; }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  double AsFloat() const override;
  void SetAsFloat(double value) override;
  std::int32_t AsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;

 protected:
  TFloatField(TComponent* owner, TFieldType type);
};

// Money: an exact amount with four decimals (Currency). Text and variants
// carry it exactly; text with a non-zero fifth decimal is refused, never
// rounded. Only AsFloat and SetAsFloat pass through a double.
class TCurrencyField : public TField {
 public:
  explicit TCurrencyField(TComponent* owner);
  int DataSize() const override { return 8; }
  Currency AsMoney() const;
  void SetAsMoney(Currency value);
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  // At least two decimals: "120.10", "3.00", "0.0025".
  std::string DisplayText() const override;
  double AsFloat() const override { return AsMoney().ToDouble(); }
  // Rounded to four decimals; raises the range error naming the field.
  void SetAsFloat(double value) override;
  std::int32_t AsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;

 private:
  [[noreturn]] void RangeError(const std::string& value) const;
};

// An exact decimal of Precision digits, Size of them after the point (SQL's
// decimal(p, s)). The value is never rounded on its way in from text or a
// Decimal: more decimals than Size that are not zeros, or more than
// Precision - Size digits before the point, are refused naming the field and
// the value. AsVariant is the exact text; AsFloat is the nearest double.
class TBCDField : public TField {
 public:
  explicit TBCDField(TComponent* owner);
  int DataSize() const override { return kBcdSize; }
  // Total digits, 1..38 (38 by default); the field must be closed to change it.
  int Precision() const { return precision_; }
  void SetPrecision(int value);
  Decimal AsDecimal() const;
  void SetAsDecimal(const Decimal& value);
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  double AsFloat() const override;
  // Rounded half away from zero to the scale, then checked against the range.
  void SetAsFloat(double value) override;
  std::int32_t AsInteger() const override;
  void SetAsInteger(std::int32_t value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;

 private:
  int FieldScale() const;
  [[noreturn]] void RangeError(const std::string& value) const;
  // Writes value at the field's scale; shown is the value as the caller gave it.
  void Store(const Decimal& value, const std::string& shown);

  int precision_ = Decimal::kMaxPrecision;
};

// Shared conversions of date, time and date-time fields; each subclass
// moves its native form to and from a TDateTime.
class TDateTimeKindField : public TField {
 public:
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  TDateTime AsDateTime() const override;
  void SetAsDateTime(TDateTime value) override;
  double AsFloat() const override { return AsDateTime(); }
  void SetAsFloat(double value) override { SetAsDateTime(value); }
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;

 protected:
  TDateTimeKindField(TComponent* owner, TFieldType type) : TField(owner) { SetDataType(type); }
  virtual TDateTime FromNative(const void* data) const = 0;
  virtual void ToNative(TDateTime value, void* data) const = 0;
  virtual std::string FormatValue(TDateTime value) const = 0;
  // Parses the ISO text; returns false when it is not a valid value.
  virtual bool Parse(const std::string& text, TDateTime& value) const = 0;
  virtual const char* InvalidFormat() const = 0;
};

class TDateField : public TDateTimeKindField {
 public:
  explicit TDateField(TComponent* owner);
  int DataSize() const override { return 4; }

 protected:
  TDateTime FromNative(const void* data) const override;
  void ToNative(TDateTime value, void* data) const override;
  std::string FormatValue(TDateTime value) const override;
  bool Parse(const std::string& text, TDateTime& value) const override;
  const char* InvalidFormat() const override;
};

class TTimeField : public TDateTimeKindField {
 public:
  explicit TTimeField(TComponent* owner);
  int DataSize() const override { return 4; }

 protected:
  TDateTime FromNative(const void* data) const override;
  void ToNative(TDateTime value, void* data) const override;
  std::string FormatValue(TDateTime value) const override;
  bool Parse(const std::string& text, TDateTime& value) const override;
  const char* InvalidFormat() const override;
};

class TDateTimeField : public TDateTimeKindField {
 public:
  explicit TDateTimeField(TComponent* owner);
  int DataSize() const override { return 8; }

 protected:
  TDateTimeField(TComponent* owner, TFieldType type) : TDateTimeKindField(owner, type) {}
  TDateTime FromNative(const void* data) const override;
  void ToNative(TDateTime value, void* data) const override;
  std::string FormatValue(TDateTime value) const override;
  bool Parse(const std::string& text, TDateTime& value) const override;
  const char* InvalidFormat() const override;
};

// Fixed-length binary: Size bytes. AsString is the raw bytes; a shorter value
// is padded with zero bytes, a longer one raises.
class TBytesField : public TField {
 public:
  explicit TBytesField(TComponent* owner);
  int DataSize() const override { return Size(); }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;

 protected:
  TBytesField(TComponent* owner, TFieldType type);
};

// Variable-length binary: a 16-bit length followed by up to Size bytes.
class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(TComponent* owner);
  int DataSize() const override { return Size() + 2; }
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
};

// Binary large object. Its content is read and written through the stream the
// dataset gives (CreateBlobStream); Modified is set when a write stream stored
// new content and is cleared when the record is posted or cancelled. Empty
// content is a value; only Clear (or a null read) makes the field null.
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner);
  int DataSize() const override { return 0; }
  bool IsBlob() const override { return true; }
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  // Bytes of the current content.
  std::int64_t BlobSize() const;
  std::string AsString() const override;
  void SetAsString(const std::string& value) override;
  void Clear() override;
  Variant AsVariant() const override;
  void SetAsVariant(const Variant& value) override;
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void FreeBuffers() override { modified_ = false; }

 protected:
  TBlobField(TComponent* owner, TFieldType type);

 private:
  bool modified_ = false;
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner);
};

// Form-file descriptions of the field classes (always registered).
template <>
const TClassInfo* ClassInfoOf<TField>();
template <>
const TClassInfo* ClassInfoOf<TStringField>();
template <>
const TClassInfo* ClassInfoOf<TSmallintField>();
template <>
const TClassInfo* ClassInfoOf<TIntegerField>();
template <>
const TClassInfo* ClassInfoOf<TWordField>();
template <>
const TClassInfo* ClassInfoOf<TAutoIncField>();
template <>
const TClassInfo* ClassInfoOf<TLargeintField>();
template <>
const TClassInfo* ClassInfoOf<TBooleanField>();
template <>
const TClassInfo* ClassInfoOf<TFloatField>();
template <>
const TClassInfo* ClassInfoOf<TCurrencyField>();
template <>
const TClassInfo* ClassInfoOf<TBCDField>();
template <>
const TClassInfo* ClassInfoOf<TDateField>();
template <>
const TClassInfo* ClassInfoOf<TTimeField>();
template <>
const TClassInfo* ClassInfoOf<TDateTimeField>();
template <>
const TClassInfo* ClassInfoOf<TBytesField>();
template <>
const TClassInfo* ClassInfoOf<TVarBytesField>();
template <>
const TClassInfo* ClassInfoOf<TBlobField>();
template <>
const TClassInfo* ClassInfoOf<TMemoField>();

// The field class for a data type: a new field of that class owned by owner,
// or null for ftUnknown and types without a field class.
TField* CreateFieldOfType(TFieldType type, TComponent* owner);

}  // namespace tessel
