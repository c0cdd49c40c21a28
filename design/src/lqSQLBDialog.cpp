// The SQL builder dialog: its pages and controls, reading the catalog, and
// generating and storing the update object's statements.

#include "design/lqSQLBDialog.h"

#include <QComboBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "catalog_session.h"
#include "column_lists.h"
#include "design/update_sql_text.h"
#include "design_texts.h"
#include "form_face.h"
#include "framework/exceptions.h"
#include "runtime/Tessel.h"

namespace tessel {

using design::AddLabel;
using design::FromQ;
using design::Place;
using design::ToQ;

namespace {

void SetMemo(QPlainTextEdit* memo, const TStrings* lines) {
  memo->setPlainText(ToQ(lines->Text()));
}

// The memo's lines; a line break at the very end starts no further line.
void StoreMemo(const QPlainTextEdit* memo, TStrings* lines) {
  lines->SetText(FromQ(memo->toPlainText()));
}

}  // namespace

TlqSQLBuildDialog::TlqSQLBuildDialog(QWidget* parent)
    : QDialog(parent), FCatalog(std::make_unique<TlqCatalogSession>()) {
  BuildControls();
}

TlqSQLBuildDialog::~TlqSQLBuildDialog() = default;

void TlqSQLBuildDialog::BuildControls() {
  setObjectName("lqSQLBuildDialog");
  setWindowTitle("SQL Builder");
  design::SetFormFont(this);
  design::SetFormSize(this, 502, 349);
  design::CentreOnScreen(this);

  PageControl = new QTabWidget(this);
  PageControl->setObjectName("PageControl");
  Place(PageControl, 8, 12, 481, 269);
  BuildGeneratePage();
  Memo1 = AddSQLPage("TInsertSQL", "InsertSQL", "Memo1");
  TInsertSQL = PageControl->widget(1);
  Memo2 = AddSQLPage("TModifySQL", "ModifySQL", "Memo2");
  Memo3 = AddSQLPage("TDeleteSQL", "DeleteSQL", "Memo3");
  PageControl->setCurrentIndex(0);

  btnOK = design::AddButton(this, "btnOK", "OK", 312, 292, 75, 25);
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });

  btnCancel = design::AddButton(this, "btnCancel", "&Cancel", 396, 292, 75, 25);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TlqSQLBuildDialog::BuildGeneratePage() {
  Generate = new QWidget;
  Generate->setObjectName("Generate");
  PageControl->addTab(Generate, "SQL Generation");

  AddLabel(Generate, "Label6", "Select table name:", 12, 6);
  TableCombo = design::NewDropDownList(Generate, "TableCombo", 12, 20, 145, 21);
  connect(TableCombo, &QComboBox::activated, this, [this] { TableComboChange(); });

  AddLabel(Generate, "Label2", "UpdateMode", 12, 52);
  UpdateMode = design::NewDropDownList(Generate, "UpdateMode", 12, 68, 145, 21);
  UpdateMode->addItems({"upWhereAll", "upWhereKeyOnly"});

  GenerateButton = design::AddButton(Generate, "GenerateButton", "&Generate SQL", 12, 104, 145, 25);
  // Nothing can be generated before a table is chosen.
  GenerateButton->setEnabled(false);
  connect(GenerateButton, &QPushButton::clicked, this, [this] { GenerateButtonClick(); });

  AddLabel(Generate, "Label5", "Select key fields:", 172, 6);
  KeyList = design::NewColumnList(Generate, "KeyList", 172, 20, 141, 209);
  connect(KeyList, &QListWidget::itemSelectionChanged, this, [this] { KeyListClick(); });

  AddLabel(Generate, "Label1", "Select update fields:", 320, 6);
  UpdateList = design::NewColumnList(Generate, "UpdateList", 320, 20, 137, 209);
}

QPlainTextEdit* TlqSQLBuildDialog::AddSQLPage(const char* page, const char* caption,
                                              const char* memo) {
  auto* sheet = new QWidget;
  sheet->setObjectName(page);
  PageControl->addTab(sheet, caption);
  AddLabel(sheet, "Label", "SQL text:", 8, 8);
  auto* text = new QPlainTextEdit(sheet);
  text->setObjectName(memo);
  text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  Place(text, 8, 24, 457, 205);
  return text;
}

bool TlqSQLBuildDialog::Execute() {
  FormShow();
  return exec() == QDialog::Accepted;
}

void TlqSQLBuildDialog::FormShow() {
  if (FUpdateSQL == nullptr) DatabaseError(design::kNotAssignedComponent);
  const TComponent* owner = FUpdateSQL->Owner();
  const std::string prefix = owner != nullptr ? owner->Name() + "." : std::string();
  setWindowTitle(ToQ(prefix + FUpdateSQL->Name() + " SQL Builder"));
  SetMemo(Memo1, FUpdateSQL->InsertSQL());
  SetMemo(Memo2, FUpdateSQL->ModifySQL());
  SetMemo(Memo3, FUpdateSQL->DeleteSQL());
  UpdateMode->setCurrentIndex(0);

  const TTessel* query = FUpdateSQL->DataSet();
  if (query == nullptr) DatabaseError(design::kNotAssignedComponent);
  if (query->DataBaseName() == nullptr) DatabaseError(design::kNoSQLServer);
  FCatalog->Begin(query->DataBaseName());
  try {
    const design::TlqWaitCursor wait;
    FCatalog->Connect();
    design::FillCombo(TableCombo, FCatalog->Tables());
  } catch (const std::exception& error) {
    design::ShowException(this, error);
  }
  PageControl->setCurrentWidget(Generate);
}

void TlqSQLBuildDialog::TableComboChange() {
  design::FillList(KeyList, {});
  design::FillList(UpdateList, {});
  GenerateButton->setEnabled(TableCombo->currentIndex() >= 0);
  design::Guarded(this, [this] {
    const std::vector<std::string> columns = FCatalog->Columns(FromQ(TableCombo->currentText()));
    design::FillList(KeyList, columns);
    design::FillList(UpdateList, columns);
  });
}

void TlqSQLBuildDialog::KeyListClick() {
  UpdateMode->setCurrentIndex(design::SelectedNames(KeyList).empty() ? 0 : 1);
}

void TlqSQLBuildDialog::GenerateButtonClick() {
  TlqUpdateSQLChoice choice;
  if (TableCombo->currentIndex() >= 0) choice.Table = FromQ(TableCombo->currentText());
  choice.UpdateFields = design::SelectedNames(UpdateList);
  choice.KeyFields = design::SelectedNames(KeyList);
  choice.WhereKeyOnly = UpdateMode->currentText() == "upWhereKeyOnly";
  const TlqUpdateSQLText text = BuildUpdateSQL(choice);
  if (!text.Refusal.empty()) {
    design::ShowMessage(this, text.Refusal);
    return;
  }
  Memo1->setPlainText(ToQ(text.InsertSQL));
  Memo2->setPlainText(ToQ(text.ModifySQL));
  Memo3->setPlainText(ToQ(text.DeleteSQL));
  PageControl->setCurrentWidget(TInsertSQL);
}

void TlqSQLBuildDialog::btnOKClick() {
  StoreMemo(Memo1, FUpdateSQL->InsertSQL());
  StoreMemo(Memo2, FUpdateSQL->ModifySQL());
  StoreMemo(Memo3, FUpdateSQL->DeleteSQL());
  accept();
}

void TlqSQLBuildDialog::FormClose() {
  FCatalog->End();
}

void TlqSQLBuildDialog::done(int result) {
  FormClose();
  QDialog::done(result);
}

}  // namespace tessel
