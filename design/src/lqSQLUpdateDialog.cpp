// The update-parameters dialog: its controls, reading the catalog, and
// storing the selection in the edited update parameters.

#include "design/lqSQLUpdateDialog.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "catalog_session.h"
#include "column_lists.h"
#include "design_texts.h"
#include "form_face.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"

namespace tessel {

using design::AddLabel;
using design::FromQ;
using design::Place;
using design::ToQ;

TlqSQLUpdateDialog::TlqSQLUpdateDialog(QWidget* parent)
    : QDialog(parent), FCatalog(std::make_unique<TlqCatalogSession>()) {
  BuildControls();
}

TlqSQLUpdateDialog::~TlqSQLUpdateDialog() = default;

void TlqSQLUpdateDialog::BuildControls() {
  setObjectName("lqSQLUpdateDialog");
  setWindowTitle("Update parameters");
  design::SetFormFont(this);
  design::SetFormSize(this, 493, 324);
  design::CentreOnScreen(this);

  AddLabel(this, "Label6", "Select table name:", 20, 18);
  TableCombo = design::NewDropDownList(this, "TableCombo", 20, 32, 145, 21);
  connect(TableCombo, &QComboBox::activated, this, [this] { TableComboChange(); });

  AddLabel(this, "Label2", "UpdateMode", 20, 64);
  UpdateMode = design::NewDropDownList(this, "UpdateMode", 20, 80, 145, 21);
  UpdateMode->addItems({"upWhereAll", "upWhereChanged", "upWhereKeyOnly"});

  AddLabel(this, "Label4", "Select key fields", 180, 16);
  KeyList = design::NewColumnList(this, "KeyList", 180, 32, 141, 209);
  connect(KeyList, &QListWidget::itemSelectionChanged, this, [this] { KeyListClick(); });

  AddLabel(this, "Label1", "Select update fields", 332, 16);
  UpdateList = design::NewColumnList(this, "UpdateList", 328, 32, 137, 209);

  btnOK = design::AddButton(this, "btnOK", "OK", 232, 256, 75, 25);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });

  btnCancel = design::AddButton(this, "btnCancel", "&Cancel", 312, 256, 75, 25);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  Button1 = design::AddButton(this, "Button1", "&Help", 392, 256, 75, 25);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
}

bool TlqSQLUpdateDialog::Execute() {
  FormShow();
  return exec() == QDialog::Accepted;
}

void TlqSQLUpdateDialog::FormShow() {
  const TComponent* owner = FQuery != nullptr ? FQuery->Owner() : nullptr;
  const std::string prefix = owner != nullptr ? owner->Name() + "." : std::string();
  if (FQuery != nullptr) setWindowTitle(ToQ(prefix + FQuery->Name() + " Update parameters"));
  UpdateMode->setCurrentIndex(0);

  TSQLServer* server = FQuery != nullptr ? FQuery->DataBaseName() : nullptr;
  if (server == nullptr) DatabaseError(design::kNoSQLServer);
  FCatalog->Begin(server);

  std::string notice;
  try {
    const design::TlqWaitCursor wait;
    FCatalog->Connect();
    design::FillCombo(TableCombo, FCatalog->Tables());
    const std::string& table = FUpdateParams != nullptr ? FUpdateParams->TableName() : "";
    if (!table.empty()) {
      UpdateMode->setCurrentIndex(static_cast<int>(FUpdateParams->UpdateMode()));
      const int index = design::FindName(TableCombo, table);
      if (index >= 0) {
        TableCombo->setCurrentIndex(index);
        TableComboChange();
        design::SelectNames(KeyList, FUpdateParams->KeyFields());
        design::SelectNames(UpdateList, FUpdateParams->UpdateFields());
      } else {
        // Left with no table chosen, OK keeps the stored settings as they are.
        notice = Format(design::kTableNotListed, {table});
      }
    }
  } catch (const std::exception& error) {
    design::ShowException(this, error);
  }
  if (!notice.empty()) design::ShowMessage(this, notice);
}

void TlqSQLUpdateDialog::TableComboChange() {
  design::Guarded(this, [this] {
    const std::vector<std::string> columns = FCatalog->Columns(FromQ(TableCombo->currentText()));
    design::FillList(KeyList, columns);
    design::FillList(UpdateList, columns);
  });
}

void TlqSQLUpdateDialog::KeyListClick() {
  UpdateMode->setCurrentIndex(design::SelectedNames(KeyList).empty() ? 0 : 1);
}

void TlqSQLUpdateDialog::btnOKClick() {
  const bool chosen = TableCombo->currentIndex() >= 0;
  const bool listed = KeyList->count() > 0 || UpdateList->count() > 0;
  if (chosen && listed && FUpdateParams != nullptr) {
    TStringList keys;
    for (const std::string& name : design::SelectedNames(KeyList)) keys.Add(name);
    TStringList fields;
    for (const std::string& name : design::SelectedNames(UpdateList)) fields.Add(name);
    FUpdateParams->SetKeyFields(&keys);
    FUpdateParams->SetUpdateFields(&fields);
    FUpdateParams->SetTableName(FromQ(TableCombo->currentText()));
    FUpdateParams->SetUpdateMode(static_cast<TUpdateMode>(UpdateMode->currentIndex()));
  }
  accept();
}

void TlqSQLUpdateDialog::Button1Click() {
  design::ShowMessage(this, design::kUpdateParamsHelp);
}

void TlqSQLUpdateDialog::FormClose() {
  FCatalog->End();
}

void TlqSQLUpdateDialog::done(int result) {
  FormClose();
  QDialog::done(result);
}

}  // namespace tessel
