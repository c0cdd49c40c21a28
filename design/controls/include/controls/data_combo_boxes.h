#pragma once

// Combo boxes over one field. DataComboBox offers a fixed list of texts (its
// items, from code or a .ui file) and writes the chosen text; when editable
// it writes whatever is typed, for the field to accept or refuse.
// DataLookupComboBox is the picker of a master table: it lists the listField
// of every record of a lookup dataset (listSource) and writes the chosen
// record's keyField into the field, showing the text that belongs to the
// field's key. A typed text that names no record is refused with the
// field's "not a valid value" error. The list is read again when the lookup
// dataset opens, refreshes or changes its records, never while it is edited;
// text the user is typing stays as it is. Main thread only.

#include <QComboBox>
#include <memory>

#include "controls/data_control.h"

namespace tessel::controls {

// What both combo boxes share: a pick from the list is a whole value and is
// written at once; typed text is written when the user leaves the box.
class FieldComboBox : public QComboBox, public FieldControl {
 protected:
  explicit FieldComboBox(QWidget* parent);
  void focusOutEvent(QFocusEvent* event) override;
  void SetEditable(bool editable) override { editable_ = editable; }

 private:
  bool editable_ = false;
};

class DataComboBox : public FieldComboBox {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)

 public:
  explicit DataComboBox(QWidget* parent = nullptr);

 protected:
  void ShowField(TField* field) override;
  void WriteField(TField& field) override;
};

class LookupListLink;

class DataLookupComboBox : public FieldComboBox {
  Q_OBJECT
  Q_PROPERTY(QString dataSource READ dataSource WRITE setDataSource)
  Q_PROPERTY(QString dataField READ dataField WRITE setDataField)
  Q_PROPERTY(QString listSource READ listSource WRITE setListSource)
  Q_PROPERTY(QString keyField READ keyField WRITE setKeyField)
  Q_PROPERTY(QString listField READ listField WRITE setListField)

 public:
  explicit DataLookupComboBox(QWidget* parent = nullptr);
  ~DataLookupComboBox() override;

  // The data source of the lookup dataset; not owned.
  TDataSource* ListSource() const;
  void SetListSource(TDataSource* source);
  // The `listSource` property: the lookup data source's name, for the loader.
  QString listSource() const { return list_source_name_; }
  void setListSource(const QString& name) { list_source_name_ = name; }
  // The lookup dataset's field whose value the field takes.
  QString keyField() const { return key_field_; }
  void setKeyField(const QString& name);
  // The lookup dataset's field shown in the list.
  QString listField() const { return list_field_; }
  void setListField(const QString& name);
  // Reads the list again from the lookup dataset.
  void ReloadList();

 protected:
  void ShowField(TField* field) override;
  void WriteField(TField& field) override;

 private:
  std::unique_ptr<LookupListLink> list_link_;
  QString list_source_name_;
  QString key_field_;
  QString list_field_;
};

}  // namespace tessel::controls
