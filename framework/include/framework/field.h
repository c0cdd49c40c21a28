#pragma once

// TField: one column of a dataset's current record. A field holds no value of
// its own; it reads and writes through its dataset (GetFieldData and
// SetFieldData) in the native form of its type, and converts between that form
// and strings, integers, floats, Booleans and date-times.
//
// Ownership: a field is a heap-allocated component. Fields made from the
// field definitions at open (default fields) are owned by the dataset, and
// the descendant destroys them when it closes (DestroyFields in
// InternalClose); persistent fields may have another owner, but the dataset
// they are attached to destroys them with itself. Destroying a field of an
// open dataset closes the dataset. Main thread only, like the dataset.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/classes.h"
#include "framework/db_types.h"
#include "framework/sysutils.h"
#include "framework/variant.h"

namespace tessel {

class TDataSet;
class TField;

// Data fields come from the dataset's rows; calculated fields are computed by
// OnCalcFields; lookup fields take their value from another dataset.
enum TFieldKind : std::uint8_t { fkData, fkCalculated, fkLookup, fkInternalCalc };

using TFieldNotifyEvent = std::function<void(TField*)>;

class TField : public TComponent {
 public:
  explicit TField(TComponent* owner);
  ~TField() override;

  // The dataset the field belongs to; setting it moves the field into that
  // dataset's field list (both datasets must be closed).
  TDataSet* DataSet() const { return dataset_; }
  void SetDataSet(TDataSet* dataset);
  // In a form file a persistent field is written inside its dataset's object.
  TComponent* GetParentComponent() const override;
  // Raises EComponentError unless parent is a dataset.
  void SetParentComponent(TComponent* parent) override;

  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& name);
  TFieldType DataType() const { return data_type_; }
  TFieldKind FieldKind() const { return field_kind_; }
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const { return field_kind_ == fkCalculated; }
  void SetCalculated(bool value) { SetFieldKind(value ? fkCalculated : fkData); }
  bool Lookup() const { return field_kind_ == fkLookup; }

  // 1-based column number of a bound data field; -1 for calculated and lookup
  // fields; 0 while unbound.
  int FieldNo() const { return field_no_; }
  // For calculated and lookup fields: the position of the field's flag byte in
  // the calculated area of a record buffer. For blob fields: the blob index.
  int Offset() const { return offset_; }
  // Declared size: characters of a string, bytes of a bytes field, 0 otherwise.
  int Size() const { return size_; }
  void SetSize(int size);
  // Bytes of the native form exchanged with GetFieldData and SetFieldData.
  virtual int DataSize() const { return 0; }
  // Position of the field in its dataset's field list.
  int Index() const;

  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value) { read_only_ = value; }
  bool Required() const { return required_; }
  void SetRequired(bool value) { required_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  // A literal a new record's field takes (through AsString) after OnNewRecord.
  const std::string& DefaultExpression() const { return default_expression_; }
  void SetDefaultExpression(const std::string& value) { default_expression_ = value; }
  // Characters a grid column shows: the one set, or when none (0) the
  // type's own (Size for text, 10 for numbers and dates).
  int DisplayWidth() const;
  void SetDisplayWidth(int value) { display_width_ = value < 0 ? 0 : value; }
  bool HasDisplayWidth() const { return display_width_ > 0; }
  // The label shown to a user; DisplayName is DisplayLabel or, when empty, the field name.
  const std::string& DisplayLabel() const;
  void SetDisplayLabel(const std::string& value) { display_label_ = value; }
  const std::string& DisplayName() const;

  // Lookup fields: the value of LookupResultField in the record of
  // LookupDataSet whose LookupKeyFields match this dataset's KeyFields.
  // Names of several fields are separated by ';'.
  TDataSet* LookupDataSet() const { return lookup_dataset_; }
  void SetLookupDataSet(TDataSet* dataset);
  const std::string& KeyFields() const { return key_fields_; }
  void SetKeyFields(const std::string& value) { key_fields_ = value; }
  const std::string& LookupKeyFields() const { return lookup_key_fields_; }
  void SetLookupKeyFields(const std::string& value) { lookup_key_fields_ = value; }
  const std::string& LookupResultField() const { return lookup_result_field_; }
  void SetLookupResultField(const std::string& value) { lookup_result_field_ = value; }

  // Values of the current record. The getters of a null field give the empty
  // form (empty string, 0, false); a value that does not convert raises
  // EDatabaseError naming the field and the value and leaves the record as it was.
  virtual bool IsNull() const;
  virtual void Clear();
  virtual std::string AsString() const;
  virtual void SetAsString(const std::string& value);
  virtual std::int32_t AsInteger() const;
  virtual void SetAsInteger(std::int32_t value);
  virtual double AsFloat() const;
  virtual void SetAsFloat(double value);
  virtual double AsCurrency() const { return AsFloat(); }
  virtual void SetAsCurrency(double value) { SetAsFloat(value); }
  virtual bool AsBoolean() const;
  virtual void SetAsBoolean(bool value);
  virtual TDateTime AsDateTime() const;
  virtual void SetAsDateTime(TDateTime value);
  // The value as a user reads it in a grid or a label: AsString, except that
  // money shows at least two decimals ("120.10"). Empty for null. The text
  // to edit stays AsString.
  virtual std::string DisplayText() const;
  // Null for a null field, otherwise the value in the field's natural kind.
  virtual Variant AsVariant() const;
  virtual void SetAsVariant(const Variant& value);
  Variant Value() const { return AsVariant(); }
  void SetValue(const Variant& value) { SetAsVariant(value); }

  // The value of the record as it was before the edit, the edited value, and
  // the value the data source holds now (read through the dataset's
  // dsOldValue, dsNewValue and dsCurValue states). Null for calculated fields.
  Variant OldValue() const;
  Variant NewValue() const;
  Variant CurValue() const;

  // Raw access in native form: GetData returns false for null (buffer may be
  // null to test only); SetData with null clears.
  bool GetData(void* buffer) const;
  void SetData(const void* buffer);

  // Runs OnValidate with buffer as the proposed value: during the handler the
  // field's getters read that value. The dataset calls this before writing.
  void Validate(const void* buffer);
  // Fired by the dataset after a field value changed.
  virtual void Change();
  // True for fields whose content lives outside the record (blob, memo).
  virtual bool IsBlob() const { return false; }

  TFieldNotifyEvent OnValidate;
  TFieldNotifyEvent OnChange;

  // Called by the dataset when fields are bound or unbound.
  void Bind(bool binding);
  // The dataset's field-buffer reset after post, cancel and delete.
  virtual void FreeBuffers() {}

 protected:
  void Notification(TComponent* component, TOperation operation) override;
  void SetDataType(TFieldType type) { data_type_ = type; }
  // Raises the access error naming the field and the requested kind.
  [[noreturn]] void AccessError(const char* type_name) const;
  // Raises a conversion error from a format naming the value and the field.
  [[noreturn]] void ConvertError(const char* format, const std::string& value) const;
  // Runs assign; a variant conversion failure in it becomes the conversion
  // error of format, naming the value and the field.
  void ConvertVariant(const Variant& value, const char* format,
                      const std::function<void()>& assign) const;
  // Raises unless the dataset is there.
  TDataSet& CheckedDataSet() const;

 private:
  friend class TDataSet;
  void CalcLookupValue();

  TDataSet* dataset_ = nullptr;
  std::string field_name_;
  TFieldType data_type_ = ftUnknown;
  TFieldKind field_kind_ = fkData;
  int field_no_ = 0;
  int offset_ = 0;
  int size_ = 0;
  bool read_only_ = false;
  bool required_ = false;
  bool visible_ = true;
  int display_width_ = 0;
  std::string default_expression_;
  std::string display_label_;
  TDataSet* lookup_dataset_ = nullptr;
  std::string key_fields_;
  std::string lookup_key_fields_;
  std::string lookup_result_field_;
  // While OnValidate runs: the proposed value, read instead of the record.
  const void* validating_buffer_ = nullptr;
  bool validating_ = false;
};

// The ordered fields of a dataset. It does not own the fields: the dataset
// destroys them, and a destroyed field removes itself from the list.
class TFields {
 public:
  explicit TFields(TDataSet* dataset) : dataset_(dataset) {}
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  int Count() const { return static_cast<int>(list_.size()); }
  // Raises EListError with the index when it is outside 0..Count-1.
  TField* operator[](int index) const;
  TField* FindField(std::string_view name) const;
  // Raises EDatabaseError "Field '<name>' not found".
  TField* FieldByName(std::string_view name) const;
  TField* FieldByNumber(int field_no) const;
  int IndexOf(const TField* field) const;
  void GetFieldNames(std::vector<std::string>& names) const;
  const std::vector<TField*>& List() const { return list_; }
  TDataSet* DataSet() const { return dataset_; }
  // Changes whenever a field joins or leaves the list or one of its fields
  // is renamed: what was resolved from names at one version holds while the
  // version stays.
  std::uint64_t Version() const { return version_; }

 private:
  friend class TDataSet;
  friend class TField;
  void Add(TField* field);
  void Remove(TField* field);

  TDataSet* dataset_;
  std::vector<TField*> list_;
  std::uint64_t version_ = 0;
};

}  // namespace tessel
