// The order-entry data module in the designer: the lines' persistent fields
// listed under their query and not placed on the form, edited in the
// property panel, saved as they were read, and gone with their query; the
// fields dialog that makes, orders and deletes them; a query pasted with
// its fields; and a field copied or cut on its own and pasted into a dataset.

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QUndoStack>

#include "clipboard.h"
#include "design/lqFieldsDialog.h"
#include "designer_fixture.h"
#include "framework/field.h"
#include "framework/form_files.h"
#include "framework/string_list.h"
#include "runtime/Tessel.h"

namespace tessel::testing {
namespace {

std::string FileText(const QString& file) {
  QFile in(file);
  return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : std::string();
}

// The example's form without what acts as it is read (a connection, open
// queries), so that no server is asked.
std::string OfflineOrderEntry() {
  QString text = QString::fromStdString(FileText(TESSEL_ORDER_ENTRY_FORM));
  text.remove(QRegularExpression("\\n *(Connected|Active) = True"));
  return text.toStdString();
}

// The designer gives every component on the form a place; the rest is as read.
std::string WithoutPlaces(const std::string& text) {
  return QString::fromStdString(text)
      .remove(QRegularExpression("\\n *(Left|Top) = -?\\d+"))
      .toStdString();
}

// Writes a form file for the designer to open.
QString FormFile(const QString& file, const std::string& text) {
  QFile out(file);
  if (out.open(QIODevice::WriteOnly)) out.write(text.data(), static_cast<qint64>(text.size()));
  return file;
}

TEST_F(DesignerTest, OrderEntryFieldsAreListedUnderTheirQueryEditedAndSavedAsRead) {
  const std::string text = OfflineOrderEntry();
  ASSERT_NE(text.find("object LinesQueryproduct: TStringField"), std::string::npos);
  const QString file = TempForm("order_entry");
  {
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(text.data(), static_cast<qint64>(text.size()));
  }
  ASSERT_TRUE(window->OpenForm(file));

  auto* list = Properties().findChild<QComboBox*>("components");
  ASSERT_NE(list, nullptr);
  const QStringList items = Items(list);
  const int query = static_cast<int>(items.indexOf("LinesQuery: TTessel"));
  ASSERT_GE(query, 0) << items.join('|').toStdString();
  EXPECT_EQ(
      items.mid(query + 1, 7),
      QStringList({"    LinesQueryorder_id: TIntegerField", "    LinesQueryline_no: TIntegerField",
                   "    LinesQueryproduct_id: TIntegerField", "    LinesQueryproduct: TStringField",
                   "    LinesQueryquantity: TBCDField", "    LinesQueryprice: TBCDField",
                   "LinesSource: TDataSource"}));
  EXPECT_EQ(window->Canvas()->Icon(Named("LinesQueryproduct")), nullptr) << "listed, not placed";
  EXPECT_NE(window->Canvas()->Icon(Named("LinesQuery")), nullptr);

  const QString saved = TempForm("order_entry_saved");
  ASSERT_TRUE(window->SaveForm(saved));
  EXPECT_EQ(WithoutPlaces(FileText(saved)), text);

  // A field is chosen from the list and edited like any component.
  const int product = query + 4;
  list->setCurrentIndex(product);
  emit list->activated(product);
  Settle();
  ASSERT_EQ(Document().Selected(), Named("LinesQueryproduct"));
  Type("DisplayLabel", "Article");
  ASSERT_TRUE(window->SaveForm(saved));
  std::string edited = text;
  const std::size_t label = edited.find("DisplayLabel = 'Product'");
  ASSERT_NE(label, std::string::npos);
  edited.replace(label, 24, "DisplayLabel = 'Article'");
  EXPECT_EQ(WithoutPlaces(FileText(saved)), edited);

  // The query takes its fields with it, the selected one included.
  Document().DeleteComponent(Named("LinesQuery"));
  Settle();
  EXPECT_EQ(Named("LinesQueryproduct"), nullptr);
  EXPECT_EQ(Document().Selected(), nullptr);
  EXPECT_EQ(Document().Text().find("LinesQueryprice"), std::string::npos);
}

class FieldsDialogTest : public DesignerTest {
 protected:
  // A connection to the test server, parts and the kinds they are of.
  void SetUp() override {
    DesignerTest::SetUp();
    if (IsSkipped()) return;
    server->Open();
    for (const char* sql :
         {"IF OBJECT_ID('fe_parts') IS NOT NULL DROP TABLE fe_parts",
          "IF OBJECT_ID('fe_kinds') IS NOT NULL DROP TABLE fe_kinds",
          "CREATE TABLE fe_parts (id int PRIMARY KEY, name varchar(30), kind int)",
          "CREATE TABLE fe_kinds (kind int PRIMARY KEY, label varchar(20))",
          "INSERT INTO fe_parts VALUES (1, 'bolt', 7)",
          "INSERT INTO fe_kinds VALUES (7, 'metal')"}) {
      server->InternalExecute(sql);
    }
    server->Close();
    auto* connection = dynamic_cast<TSQLServer*>(PlaceFromPalette("TSQLServer"));
    ASSERT_NE(connection, nullptr);
    connection->SetServerName(address->Server);
    connection->SetUsername(address->User);
    connection->SetPassword(address->Password);
    connection->SetDataBaseName(address->Database);
    kinds = Query("SELECT kind, label FROM fe_kinds");
    parts = Query("SELECT id, name, kind FROM fe_parts");
  }
  TTessel* Query(const char* sql) {
    auto* query = dynamic_cast<TTessel*>(PlaceFromPalette("TTessel"));
    if (query == nullptr) return nullptr;
    Choose("DataBaseName", "SQLServer1");
    query->SQL()->SetText(sql);
    Document().Modified();
    return query;
  }
  // Runs `work` in the fields dialog that the Component menu opens on the
  // selected component.
  void InFieldsDialog(const std::function<void(TlqFieldsDialog&)>& work) {
    auto* menu = window->findChild<QMenu*>("componentMenu");
    emit menu->aboutToShow();
    ASSERT_EQ(menu->actions().front()->text(), "&Fields...");
    bool opened = false;
    OnModal<TlqFieldsDialog>([&](TlqFieldsDialog* dialog) {
      opened = true;
      work(*dialog);
      dialog->accept();
    });
    menu->actions().front()->trigger();
    Settle();
    EXPECT_TRUE(opened);
  }
  static QStringList Listed(const TlqFieldsDialog& dialog) {
    QStringList texts;
    const auto* list = dialog.findChild<QListWidget*>("FieldList");
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
    return texts;
  }
  static void Click(const QWidget& dialog, const char* button) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
  }

  TTessel* kinds = nullptr;
  TTessel* parts = nullptr;
};

TEST_F(FieldsDialogTest, FieldsMadeInTheDialogAreUndoableSavedAndOpenInTheRunningProgram) {
  if (IsSkipped()) return;
  ASSERT_TRUE(kinds && parts);
  Document().Select(parts);
  const int steps = Document().UndoStack()->count();
  InFieldsDialog([&](TlqFieldsDialog& dialog) {
    OnModalWindow([](QWidget* w) { return w->objectName() == "lqAddFieldsDialog"; },
                  [](QWidget* w) { qobject_cast<QDialog*>(w)->accept(); });
    Click(dialog, "btnAdd");
    EXPECT_EQ(Listed(dialog), QStringList({"id", "name", "kind"}))
        << dialog.MessageText().toStdString();
    // Nothing left to add: the dialog says so and opens no chooser.
    Click(dialog, "btnAdd");
    EXPECT_EQ(dialog.MessageText(), "Every column the query returns has a field.");

    OnModal<QDialog>([](QDialog* d) {
      d->findChild<QLineEdit*>("FieldName")->setText("kind_label");
      d->findChild<QRadioButton*>("KindLookup")->setChecked(true);
      d->findChild<QLineEdit*>("KeyFields")->setText("kind");
      d->findChild<QLineEdit*>("LookupKeyFields")->setText("kind");
      d->findChild<QLineEdit*>("LookupResultField")->setText("label");
      d->accept();
    });
    Click(dialog, "btnNew");
    dialog.findChild<QListWidget*>("FieldList")->setCurrentRow(2);
    Click(dialog, "btnUp");
    dialog.findChild<QListWidget*>("FieldList")->setCurrentRow(2);
    Click(dialog, "btnDelete");
    EXPECT_EQ(Listed(dialog), QStringList({"id", "kind", "kind_label (lookup)"}));
    EXPECT_EQ(dialog.MessageText(), "");
  });
  // Four changes, four steps, each listed under the query and named in the
  // Edit menu by what it did to which field.
  ASSERT_EQ(Document().UndoStack()->count(), steps + 4);
  QStringList done;
  for (int i = steps; i < steps + 4; ++i) done << Document().UndoStack()->text(i);
  EXPECT_EQ(done, QStringList({"Add fields to Tessel2", "New field Tessel2kind_label",
                               "Move field Tessel2kind", "Delete field Tessel2name"}));
  EXPECT_EQ(window->findChild<QAction*>("undo")->text(), "&Undo Delete field Tessel2name");
  EXPECT_TRUE(Document().IsModified());
  EXPECT_TRUE(Items(Properties().ComponentList()).contains("    Tessel2kind_label: TStringField"));
  EXPECT_EQ(dynamic_cast<TField*>(Named("Tessel2kind_label"))->LookupDataSet(), Named("Tessel1"));

  const QString file = TempForm("fields_dialog");
  ASSERT_TRUE(SaveWithPassword(file));
  {
    std::unique_ptr<TComponent> running = ReadComponentFile(file.toStdString());
    auto* query = dynamic_cast<TTessel*>(running->FindComponent("Tessel2"));
    ASSERT_NE(query, nullptr);
    query->Open();
    std::vector<std::string> names;
    query->GetFieldNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"id", "kind", "kind_label"}));
    EXPECT_FALSE(query->DefaultFields());
    EXPECT_EQ(query->FieldByName("kind_label")->AsString(), "metal");
  }

  // The delete goes back first; all four undone, the query has no fields.
  window->findChild<QAction*>("undo")->trigger();
  EXPECT_NE(Named("Tessel2name"), nullptr);
  for (int i = 0; i < 3; ++i) window->findChild<QAction*>("undo")->trigger();
  EXPECT_EQ(Document().Children(Named("Tessel2")).size(), 0U);
}

TEST_F(FieldsDialogTest, AddFieldsSaysWhyTheQueryCannotBeRead) {
  if (IsSkipped()) return;
  ASSERT_TRUE(kinds && parts);
  struct Case {
    const char* name;
    bool connected;
    const char* said;  // part of the dialog's message
  };
  const Case cases[] = {
      {"no connection component", false, "No SQLServer connected to query."},
      {"unknown table", true, "fe_no_such_table"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    parts->SQL()->SetText("SELECT id FROM fe_no_such_table");
    parts->SetSQLServer(c.connected ? dynamic_cast<TSQLServer*>(Named("SQLServer1")) : nullptr);
    Document().Modified();
    Document().Select(parts);
    const int steps = Document().UndoStack()->count();
    InFieldsDialog([&](TlqFieldsDialog& dialog) {
      Click(dialog, "btnAdd");
      EXPECT_TRUE(dialog.MessageText().contains(c.said)) << dialog.MessageText().toStdString();
      EXPECT_TRUE(Listed(dialog).isEmpty());
    });
    EXPECT_EQ(Document().UndoStack()->count(), steps);
  }
}

TEST_F(FieldsDialogTest, AFieldCutOrPastedIntoAnOpenQueryOpensItAgainOrLeavesItClosedSayingWhy) {
  if (IsSkipped()) return;
  ASSERT_TRUE(kinds && parts);
  Document().Select(parts);
  InFieldsDialog([&](TlqFieldsDialog& dialog) {
    OnModalWindow([](QWidget* w) { return w->objectName() == "lqAddFieldsDialog"; },
                  [](QWidget* w) { qobject_cast<QDialog*>(w)->accept(); });
    Click(dialog, "btnAdd");
  });
  parts->Open();
  ASSERT_TRUE(parts->Active());
  const auto trigger = [&](const char* action) {
    window->findChild<QAction*>(action)->trigger();
    Settle();
  };
  const auto query = [&] { return dynamic_cast<TTessel*>(Named("Tessel2")); };

  // Cut: the query opens again without the field.
  Document().Select(Named("Tessel2name"));
  trigger("cut");
  ASSERT_EQ(Named("Tessel2name"), nullptr);
  EXPECT_TRUE(query()->Active());
  EXPECT_EQ(query()->FindField("name"), nullptr);

  // Pasted back, nothing selected: it joins the query it came from, which
  // opens with it.
  Document().Select(nullptr);
  trigger("paste");
  ASSERT_NE(Named("Tessel2name"), nullptr) << Document().Text();
  ASSERT_TRUE(query()->Active()) << window->StatusText().toStdString();
  EXPECT_EQ(query()->FieldByName("name")->AsString(), "bolt");

  // A second copy is a field name1 that the query does not return: the
  // query stays closed and the status line says why.
  Document().Select(Named("Tessel2name"));
  trigger("copy");
  trigger("paste");
  auto* copy = dynamic_cast<TField*>(Named("Tessel2name1"));
  ASSERT_NE(copy, nullptr) << Document().Text();
  EXPECT_EQ(copy->DataSet(), query());
  EXPECT_FALSE(query()->Active());
  const std::string status = window->StatusText().toStdString();
  EXPECT_EQ(status.rfind("Pasted Tessel2name1. Tessel2 is closed: it does not open with the "
                         "pasted fields: ",
                         0),
            0U)
      << status;
  EXPECT_NE(status.find("name1"), std::string::npos) << status;
}

TEST_F(DesignerTest, AQueryPastedWithItsFieldsGetsItsOwnFields) {
  const std::string text = OfflineOrderEntry();
  const QString file = TempForm("order_entry_paste");
  {
    QFile out(file);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(text.data(), static_cast<qint64>(text.size()));
  }
  struct Case {
    const char* name;
    std::vector<std::string> copied;
    const char* looked_up_in;  // the pasted lookup field's dataset
  };
  const Case cases[] = {
      {"the query alone", {"LinesQuery"}, "ProductsQuery"},
      {"with the lookup's dataset", {"ProductsQuery", "LinesQuery"}, "ProductsQuery1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(window->OpenForm(file));
    std::string clip;
    for (const std::string& name : c.copied)
      clip += designer::CopyComponentText(Document().Text(), name);
    ASSERT_NO_THROW(Document().Paste(clip));
    const QString saved = TempForm("order_entry_pasted");
    ASSERT_TRUE(window->SaveForm(saved));
    ASSERT_TRUE(window->OpenForm(saved));

    auto* original = dynamic_cast<TDataSet*>(Named("LinesQuery"));
    auto* copy = dynamic_cast<TDataSet*>(Named("LinesQuery1"));
    ASSERT_TRUE(original && copy);
    EXPECT_EQ(Document().Children(original).size(), 6U);
    const std::vector<TComponent*> fields = Document().Children(copy);
    ASSERT_EQ(fields.size(), 6U);
    EXPECT_EQ(fields[3]->Name(), "LinesQuery1product");
    for (TComponent* field : fields) EXPECT_EQ(field->GetParentComponent(), copy) << field->Name();
    EXPECT_EQ(dynamic_cast<TField*>(fields[3])->LookupDataSet(), Named(c.looked_up_in));
  }
}

TEST_F(DesignerTest, AFieldCopiedOrCutAlonePastesIntoADatasetUnderFreeNames) {
  const QString file = FormFile(TempForm("order_entry_field_clip"), OfflineOrderEntry());
  const auto trigger = [&](const char* action) {
    Action(action)->trigger();
    Settle();
  };
  struct Case {
    const char* name;
    const char* field;  // the field copied, or cut
    bool cut;
    const char* selected;    // selected when pasting; null: nothing
    const char* pasted;      // the field's name in the form
    const char* dataset;     // the dataset it joins
    const char* field_name;  // its FieldName there
    std::size_t fields;      // the dataset's fields after the paste
  };
  const Case cases[] = {
      {"copied and pasted with the field still selected", "LinesQueryproduct", false,
       "LinesQueryproduct", "LinesQueryproduct1", "LinesQuery", "product1", 7},
      {"copied and pasted with nothing selected", "LinesQueryprice", false, nullptr,
       "LinesQueryprice1", "LinesQuery", "price1", 7},
      {"copied into the selected dataset", "LinesQueryproduct", false, "ProductsQuery",
       "ProductsQueryproduct", "ProductsQuery", "product", 1},
      {"cut and pasted back", "LinesQueryprice", true, nullptr, "LinesQueryprice", "LinesQuery",
       "price", 6},
      {"cut and pasted into another dataset", "LinesQueryquantity", true, "OrdersQuery",
       "OrdersQueryquantity", "OrdersQuery", "quantity", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(window->OpenForm(file));
    const std::string copied_class = Named(c.field)->ClassName();
    Document().Select(Named(c.field));
    trigger(c.cut ? "cut" : "copy");
    const std::string clip = QApplication::clipboard()->text().toStdString();
    EXPECT_EQ(clip.rfind(std::string("object ") + c.field + ": " + copied_class + "\n", 0), 0U)
        << clip;
    EXPECT_EQ(Named(c.field) == nullptr, c.cut);

    Document().Select(c.selected != nullptr ? Named(c.selected) : nullptr);
    trigger("paste");
    auto* field = dynamic_cast<TField*>(Named(c.pasted));
    ASSERT_NE(field, nullptr) << Document().Text();
    EXPECT_EQ(field->ClassName(), copied_class);
    EXPECT_EQ(field->FieldName(), c.field_name);
    auto* dataset = dynamic_cast<TDataSet*>(Named(c.dataset));
    ASSERT_NE(dataset, nullptr);
    EXPECT_EQ(field->GetParentComponent(), dataset);
    const std::vector<TComponent*> fields = Document().Children(dataset);
    EXPECT_EQ(fields.size(), c.fields);
    EXPECT_EQ(fields.back(), field);
    EXPECT_EQ(window->Canvas()->Icon(field), nullptr) << "listed, not placed";
    EXPECT_EQ(Document().Selected(), field);
    EXPECT_EQ(Document().UndoStack()->undoText(), QString("Paste %1").arg(c.pasted));

    // One undo takes the paste back.
    trigger("undo");
    EXPECT_EQ(Named(c.pasted), nullptr);
    EXPECT_EQ(Document().Children(Named(c.dataset)).size(), c.fields - 1);
    trigger("redo");
    ASSERT_NE(Named(c.pasted), nullptr);

    // The form with it saves and reads back as it is.
    const std::string pasted_text = Document().Text();
    const QString saved = TempForm("order_entry_field_pasted");
    ASSERT_TRUE(window->SaveForm(saved));
    ASSERT_TRUE(window->OpenForm(saved));
    EXPECT_EQ(WithoutPlaces(Document().Text()), WithoutPlaces(pasted_text));
  }

  // A form without a dataset has nowhere to put a field: the paste says so
  // and the form stays as it was.
  window->OpenForm(file);
  Document().Select(Named("LinesQueryproduct"));
  trigger("copy");
  Document().NewForm();
  const std::string empty = Document().Text();
  std::string said;
  AnswerNextMessage(&said);
  trigger("paste");
  EXPECT_NE(said.find("LinesQueryproduct belongs in a dataset"), std::string::npos) << said;
  EXPECT_EQ(Document().Text(), empty);
}

}  // namespace
}  // namespace tessel::testing
