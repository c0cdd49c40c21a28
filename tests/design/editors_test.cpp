// Registration and the editors: what the designer's registry holds after
// Register, the values and attributes the property panel shows, and what
// each editor changes after OK and Cancel.

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "catalog_fixture.h"
#include "design/lqSQLBDialog.h"
#include "design/lqSQLEditors.h"
#include "design/lqSQLPDialog.h"
#include "design/lqSQLUpdateDialog.h"
#include "framework/designer.h"
#include "framework/params.h"
#include "modal.h"
#include "runtime/published.h"

namespace tessel::testing {
namespace {

class CountingDesigner : public TFormDesigner {
 public:
  void Modified() override { ++modified; }
  int modified = 0;
};

class EditorsTest : public CatalogTest {
 protected:
  void SetUp() override {
    CatalogTest::SetUp();
    if (IsSkipped()) return;
    ClearDesignerRegistry();
    Register();
    update = new TSQLUpdate(&form);
    update->SetName("SQLUpdate1");
  }
  void TearDown() override {
    ClearDesignerRegistry();
    CatalogTest::TearDown();
  }

  std::unique_ptr<TPropertyEditor> PropertyEditor(TPersistent* component, const char* name) {
    const TPropInfo* property = ClassInfoOfObject(*component)->FindProperty(name);
    EXPECT_NE(property, nullptr) << name;
    return GetPropertyEditor(&designer, property, {component});
  }

  CountingDesigner designer;
  TSQLUpdate* update = nullptr;
};

TEST_F(EditorsTest, RegisterFillsThePaletteAndTheEditors) {
  const TPalettePage* page = nullptr;
  for (const TPalettePage& candidate : PalettePages()) {
    if (candidate.name == "Tessel") page = &candidate;
  }
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->classes,
            (std::vector<const TClassInfo*>{ClassInfoOf<TSQLServer>(), ClassInfoOf<TTessel>(),
                                            ClassInfoOf<TSQLUpdate>()}));

  const auto params = PropertyEditor(query, "Params");
  ASSERT_NE(dynamic_cast<TlqParamsProperty*>(params.get()), nullptr);
  EXPECT_EQ(params->GetValue(), "(TParams)");
  EXPECT_EQ(params->GetAttributes(), TPropertyAttributes{paDialog});
  const auto update_params = PropertyEditor(query, "UpdateParams");
  ASSERT_NE(dynamic_cast<TlqUpdateParamsProperty*>(update_params.get()), nullptr);
  EXPECT_EQ(update_params->GetValue(), "(TUpdateParams)");
  EXPECT_EQ(update_params->GetAttributes(), TPropertyAttributes{paDialog});

  const auto editor = GetComponentEditor(update, &designer);
  ASSERT_NE(dynamic_cast<TlqSQLBuildEditor*>(editor.get()), nullptr);
  EXPECT_EQ(editor->GetVerbCount(), 1);
  EXPECT_EQ(editor->GetVerb(0), "SQL&Update editor...");
}

TEST_F(EditorsTest, ParamsEditorReplacesTheListOnOkOnly) {
  query->SQL()->SetText("select * from orders where id = :id");
  query->ParamByName("id")->SetAsInteger(3);
  // A name the list lacks: the dialog adds it from the SQL text.
  query->Params()->Clear();
  query->Params()->CreateParam(ftString, "stale", ptInput);
  const auto editor = PropertyEditor(query, "Params");

  OnModal<TlqParamsDialog>([](TlqParamsDialog* dialog) { Click(dialog, "btnCancel"); });
  editor->Edit();
  ASSERT_EQ(query->Params()->Count(), 1);
  EXPECT_EQ(designer.modified, 0);

  OnModal<TlqParamsDialog>([](TlqParamsDialog* dialog) {
    auto* list = dialog->findChild<QListWidget*>("ParamList");
    list->setCurrentRow(0);  // "id"
    Click(dialog, "btnOK");
  });
  editor->Edit();
  ASSERT_EQ(query->Params()->Count(), 2);
  EXPECT_EQ(query->Params()->Items(0)->Name(), "stale");
  EXPECT_EQ(query->Params()->Items(1)->Name(), "id");
  EXPECT_EQ(designer.modified, 1);
}

TEST_F(EditorsTest, UpdateParamsEditorStoresOnOk) {
  MakeTable("orders", "id int PRIMARY KEY, qty int");
  const auto editor = PropertyEditor(query, "UpdateParams");
  query->SetUpdateObject(update);

  OnModal<TlqSQLUpdateDialog>([](TlqSQLUpdateDialog* dialog) { Click(dialog, "btnCancel"); });
  editor->Edit();
  EXPECT_EQ(query->UpdateParams(), nullptr);  // a query without settings keeps none
  EXPECT_EQ(query->UpdateObject(), update);
  EXPECT_EQ(designer.modified, 0);

  OnModal<TlqSQLUpdateDialog>([](TlqSQLUpdateDialog* dialog) {
    Choose(dialog->findChild<QComboBox*>("TableCombo"), "orders");
    Toggle(dialog->findChild<QListWidget*>("KeyList"), "id");
    Toggle(dialog->findChild<QListWidget*>("UpdateList"), "qty");
    Click(dialog, "btnOK");
  });
  editor->Edit();
  ASSERT_NE(query->UpdateParams(), nullptr);
  EXPECT_EQ(query->UpdateParams()->TableName(), "orders");
  EXPECT_EQ(query->UpdateParams()->KeyFields()->Text(), "id\n");
  EXPECT_EQ(query->UpdateParams()->UpdateFields()->Text(), "qty\n");
  EXPECT_EQ(query->UpdateParams()->UpdateMode(), upWhereChanged);
  EXPECT_EQ(query->UpdateObject(), nullptr);  // generated statements take over
  EXPECT_EQ(designer.modified, 1);
}

TEST_F(EditorsTest, BuildEditorChecksItsQueryFirst) {
  const auto editor = GetComponentEditor(update, &designer);
  std::string message;
  AnswerNextMessage(&message);
  editor->Edit();
  EXPECT_EQ(message, "Not assigned to any Tessel");

  query->SetUpdateObject(update);
  query->SetSQLServer(nullptr);
  AnswerNextMessage(&message);
  editor->ExecuteVerb(0);
  EXPECT_EQ(message, "DataBaseName property missing");
  EXPECT_EQ(designer.modified, 0);
}

TEST_F(EditorsTest, BuildEditorMarksTheFormModifiedOnOk) {
  MakeTable("orders", "id int PRIMARY KEY, qty int");
  query->SetUpdateObject(update);
  const auto editor = GetComponentEditor(update, &designer);

  OnModal<TlqSQLBuildDialog>([](TlqSQLBuildDialog* dialog) { Click(dialog, "btnCancel"); });
  editor->ExecuteVerb(0);
  EXPECT_EQ(designer.modified, 0);

  OnModal<TlqSQLBuildDialog>([](TlqSQLBuildDialog* dialog) {
    Choose(dialog->findChild<QComboBox*>("TableCombo"), "orders");
    Toggle(dialog->findChild<QListWidget*>("UpdateList"), "qty");
    Toggle(dialog->findChild<QListWidget*>("KeyList"), "id");
    Click(dialog, "GenerateButton");
    Click(dialog, "btnOK");
  });
  editor->Edit();  // a double click runs the verb
  EXPECT_EQ(designer.modified, 1);
  EXPECT_EQ(update->DeleteSQL()->Text(), "delete from orders\nwhere \nid=:OLD_id\n");
}

}  // namespace
}  // namespace tessel::testing
