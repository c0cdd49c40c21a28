// The fields dialog: its controls, the column chooser of Add fields, and
// each change applied to the query and told to the designer.

#include "design/lqFieldsDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "catalog_session.h"
#include "design_texts.h"
#include "form_face.h"
#include "framework/designer.h"
#include "framework/field_defs.h"
#include "new_field_dialog.h"
#include "persistent_fields.h"
#include "runtime/Tessel.h"

namespace tessel {

using design::FromQ;
using design::ToQ;

namespace {

// The columns chosen to become fields (all of them to begin with); nothing
// when cancelled.
std::optional<std::vector<std::string>> ChooseColumns(QWidget* parent,
                                                      const std::vector<std::string>& names) {
  QDialog chooser(parent);
  chooser.setObjectName("lqAddFieldsDialog");
  chooser.setWindowTitle("Add fields");
  design::SetFormFont(&chooser);
  auto* list = new QListWidget(&chooser);
  list->setObjectName("ColumnList");
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const std::string& name : names) list->addItem(ToQ(name));
  list->selectAll();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &chooser);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &chooser, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &chooser, &QDialog::reject);
  auto* layout = new QVBoxLayout(&chooser);
  layout->addWidget(new QLabel("Available fields:", &chooser));
  layout->addWidget(list);
  layout->addWidget(buttons);
  if (chooser.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> chosen;
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->isSelected()) chosen.push_back(FromQ(list->item(i)->text()));
  }
  return chosen;
}

QString ListText(const TField& field) {
  QString text = ToQ(field.FieldName());
  if (field.FieldKind() == fkCalculated) text += " (calculated)";
  if (field.FieldKind() == fkLookup) text += " (lookup)";
  return text;
}

}  // namespace

TlqFieldsDialog::TlqFieldsDialog(TTessel* query, TFormDesigner* designer, QWidget* parent)
    : QDialog(parent), FQuery(query), FDesigner(designer) {
  BuildControls();
  FillList(0);
}

TlqFieldsDialog::~TlqFieldsDialog() = default;

void TlqFieldsDialog::BuildControls() {
  setObjectName("lqFieldsDialog");
  const TComponent* owner = FQuery != nullptr ? FQuery->Owner() : nullptr;
  const std::string prefix = owner != nullptr ? owner->Name() + "." : std::string();
  setWindowTitle(ToQ(prefix + (FQuery != nullptr ? FQuery->Name() : std::string()) + " Fields"));
  design::SetFormFont(this);

  FieldList = new QListWidget(this);
  FieldList->setObjectName("FieldList");
  FieldList->setMinimumSize(220, 260);
  const auto button = [this](const char* name, const char* caption) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
  };
  btnAdd = button("btnAdd", "&Add fields...");
  btnNew = button("btnNew", "&New field...");
  btnDelete = button("btnDelete", "&Delete");
  btnUp = button("btnUp", "Move &up");
  btnDown = button("btnDown", "Move do&wn");
  btnClose = button("btnClose", "&Close");
  connect(btnAdd, &QPushButton::clicked, this, [this] { AddFieldsClick(); });
  connect(btnNew, &QPushButton::clicked, this, [this] { NewFieldClick(); });
  connect(btnDelete, &QPushButton::clicked, this, [this] { DeleteClick(); });
  connect(btnUp, &QPushButton::clicked, this, [this] { MoveClick(-1); });
  connect(btnDown, &QPushButton::clicked, this, [this] { MoveClick(1); });
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
  connect(FieldList, &QListWidget::currentRowChanged, this, [this](int row) {
    btnDelete->setEnabled(row >= 0);
    btnUp->setEnabled(row > 0);
    btnDown->setEnabled(row >= 0 && row + 1 < FieldList->count());
  });

  Message = new QLabel(this);
  Message->setObjectName("Message");
  Message->setWordWrap(true);
  Message->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Message->hide();

  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {btnAdd, btnNew, btnDelete, btnUp, btnDown}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(btnClose);
  auto* top = new QHBoxLayout;
  top->addWidget(FieldList, 1);
  top->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(Message);
}

QString TlqFieldsDialog::MessageText() const {
  return Message->text();
}

void TlqFieldsDialog::Say(const std::string& text) {
  Message->setText(ToQ(text));
  Message->setVisible(!text.empty());
}

void TlqFieldsDialog::FillList(int current) {
  FieldList->clear();
  if (FQuery != nullptr) {
    for (const TField* field : design::PersistentFields(*FQuery)) {
      auto* item = new QListWidgetItem(ListText(*field), FieldList);
      item->setToolTip(ToQ(field->Name() + ": " + field->ClassName()));
    }
  }
  FieldList->setCurrentRow(std::min(current, FieldList->count() - 1));
  emit FieldList->currentRowChanged(FieldList->currentRow());
}

void TlqFieldsDialog::Apply(const std::function<void()>& change, const std::string& what,
                            int current) {
  std::string reopen;
  try {
    reopen = design::WhileClosed(*FQuery, change);
  } catch (const std::exception& error) {
    FillList(current);
    Say(error.what());
    return;
  }
  Changed(reopen, what, current);
}

void TlqFieldsDialog::Changed(const std::string& reopen, const std::string& what, int current) {
  if (FDesigner != nullptr) FDesigner->ModifiedAs(what, FQuery->Name());
  FillList(current);
  Say(reopen.empty()
          ? std::string()
          : FQuery->Name() + " is closed: it does not open with these fields: " + reopen);
}

void TlqFieldsDialog::AddFieldsClick() {
  if (FQuery == nullptr) return;
  TSQLServer* server = FQuery->DataBaseName();
  if (server == nullptr) {
    Say(design::kNoSQLServer);
    return;
  }
  TFieldDefs columns(nullptr);
  TlqCatalogSession catalog;
  catalog.Begin(server);
  try {
    const design::TlqWaitCursor wait;
    catalog.Connect();
    catalog.DescribeQuery(*FQuery, columns);
  } catch (const std::exception& error) {
    catalog.End();
    Say(std::string("The query cannot be opened: ") + error.what());
    return;
  }
  catalog.End();
  const std::vector<std::string> free = design::ColumnsWithoutField(*FQuery, columns);
  if (free.empty()) {
    Say(columns.Count() == 0 ? "The query returns no columns."
                             : "Every column the query returns has a field.");
    return;
  }
  Say({});
  const std::optional<std::vector<std::string>> chosen = ChooseColumns(this, free);
  if (!chosen || chosen->empty()) return;
  const int count = FieldList->count();
  Apply([&] { design::AddColumnFields(*FQuery, columns, *chosen); },
        "Add fields to " + FQuery->Name(), count);
}

void TlqFieldsDialog::NewFieldClick() {
  if (FQuery == nullptr) return;
  const int count = FieldList->count();
  // What the new field's dialog refuses leaves it open for a correction.
  design::TlqNewFieldDialog dialog(
      *FQuery,
      [&](const design::TlqNewField& field) {
        std::string name;
        const std::string reopen = design::WhileClosed(
            *FQuery, [&] { name = design::AddNewField(*FQuery, field)->Name(); });
        Changed(reopen, "New field " + name, count);
      },
      this);
  dialog.exec();
}

void TlqFieldsDialog::DeleteClick() {
  const int row = FieldList->currentRow();
  const std::vector<TField*> fields = design::PersistentFields(*FQuery);
  if (row < 0 || row >= static_cast<int>(fields.size())) return;
  TField* going = fields[static_cast<std::size_t>(row)];
  Apply([going] { delete going; }, "Delete field " + going->Name(), row);
}

void TlqFieldsDialog::MoveClick(int by) {
  const int row = FieldList->currentRow();
  const int to = row + by;
  const std::vector<TField*> fields = design::PersistentFields(*FQuery);
  if (row < 0 || to < 0 || to >= static_cast<int>(fields.size())) return;
  const std::string moved = fields[static_cast<std::size_t>(row)]->Name();
  Apply([&] { design::MoveField(*FQuery, row, to); }, "Move field " + moved, to);
}

}  // namespace tessel
