#pragma once

// FieldLink ties one control to one field of a dataset: it finds the field
// by name whenever the dataset opens, changes its layout or changes as a
// whole (never only for a move to another record), tells the control
// when the field's value or the editing state changed, and asks the control
// for its pending text when the dataset wants to post (deUpdateRecord).
// Owned by its control; refers to the data source without owning it.
// Main thread only.

#include <functional>
#include <string>

#include "framework/datasource.h"
#include "framework/field.h"

namespace tessel::controls {

// Whether the dataset behind link can really take inserts, edits and
// deletes: the link is active and not read-only, and the dataset is open on
// a result with fields and says it can be modified. A statement that returned
// no rows (an UPDATE) leaves an open dataset without fields: nothing to edit.
bool LinkCanModify(const TDataLink& link);

class FieldLink : public TDataLink {
 public:
  FieldLink() = default;
  ~FieldLink() override { SetDataSource(nullptr); }

  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& name);
  // The linked field, null when the link is inactive or the name unknown.
  TField* Field() const { return field_; }
  // True when the field may be changed through this link now or after Edit.
  bool CanModify() const;

  // The field's value (or the record) changed: the control shows it again.
  std::function<void()> OnDataChange;
  // The dataset entered or left edit or insert state.
  std::function<void()> OnEditingChange;
  // The dataset is about to post: the control writes its pending text.
  std::function<void()> OnUpdateData;

 protected:
  void ActiveChanged() override;
  // The dataset may have been reopened on new fields while its controls
  // were disabled, and another control's reading may report the change
  // before the layout change reaches this link: the field is found again.
  void DataSetChanged() override;
  void DataSetScrolled(int distance) override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;
  void EditingChanged() override;
  void UpdateData() override;

 private:
  void FindField();

  std::string field_name_;
  TField* field_ = nullptr;
};

}  // namespace tessel::controls
