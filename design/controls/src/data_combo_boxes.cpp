#include "controls/data_combo_boxes.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include "controls/data_edits.h"
#include "controls/data_error.h"
#include "dataset_walk.h"
#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/exceptions.h"
#include "own_repaint.h"

namespace tessel::controls {

FieldComboBox::FieldComboBox(QWidget* parent) : QComboBox(parent), FieldControl(this) {
  setInsertPolicy(QComboBox::NoInsert);
  connect(this, &QComboBox::activated, this, [this] {
    if (!editable_) {
      Show();
      return;
    }
    UserChanged();
    Commit();
  });
  // Shown values and new lists come with Showing() set or signals blocked:
  // any other change of the text is the user's.
  connect(this, &QComboBox::editTextChanged, this, [this] {
    if (editable_ && isEditable()) UserChanged();
  });
}

void FieldComboBox::focusOutEvent(QFocusEvent* event) {
  Commit();
  QComboBox::focusOutEvent(event);
}

DataComboBox::DataComboBox(QWidget* parent) : FieldComboBox(parent) {
  Show();
}

void DataComboBox::ShowField(TField* field) {
  const QString text = FieldText(field, this);
  setCurrentIndex(text.isEmpty() ? -1 : findText(text, Qt::MatchFixedString));
  // Setting the same text would lay it out again.
  if (isEditable() && currentText() != text) setEditText(text);
}

void DataComboBox::WriteField(TField& field) {
  SetFieldText(field, currentText());
}

// Reads the lookup list when the lookup dataset opens or changes its rows;
// moving through them, as the list itself does, changes nothing.
class LookupListLink : public TDataLink {
 public:
  explicit LookupListLink(DataLookupComboBox& combo) : combo_(combo) {}
  ~LookupListLink() override { SetDataSource(nullptr); }
  // True while the combo box moves through the lookup dataset.
  bool reading = false;

 protected:
  void ActiveChanged() override { Reload(); }
  void DataSetChanged() override { Reload(); }
  void DataSetScrolled(int) override {}
  void LayoutChanged() override { Reload(); }
  void RecordChanged(TField* field) override {
    if (field == nullptr) Reload();
  }
  void EditingChanged() override {
    if (!Editing()) Reload();  // a posted record may have a new text
  }

 private:
  void Reload() {
    if (!reading) combo_.ReloadList();
  }
  DataLookupComboBox& combo_;
};

DataLookupComboBox::DataLookupComboBox(QWidget* parent)
    : FieldComboBox(parent), list_link_(std::make_unique<LookupListLink>(*this)) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  Show();
}

// The list link goes first, while the combo box it calls back is whole.
DataLookupComboBox::~DataLookupComboBox() {
  list_link_.reset();
}

TDataSource* DataLookupComboBox::ListSource() const {
  return list_link_->DataSource();
}

void DataLookupComboBox::SetListSource(TDataSource* source) {
  list_link_->SetDataSource(source);
  ReloadList();
}

void DataLookupComboBox::setKeyField(const QString& name) {
  key_field_ = name;
  ReloadList();
}

void DataLookupComboBox::setListField(const QString& name) {
  list_field_ = name;
  ReloadList();
}

void DataLookupComboBox::ReloadList() {
  if (list_link_ == nullptr || list_link_->reading) return;
  TDataSet* lookup = list_link_->Active() ? list_link_->DataSet() : nullptr;
  if (lookup != nullptr && (lookup->State() == dsEdit || lookup->State() == dsInsert)) return;
  std::vector<std::pair<QString, QString>> items;  // text, key
  if (lookup != nullptr && !key_field_.isEmpty() && !list_field_.isEmpty()) {
    list_link_->reading = true;
    RunReportingErrors(this, [&] {
      TField* key = lookup->FieldByName(key_field_.toStdString());
      TField* text = lookup->FieldByName(list_field_.toStdString());
      ForEachRecord(lookup, [&] {
        items.emplace_back(QString::fromStdString(text->DisplayText()),
                           QString::fromStdString(key->AsString()));
      });
    });
    list_link_->reading = false;
  }
  // Text the user typed and has not written yet outlives the new list:
  // clearing the list empties the edit line, and writing that would clear
  // the field.
  const bool typed = Pending() && lineEdit() != nullptr;
  const QString typed_text = typed ? lineEdit()->text() : QString();
  const int cursor = typed ? lineEdit()->cursorPosition() : 0;
  {
    const QSignalBlocker quiet(this);  // a new list is no choice of the user's
    clear();
    for (const auto& [text, key] : items) addItem(text, key);
    if (typed) {
      setEditText(typed_text);
      lineEdit()->setCursorPosition(cursor);
    }
  }
  Show();
}

void DataLookupComboBox::ShowField(TField* field) {
  const QString key = FieldText(field, this);
  const int index = key.isEmpty() ? -1 : findData(key);
  const QString shown = index < 0 ? QString() : itemText(index);
  const auto show = [&] {
    setCurrentIndex(index);
    if (currentText() != shown) setEditText(shown);
  };
  // An editable combo box shows the text in its line edit, which repaints
  // it; around it the box draws the item's icon, if any, and nothing else
  // the current item changes.
  if (isEditable() && itemIcon(currentIndex()).isNull() && itemIcon(index).isNull()) {
    WithoutOwnRepaint(*this, show);
  } else {
    show();
  }
}

void DataLookupComboBox::WriteField(TField& field) {
  const QString text = currentText();
  if (text.isEmpty()) {
    ClearField(field);
    return;
  }
  int index = currentIndex();
  if (index < 0 || itemText(index).compare(text, Qt::CaseInsensitive) != 0) {
    index = findText(text, Qt::MatchFixedString);
  }
  if (index < 0) {
    DatabaseErrorFmt(dbconsts::SInvalidValue, {text.toStdString(), field.DisplayName()});
  }
  field.SetAsString(itemData(index).toString().toStdString());
}

}  // namespace tessel::controls
