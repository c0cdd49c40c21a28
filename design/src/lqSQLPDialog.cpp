// The parameters dialog: its controls, the scan of the SQL text for names,
// and the handlers that edit the selected parameter.

#include "design/lqSQLPDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>

#include <array>
#include <memory>
#include <utility>

#include "form_face.h"
#include "framework/exceptions.h"
#include "framework/params.h"
#include "framework/sysutils.h"
#include "param_value_text.h"
#include "runtime/Tessel.h"

namespace tessel {

using design::AddLabel;
using design::FromQ;
using design::Place;
using design::ToQ;

namespace {

// The type list, in the order it shows.
constexpr std::array<std::pair<const char*, TFieldType>, 11> kTypes{{
    {"Boolean", ftBoolean},
    {"Blob", ftBlob},
    {"Currency", ftCurrency},
    {"Date", ftDate},
    {"DateTime", ftDateTime},
    {"Float", ftFloat},
    {"Integer", ftInteger},
    {"Memo", ftMemo},
    {"Smallint", ftSmallint},
    {"String", ftString},
    {"Time", ftTime},
}};

// The position at which a name joins a list kept in CompareText order.
int SortedPosition(const QListWidget* list, const std::string& name) {
  int row = 0;
  while (row < list->count() && CompareText(FromQ(list->item(row)->text()), name) <= 0) ++row;
  return row;
}

bool ListHolds(const QListWidget* list, const QString& name) {
  for (int row = 0; row < list->count(); ++row) {
    if (list->item(row)->text() == name) return true;
  }
  return false;
}

}  // namespace

TlqParamsDialog::TlqParamsDialog(QWidget* parent) : QDialog(parent) {
  BuildControls();
}

void TlqParamsDialog::BuildControls() {
  setObjectName("lqParamsDialog");
  setWindowTitle("Edit Tessel Params");
  design::SetFormFont(this);
  design::SetFormSize(this, 385, 265);
  move(254, 167);

  GroupBox1 = new QGroupBox("Define Tessel Parameters", this);
  GroupBox1->setObjectName("GroupBox1");
  Place(GroupBox1, 8, 12, 361, 173);
  AddLabel(GroupBox1, "Label1", "Parameter name:", 12, 24);
  AddLabel(GroupBox1, "Label2", "Data type:", 152, 44);
  AddLabel(GroupBox1, "Label3", "Value:", 152, 68);

  ParamList = new QListWidget(GroupBox1);
  ParamList->setObjectName("ParamList");
  Place(ParamList, 12, 40, 125, 117);
  connect(ParamList, &QListWidget::currentRowChanged, this, [this] { ParamListClick(); });

  CheckBox1 = new QCheckBox("Null value", GroupBox1);
  CheckBox1->setObjectName("CheckBox1");
  Place(CheckBox1, 152, 140, 81, 17);
  // Only a click by the user: setting the box to show a parameter's state
  // must not clear the value it shows.
  connect(CheckBox1, &QCheckBox::clicked, this, &TlqParamsDialog::CheckBox1Click);

  TypeCombo = new QComboBox(GroupBox1);
  TypeCombo->setObjectName("TypeCombo");
  Place(TypeCombo, 208, 40, 140, 21);
  for (const auto& [item, type] : kTypes) TypeCombo->addItem(item);
  TypeCombo->setCurrentIndex(-1);
  TypeCombo->installEventFilter(this);
  connect(TypeCombo, &QComboBox::activated, this, &TlqParamsDialog::TypeComboClick);

  edValue = new QLineEdit(GroupBox1);
  edValue->setObjectName("edValue");
  Place(edValue, 208, 64, 140, 21);
  // Typing only: showing a parameter's value must not write it back.
  connect(edValue, &QLineEdit::textEdited, this, &TlqParamsDialog::edValueChange);

  btnOK = design::AddButton(this, "btnOK", "OK", 80, 200, 75, 25);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &TlqParamsDialog::btnOKClick);

  btnCancel = design::AddButton(this, "btnCancel", "Cancel", 164, 200, 75, 25);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  btnHelp = design::AddButton(this, "btnHelp", "Help", 248, 200, 75, 25);
}

bool TlqParamsDialog::Execute() {
  FormShow();
  return exec() == QDialog::Accepted;
}

void TlqParamsDialog::FormShow() {
  if (FParams == nullptr) return;
  if (FQuery != nullptr) CreateParams(FParams, FQuery->SQL()->Text());

  {
    const QSignalBlocker quiet(ParamList);
    ParamList->clear();
    for (int i = 0; i < FParams->Count(); ++i) {
      const std::string& name = FParams->Items(i)->Name();
      if (ListHolds(ParamList, ToQ(name))) continue;
      ParamList->insertItem(SortedPosition(ParamList, name), ToQ(name));
    }
  }

  if (FQuery != nullptr) {
    const TComponent* owner = FQuery->Owner();
    const std::string prefix = owner != nullptr ? owner->Name() + "." : std::string();
    setWindowTitle(ToQ(prefix + FQuery->Name() + ".Params"));
  }

  ParamList->setFocus();
  if (ParamList->count() > 0) {
    const QSignalBlocker quiet(ParamList);
    ParamList->setCurrentRow(0);
  }
  // Also with no parameter at all: the editing controls are then disabled.
  ParamListClick();
}

void TlqParamsDialog::CreateParams(TParams* List, const std::string& SQL) {
  if (List == nullptr) return;
  // The query's own scanner finds the names (one entry per use), so the
  // dialog and the query always agree on what the text refers to.
  TParams found;
  TTessel::CreateParams(&found, SQL.c_str());
  for (int i = 0; i < found.Count(); ++i) {
    const std::string& name = found.Items(i)->Name();
    bool present = false;
    for (int j = 0; j < List->Count() && !present; ++j) present = List->Items(j)->Name() == name;
    if (!present) List->CreateParam(ftUnknown, name, ptUnknown);
  }
}

int TlqParamsDialog::FieldToIndex(TFieldType FieldType) {
  for (std::size_t i = 0; i < kTypes.size(); ++i) {
    if (kTypes[i].second == FieldType) return static_cast<int>(i);
  }
  return -1;
}

TFieldType TlqParamsDialog::IndexToField(int Index) {
  if (Index < 0 || Index >= static_cast<int>(kTypes.size())) return ftUnknown;
  return kTypes[static_cast<std::size_t>(Index)].second;
}

std::vector<TParam*> TlqParamsDialog::SelectedParams() const {
  std::vector<TParam*> params;
  const QListWidgetItem* item = ParamList->currentItem();
  if (FParams == nullptr || item == nullptr) return params;
  const std::string name = FromQ(item->text());
  for (int i = 0; i < FParams->Count(); ++i) {
    if (FParams->Items(i)->Name() == name) params.push_back(FParams->Items(i));
  }
  return params;
}

void TlqParamsDialog::ParamListClick() {
  edValue->clear();
  ShowValueError({});
  const std::vector<TParam*> params = SelectedParams();
  // Without a parameter there is nothing for the editing controls to change.
  const bool any = !params.empty();
  TypeCombo->setEnabled(any);
  edValue->setEnabled(any);
  CheckBox1->setEnabled(any);
  if (!any) {
    TypeCombo->setCurrentIndex(-1);
    return;
  }
  const TParam* param = params.front();
  if (param->DataType() == ftUnknown) {
    TypeCombo->setCurrentIndex(-1);
    return;
  }
  TypeCombo->setCurrentIndex(FieldToIndex(param->DataType()));
  edValue->setPlaceholderText(design::ParamValueHint(*param));
  if (!param->IsNull()) edValue->setText(ToQ(design::ParamValueText(*param)));
  CheckBox1->setChecked(param->IsNull());
}

void TlqParamsDialog::TypeComboClick(int index) {
  design::Guarded(this, [&] {
    for (TParam* param : SelectedParams()) param->SetDataType(IndexToField(index));
    const std::vector<TParam*> params = SelectedParams();
    edValue->setPlaceholderText(params.empty() ? "" : design::ParamValueHint(*params.front()));
    edValue->clear();
    ShowValueError({});
  });
}

void TlqParamsDialog::TypeComboBackspace() {
  TypeCombo->setCurrentIndex(-1);
  for (TParam* param : SelectedParams()) param->SetDataType(ftUnknown);
  edValue->clear();
  ShowValueError({});
}

bool TlqParamsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TypeCombo && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Backspace) {
    TypeComboBackspace();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TlqParamsDialog::edValueChange(const QString& text) {
  if (text.isEmpty()) {
    ShowValueError({});
    return;
  }
  const std::string value = FromQ(text);
  try {
    for (TParam* param : SelectedParams()) {
      if (param->DataType() == ftString) {
        param->SetAsString(value);
      } else {
        design::SetParamValueText(*param, value);
      }
    }
    ShowValueError({});
    // The parameter holds a value now, so the box must no longer claim null.
    CheckBox1->setChecked(false);
  } catch (const Exception& error) {
    // A text on its way to a valid value ("12." for 12.5) does not convert
    // yet; the designer sees why, and OK refuses to close on it.
    ShowValueError(error.Message());
  }
}

void TlqParamsDialog::ShowValueError(const std::string& message) {
  FValueError = message;
  QPalette palette = edValue->palette();
  palette.setColor(QPalette::Text, message.empty() ? QPalette().color(QPalette::Text) : Qt::red);
  edValue->setPalette(palette);
  edValue->setToolTip(ToQ(message));
}

void TlqParamsDialog::CheckBox1Click(bool checked) {
  if (checked) {
    for (TParam* param : SelectedParams()) param->Clear();
  }
  edValue->clear();
  ShowValueError({});
}

void TlqParamsDialog::btnOKClick() {
  if (!FValueError.empty()) {
    design::ShowMessage(this, FValueError);
    edValue->setFocus();
    return;
  }
  accept();
}

}  // namespace tessel
