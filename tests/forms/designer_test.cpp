// The designer's registry: palette pages, which editor a property or a
// component gets, verbs, Modified and the message hook.

#include <gtest/gtest.h>

#include "framework/data_module.h"
#include "framework/designer.h"
#include "framework/event_handlers.h"
#include "framework/form_files.h"
#include "framework/show_message.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"

namespace tessel {
namespace {

class CountingDesigner : public TFormDesigner {
 public:
  void Modified() override { ++modified; }
  int modified = 0;
};

class ParamsEditor : public TPropertyEditor {
 public:
  using TPropertyEditor::TPropertyEditor;
  TPropertyAttributes GetAttributes() const override { return {paDialog}; }
  std::string GetValue() const override { return "(TParams)"; }
};

class NamedParamsEditor : public ParamsEditor {
 public:
  using ParamsEditor::ParamsEditor;
  std::string GetValue() const override { return "named"; }
};

class VerbEditor : public TComponentEditor {
 public:
  using TComponentEditor::TComponentEditor;
  int GetVerbCount() const override { return 2; }
  std::string GetVerb(int index) const override { return index == 0 ? "First" : "Second"; }
  void ExecuteVerb(int index) override {
    executed.push_back(index);
    Modified();
  }
  static inline std::vector<int> executed;
};

class DesignerRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearDesignerRegistry();
    VerbEditor::executed.clear();
  }
  void TearDown() override {
    ClearDesignerRegistry();
    ClearEventHandlers();
  }
};

TEST_F(DesignerRegistry, PalettePagesKeepClassesInRegistrationOrder) {
  RegisterComponents("Tessel", {ClassInfoOf<TSQLServer>(), ClassInfoOf<TTessel>()});
  RegisterComponents("Data Access", {ClassInfoOf<TDataSource>()});
  RegisterComponents("tessel", {ClassInfoOf<TSQLUpdate>()});

  ASSERT_EQ(PalettePages().size(), 2U);
  EXPECT_EQ(PalettePages()[0].name, "Tessel");
  ASSERT_EQ(PalettePages()[0].classes.size(), 3U);
  EXPECT_EQ(PalettePages()[0].classes[0]->Name(), "TSQLServer");
  EXPECT_EQ(PalettePages()[0].classes[1]->Name(), "TTessel");
  EXPECT_EQ(PalettePages()[0].classes[2]->Name(), "TSQLUpdate");
  // Components on the palette can be read from form files.
  EXPECT_EQ(GetClass("tsqlupdate"), ClassInfoOf<TSQLUpdate>());
}

TEST_F(DesignerRegistry, PropertyEditorFollowsTypeClassAndName) {
  TTessel query(nullptr);
  TDataSource source(nullptr);
  const TPropInfo* params = ClassInfoOf<TTessel>()->FindProperty("Params");
  const TPropInfo* timeslice = ClassInfoOf<TTessel>()->FindProperty("MaxTimeSlice");
  ASSERT_NE(params, nullptr);

  // Nothing registered: the base editor shows the type's name.
  EXPECT_EQ(GetPropertyEditor(nullptr, params, {&query})->GetValue(), "(TParams)");
  EXPECT_FALSE(GetPropertyEditor(nullptr, params, {&query})->GetAttributes().Contains(paDialog));

  RegisterPropertyEditor(ClassInfoOf<TParams>()->AsPropertyType(), nullptr, "",
                         PropertyEditorClass<ParamsEditor>());
  RegisterPropertyEditor(ClassInfoOf<TParams>()->AsPropertyType(), ClassInfoOf<TDataSource>(),
                         "Params", PropertyEditorClass<NamedParamsEditor>());
  auto editor = GetPropertyEditor(nullptr, params, {&query});
  EXPECT_EQ(editor->GetAttributes(), TPropertyAttributes{paDialog});
  EXPECT_EQ(editor->GetName(), "Params");
  EXPECT_EQ(editor->GetComponent(0), &query);
  // The class-and-name entry is for data sources only, so a query does not get it.
  EXPECT_EQ(editor->GetValue(), "(TParams)");
  EXPECT_EQ(GetPropertyEditor(nullptr, params, {&source})->GetValue(), "named");
  // Another type keeps the base editor.
  EXPECT_EQ(GetPropertyEditor(nullptr, timeslice, {&query})->GetValue(), "50");
}

TEST_F(DesignerRegistry, BaseEditorReadsAndWritesValuesAsText) {
  TSQLServer server(nullptr);
  CountingDesigner designer;
  auto netlib = GetPropertyEditor(&designer, ClassInfoOf<TSQLServer>()->FindProperty("NetLibrary"),
                                  {&server});
  EXPECT_EQ(netlib->GetValue(), "nlConfigured");
  EXPECT_TRUE(netlib->GetAttributes().Contains(paValueList));
  EXPECT_EQ(netlib->GetValues().size(), 5U);
  netlib->SetValue("nlTCPIP");
  EXPECT_EQ(server.NetLibrary(), nlTCPIP);
  EXPECT_EQ(designer.modified, 1);
  EXPECT_THROW(netlib->SetValue("nlCarrierPigeon"), EConvertError);
  EXPECT_EQ(server.NetLibrary(), nlTCPIP);

  TTessel query(nullptr);
  auto options =
      GetPropertyEditor(&designer, ClassInfoOf<TTessel>()->FindProperty("Options"), {&query});
  EXPECT_EQ(options->GetValue(), "[]");
  query.SetOptions({ConvertBlankToNull, LocalEdit});
  EXPECT_EQ(options->GetValue(), "[ConvertBlankToNull, LocalEdit]");

  auto timeout = GetPropertyEditor(
      nullptr, ClassInfoOf<TSQLServer>()->FindProperty("ServerTimeout"), {&server});
  EXPECT_THROW(timeout->SetValue("99999999999"), EConvertError);
  EXPECT_EQ(server.ServerTimeout(), 30);
}

TEST_F(DesignerRegistry, EventEditorOffersHandlersOfTheEventsTypeAndTakesNewNames) {
  // The form's components are found by their registered classes.
  RegisterTesselClasses();
  int opened = 0;
  RegisterEventHandler<TDataSetNotifyEvent>("OrdersOpened", [&](TDataSet*) { ++opened; });
  RegisterEventHandler<TNotifyEvent>("Clicked", [](TObject*) {});
  TDataModule module(nullptr);
  module.SetName("Module");
  auto* query = new TTessel(&module);
  query->SetName("Query");
  auto* other = new TTessel(&module);
  other->SetName("Other");
  module.SetDesigning(true);
  const TClassInfo* info = ClassInfoOf<TTessel>();
  // Names other events of the form use: one of the same type, one not.
  info->FindProperty("BeforeClose")->bind_handler(*other, "OtherClosing", nullptr);
  info->FindProperty("OnUpdateError")->bind_handler(*other, "UpdateFailed", nullptr);

  CountingDesigner designer;
  auto after_open = GetPropertyEditor(&designer, info->FindProperty("AfterOpen"), {query});
  EXPECT_TRUE(after_open->GetAttributes().Contains(paValueList));
  EXPECT_FALSE(after_open->GetAttributes().Contains(paReadOnly));
  EXPECT_EQ(after_open->GetValues(), (std::vector<std::string>{"OrdersOpened", "OtherClosing"}));
  EXPECT_EQ(after_open->GetValue(), "");

  after_open->SetValue("OrdersOpened");
  EXPECT_EQ(after_open->GetValue(), "OrdersOpened");
  EXPECT_EQ(designer.modified, 1);
  // Being designed, the query keeps the name and does not run the handler.
  query->AfterOpen(query);
  EXPECT_EQ(opened, 0);

  after_open->SetValue("  OrdersReady ");
  EXPECT_EQ(after_open->GetValue(), "OrdersReady");
  for (const char* bad : {"1st", "Orders Ready", "Orders.Ready", "Orders-Ready"}) {
    try {
      after_open->SetValue(bad);
      ADD_FAILURE() << bad << " was taken as a handler name";
    } catch (const EConvertError& e) {
      EXPECT_NE(e.Message().find(std::string("'") + bad + "'"), std::string::npos) << e.Message();
    }
  }
  // A registered handler of another type does not fit.
  EXPECT_THROW(after_open->SetValue("Clicked"), EConvertError);
  EXPECT_EQ(after_open->GetValue(), "OrdersReady");
  EXPECT_EQ(designer.modified, 2);
  EXPECT_NE(WriteComponentText(module).find("    AfterOpen = OrdersReady\n"), std::string::npos);
  // The name the form now uses is offered to the query's other events of the type.
  EXPECT_EQ(GetPropertyEditor(&designer, info->FindProperty("BeforeOpen"), {query})->GetValues(),
            (std::vector<std::string>{"OrdersOpened", "OrdersReady", "OtherClosing"}));

  after_open->SetValue("");
  EXPECT_EQ(after_open->GetValue(), "");
  EXPECT_EQ(WriteComponentText(module).find("AfterOpen"), std::string::npos);

  // A component that is not being designed is bound to the registered handler.
  TTessel running(nullptr);
  GetPropertyEditor(nullptr, info->FindProperty("AfterOpen"), {&running})->SetValue("OrdersOpened");
  running.AfterOpen(&running);
  EXPECT_EQ(opened, 1);
}

TEST_F(DesignerRegistry, ComponentEditorEditRunsVerbZeroAndTellsTheDesigner) {
  TSQLUpdate update(nullptr);
  TSQLServer server(nullptr);
  CountingDesigner designer;
  RegisterComponentEditor(ClassInfoOf<TSQLUpdate>(), ComponentEditorClass<VerbEditor>());

  auto editor = GetComponentEditor(&update, &designer);
  ASSERT_EQ(editor->GetVerbCount(), 2);
  EXPECT_EQ(editor->GetVerb(0), "First");
  editor->Edit();
  editor->ExecuteVerb(1);
  EXPECT_EQ(VerbEditor::executed, (std::vector<int>{0, 1}));
  EXPECT_EQ(designer.modified, 2);

  // A class without an editor gets the base one: no verbs, Edit does nothing.
  auto plain = GetComponentEditor(&server, &designer);
  EXPECT_EQ(plain->GetVerbCount(), 0);
  plain->Edit();
  EXPECT_EQ(designer.modified, 2);
}

TEST(ShowMessageHook, GoesToTheInstalledHookAndBack) {
  std::vector<std::string> shown;
  TShowMessageHook previous = SetShowMessageHook([&](const std::string& m) { shown.push_back(m); });
  ShowMessage("Not assigned to any Tessel");
  SetShowMessageHook(std::move(previous));
  testing::internal::CaptureStdout();
  ShowMessage("to the console");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "to the console\n");
  EXPECT_EQ(shown, std::vector<std::string>{"Not assigned to any Tessel"});
}

}  // namespace
}  // namespace tessel
