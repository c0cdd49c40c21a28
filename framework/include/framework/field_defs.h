#pragma once

// Field definitions: what a dataset's cursor says about its columns (name,
// type, size, required, 1-based column number). A dataset fills them in
// InternalInitFieldDefs; CreateFields makes default fields from them and
// BindFields matches fields to them by name. TFieldDefs owns its definitions.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/db_types.h"

namespace tessel {

class TComponent;
class TDataSet;
class TField;
class TFieldDefs;

class TFieldDef {
 public:
  TFieldDef(TFieldDefs* owner, std::string name, TFieldType type, int size, bool required,
            int field_no);

  const std::string& Name() const { return name_; }
  TFieldType DataType() const { return data_type_; }
  // Characters of a string, bytes of a binary column, decimals (the scale)
  // of a BCD column.
  int Size() const { return size_; }
  // Total digits of a BCD column; 0 when unknown (the field then takes 38).
  int Precision() const { return precision_; }
  void SetPrecision(int value) { precision_ = value; }
  bool Required() const { return required_; }
  int FieldNo() const { return field_no_; }
  void SetRequired(bool value) { required_ = value; }
  TFieldDefs* Collection() const { return owner_; }
  // Makes a field of the definition's type, owned by owner and attached to
  // the definitions' dataset; null when the type has no field class.
  TField* CreateField(TComponent* owner) const;

 private:
  TFieldDefs* owner_;
  std::string name_;
  TFieldType data_type_;
  int size_;
  int precision_ = 0;
  bool required_;
  int field_no_;
};

class TFieldDefs {
 public:
  explicit TFieldDefs(TDataSet* dataset) : dataset_(dataset) {}
  TFieldDefs(const TFieldDefs&) = delete;
  TFieldDefs& operator=(const TFieldDefs&) = delete;

  // Adds a definition; a field number of 0 takes the next position (Count + 1).
  TFieldDef* Add(const std::string& name, TFieldType type, int size = 0, bool required = false,
                 int field_no = 0);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TFieldDef* operator[](int index) const;
  // Comparison ignores case; -1 or null when absent.
  int IndexOf(std::string_view name) const;
  TFieldDef* Find(std::string_view name) const;
  // Fills the definitions from the dataset when they are not up to date
  // (opening the cursor for information only when the dataset is closed).
  void Update();
  bool Updated() const { return updated_; }
  void SetUpdated(bool value) { updated_ = value; }
  TDataSet* DataSet() const { return dataset_; }

 private:
  TDataSet* dataset_;
  std::vector<std::unique_ptr<TFieldDef>> items_;
  bool updated_ = false;
};

}  // namespace tessel
