#pragma once

// Parameters of a statement. TParams is the ordered list a query owns (one
// TParam per marker of its SQL text, so a name may occur twice); TParam holds
// a name, a data type, a direction and a value. A parameter that was never
// given a value, or was cleared, is null.
//
// Conversions follow the parameter's data type: Text assigns a string
// converted to that type, and the AsXxx getters convert the stored value
// (null reads as 0, "", false). A value that does not convert raises
// EConvertError naming the value and the parameter. Money (ftCurrency) is
// held as a Currency and an exact decimal (ftBCD) as its exact text, so that
// neither passes through a double. Main thread only, or the thread that runs
// the owning query.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/collection.h"
#include "framework/db_types.h"
#include "framework/decimal.h"
#include "framework/variant.h"

namespace tessel {

class TField;
class TParams;
class TStrings;

class TParam : public TCollectionItem {
 public:
  // collection nullptr: a free-standing parameter owned by the caller.
  explicit TParam(TParams* params = nullptr);
  TParam(TParams* params, TParamType param_type);

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  std::string DisplayName() const override { return name_.empty() ? ClassName() : name_; }
  TFieldType DataType() const { return data_type_; }
  // Changing the type converts the value to the new type; a value that does
  // not convert is cleared (the parameter becomes null).
  void SetDataType(TFieldType type);
  TParamType ParamType() const { return param_type_; }
  void SetParamType(TParamType type) { param_type_ = type; }
  // Set when a value was given; the master-detail link clears it after filling the value.
  bool Bound() const { return bound_; }
  void SetBound(bool value) { bound_ = value; }

  bool IsNull() const { return value_.IsNull() || value_.IsEmpty(); }
  void Clear();

  // The stored value: Unassigned when none was ever given, Null after Clear.
  const Variant& Value() const { return value_; }
  // Stores the value converted to the data type (raising EConvertError naming
  // the value and the parameter when it does not convert); with an unknown
  // data type the value is stored as given and the type taken from its kind.
  void SetValue(const Variant& value);

  std::string AsString() const;
  void SetAsString(const std::string& value);
  // Getters raise EConvertError when the value is out of the result's range.
  std::int32_t AsInteger() const;
  void SetAsInteger(std::int32_t value);
  std::int16_t AsSmallInt() const;
  void SetAsSmallInt(std::int16_t value);
  std::uint16_t AsWord() const;
  void SetAsWord(std::uint16_t value);
  double AsFloat() const;
  void SetAsFloat(double value);
  double AsCurrency() const { return AsFloat(); }
  // Rounded to four decimals; the parameter holds a Currency.
  void SetAsCurrency(double value);
  // The exact value (a double given earlier reads as its shortest text);
  // zero when null. An ftBCD parameter holds the Decimal's text.
  Decimal AsBCD() const;
  void SetAsBCD(const Decimal& value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  TDateTime AsDate() const { return AsDateTime(); }
  void SetAsDate(TDateTime value);
  TDateTime AsTime() const { return AsDateTime(); }
  void SetAsTime(TDateTime value);
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime value);
  std::string AsMemo() const { return AsString(); }
  void SetAsMemo(const std::string& value);
  // Blob content is carried as a string of bytes.
  std::string AsBlob() const { return AsString(); }
  void SetAsBlob(const std::string& value);
  TBytes AsBytes() const;
  void SetAsBytes(const TBytes& value);

  // The value as text ("" when null).
  std::string Text() const { return AsString(); }
  // The text converted to the parameter's data type (a string for ftUnknown
  // and the string types). Raises EConvertError naming the text and the parameter.
  void SetText(const std::string& text);

  // Bytes of the native binary form: text length for ftString, ftFixedChar,
  // ftWideString, ftMemo and the blob types; 2 for ftSmallint, ftWord and
  // ftBoolean; 4 for ftInteger, ftAutoInc, ftDate and ftTime; 8 for ftFloat,
  // ftCurrency, ftDateTime and ftLargeint; kBcdSize (19) for ftBCD; the byte
  // count for ftBytes and ftVarBytes; 0 for ftUnknown.
  int DataSize() const;
  // Writes exactly DataSize() bytes of the native form: the characters
  // (without terminator) or bytes, 16-bit integers (Boolean as 1 or 0), 32-bit
  // integers, an 8-byte float, money as the 64-bit integer of ten-thousandths
  // (ftCurrency), the numeric record of decimal.h with precision 38 (ftBCD),
  // the day number (ftDate) or milliseconds of the day (ftTime) of the time
  // stamp, the time stamp in milliseconds (ftDateTime). A null parameter
  // writes zeros.
  void GetData(void* buffer) const;
  // Reads the native form. size is needed for ftBytes, ftVarBytes and the blob
  // types; strings without size are read up to their zero terminator.
  void SetData(const void* buffer, int size = -1);

  // From a TParam: name, types, value and Bound. From a TField: AssignField.
  // From a TStrings: its Text as a memo. Other sources raise the assign error.
  void Assign(const TPersistent* source) override;
  // The field's data type, value and name; Bound set.
  void AssignField(const TField* field);
  // The field's data type and the given value (a field's OldValue or
  // NewValue); Null clears. Bound set; the name stays.
  void AssignFieldValue(const TField* field, const Variant& value);
  // Type, direction, value and Bound of another parameter, not its name.
  void AssignValue(const TParam& source);

 protected:
  // To a TField: the field takes the value (Null when the parameter is null).
  void AssignTo(TPersistent* dest) const override;

 private:
  [[noreturn]] void ConvertError(const std::string& what) const;
  void SetTyped(TFieldType type, const Variant& value);

  std::string name_;
  TFieldType data_type_ = ftUnknown;
  TParamType param_type_ = ptUnknown;
  bool bound_ = false;
  Variant value_;
};

class TParams : public TCollection {
 public:
  explicit TParams(TPersistent* owner = nullptr) : owner_(owner) {}
  TPersistent* GetOwner() const override { return owner_; }

  TParam* Items(int index) const { return static_cast<TParam*>(TCollection::Items(index)); }
  TParam* operator[](int index) const { return Items(index); }
  TParam* Add() { return static_cast<TParam*>(TCollection::Add()); }

  // Appends a parameter with the given type, name and direction.
  TParam* CreateParam(TFieldType type, const std::string& name, TParamType param_type);
  // The first parameter of that name, compared without regard to case.
  TParam* FindParam(std::string_view name) const;
  // Raises EDatabaseError "Parameter '<name>' not found".
  TParam* ParamByName(std::string_view name) const;
  // For each parameter of source, the first parameter here with the same name
  // takes its data type, direction, value and Bound. Others stay as they are.
  void AssignValues(const TParams& source);
  // Same count, and pairwise the same name, type, direction and value.
  bool IsEqual(const TParams& other) const;
  // The parameters named in a ';'-separated list; raises for an unknown name.
  std::vector<TParam*> GetParamList(std::string_view names) const;
  // One name: the value; several names (';'-separated): an array of values.
  Variant ParamValues(std::string_view names) const;
  void SetParamValues(std::string_view names, const Variant& values);

 protected:
  TCollectionItem* CreateItem() override { return new TParam(this); }

 private:
  TPersistent* owner_;
};

}  // namespace tessel
