// Edit > Undo and Redo: every kind of change on the form goes back to the
// exact form text it came from and comes again, and undoing to where the form
// was saved leaves it unmodified.

#include <QAction>
#include <QComboBox>

#include "designer_fixture.h"
#include "modal.h"
#include "runtime/Tessel.h"

namespace tessel::testing {
namespace {

TEST_F(DesignerTest, EveryChangeOnTheFormUndoesAndRedoes) {
  PlaceFromPalette("TSQLServer");
  PlaceFromPalette("TTessel");
  const QString file = TempForm("history");
  ASSERT_TRUE(window->SaveForm(file));
  const std::string saved = Document().Text();
  QAction* undo = Action("undo");
  QAction* redo = Action("redo");
  ASSERT_TRUE(undo && redo);

  struct Step {
    const char* what;
    std::function<void()> change;
  };
  const Step steps[] = {
      {"place", [&] { PlaceFromPalette("TSQLUpdate"); }},
      {"move", [&] { Drag(Named("Tessel1"), QPoint(120, 90)); }},
      {"reference",
       [&] {
         Select(Named("Tessel1"));
         Choose("DataBaseName", "SQLServer1");
       }},
      {"text property",
       [&] {
         Select(Named("SQLServer1"));
         Type("ServerName", "db.example,1433");
       }},
      {"set element",
       [&] {
         Select(Named("Tessel1"));
         Check("Options.LocalEdit");
       }},
      {"rename",
       [&] {
         Select(Named("Tessel1"));
         Type("Name", "Orders");
       }},
      {"delete",
       [&] {
         Select(Named("SQLUpdate1"));
         Action("delete")->trigger();
         Settle();
       }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const std::string before = Document().Text();
    const int index = Document().UndoStack()->index();
    step.change();
    // One change, one step back.
    EXPECT_EQ(Document().UndoStack()->index(), index + 1);
    const std::string after = Document().Text();
    ASSERT_NE(after, before) << "the change did nothing";
    EXPECT_TRUE(undo->isEnabled());
    undo->trigger();
    Settle();
    EXPECT_EQ(Document().Text(), before);
    redo->trigger();
    Settle();
    EXPECT_EQ(Document().Text(), after);
    // The views show the rebuilt form.
    for (TComponent* component : Document().Components()) {
      EXPECT_NE(window->Canvas()->Icon(component), nullptr) << component->Name();
    }
  }
  EXPECT_TRUE(undo->text().contains("Delete SQLUpdate1")) << undo->text().toStdString();
  EXPECT_NE(Named("Orders"), nullptr);

  // Back to where it was saved: unmodified; one step on: modified again.
  QUndoStack* stack = Document().UndoStack();
  while (stack->index() > stack->cleanIndex()) undo->trigger();
  Settle();
  EXPECT_EQ(Document().Text(), saved);
  EXPECT_FALSE(Document().IsModified());
  // The placing before the save is still there to undo.
  EXPECT_TRUE(undo->isEnabled());
  redo->trigger();
  EXPECT_TRUE(Document().IsModified());
}

TEST_F(DesignerTest, ConfirmingUpdateParamsAnnouncesTheDroppedUpdateObject) {
  auto* query = dynamic_cast<TTessel*>(PlaceFromPalette("TTessel"));
  auto* update = dynamic_cast<TSQLUpdate*>(PlaceFromPalette("TSQLUpdate"));
  ASSERT_TRUE(query && update);
  Select(query);
  Choose("UpdateObject", "SQLUpdate1");
  // What the update-parameters dialog does on OK.
  TUpdateParams params;
  params.SetTableName("orders");
  query->SetUpdateParams(&params);
  Document().Modified();
  EXPECT_EQ(query->UpdateObject(), nullptr);
  EXPECT_TRUE(window->StatusText().contains("Tessel1 no longer uses SQLUpdate1"))
      << window->StatusText().toStdString();
  EXPECT_TRUE(window->StatusText().contains("orders"));
}

}  // namespace
}  // namespace tessel::testing
