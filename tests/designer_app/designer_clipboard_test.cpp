// Cut, Copy and Paste of components as form-file text, between two designer
// windows and within one, and Delete asking when the component is in use.

#include <QAction>
#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>

#include "designer_fixture.h"
#include "framework/string_list.h"
#include "modal.h"
#include "runtime/Tessel.h"

namespace tessel::testing {
namespace {

class DesignerClipboard : public DesignerTest {
 protected:
  void SetUp() override {
    DesignerTest::SetUp();
    server = dynamic_cast<TSQLServer*>(PlaceFromPalette("TSQLServer"));
    query = dynamic_cast<TTessel*>(PlaceFromPalette("TTessel"));
    ASSERT_TRUE(server && query);
    Choose("DataBaseName", "SQLServer1");
    query->SQL()->SetText("SELECT id, name FROM parts");
    Document().Modified();
  }
  static void Trigger(designer::DesignerWindow& shown, const char* action) {
    shown.findChild<QAction*>(action)->trigger();
    Settle();
  }
  // Answers the next question box with `button`; its text lands in `text`.
  static void Answer(QMessageBox::StandardButton button, std::string* text) {
    OnModal<QMessageBox>([=](QMessageBox* box) {
      *text = box->text().toStdString();
      box->button(button)->click();
    });
  }

  TSQLServer* server = nullptr;
  TTessel* query = nullptr;
};

TEST_F(DesignerClipboard, ComponentsPasteIntoAnotherFormAndAgainUnderFreeNames) {
  Select(query);
  Trigger(*window, "copy");
  const std::string clip = QApplication::clipboard()->text().toStdString();
  EXPECT_EQ(clip.rfind("object Tessel1: TTessel\n", 0), 0U) << clip;

  designer::DesignerWindow other;
  other.show();
  Trigger(other, "paste");
  Trigger(other, "paste");
  const TComponent* root = other.Document().Root();
  auto* first = dynamic_cast<TTessel*>(root->FindComponent("Tessel1"));
  auto* second = dynamic_cast<TTessel*>(root->FindComponent("Tessel2"));
  ASSERT_TRUE(first && second) << other.Document().Text();
  EXPECT_EQ(first->SQL()->Text(), query->SQL()->Text());
  // That form has no SQLServer1: the reference is left out.
  EXPECT_EQ(first->DataBaseName(), nullptr);
  // Pasted where no other icon is.
  EXPECT_FALSE(
      other.Canvas()->Icon(first)->geometry().intersects(other.Canvas()->Icon(second)->geometry()));
  EXPECT_EQ(other.Document().Selected(), second);

  // Back in the first form the reference holds; one undo removes the paste.
  Trigger(*window, "paste");
  auto* copy = dynamic_cast<TTessel*>(Named("Tessel2"));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->DataBaseName(), Named("SQLServer1"));
  Trigger(*window, "undo");
  EXPECT_EQ(Named("Tessel2"), nullptr);
  EXPECT_NE(Named("Tessel1"), nullptr);
}

TEST_F(DesignerClipboard, DeletingAComponentInUseAsksFirst) {
  std::string asked;
  Select(server);
  Answer(QMessageBox::No, &asked);
  Trigger(*window, "delete");
  EXPECT_NE(asked.find("Tessel1.DataBaseName"), std::string::npos) << asked;
  ASSERT_NE(Named("SQLServer1"), nullptr);

  // Cut asks the same; yes takes it out and clears the reference.
  Answer(QMessageBox::Yes, &asked);
  Trigger(*window, "cut");
  EXPECT_EQ(Named("SQLServer1"), nullptr);
  EXPECT_EQ(dynamic_cast<TTessel*>(Named("Tessel1"))->DataBaseName(), nullptr);
  // Undo brings back the server and the reference to it.
  Trigger(*window, "undo");
  ASSERT_NE(Named("SQLServer1"), nullptr);
  EXPECT_EQ(dynamic_cast<TTessel*>(Named("Tessel1"))->DataBaseName(), Named("SQLServer1"));

  // A component nobody refers to goes without a question.
  Select(Named("Tessel1"));
  Trigger(*window, "delete");
  EXPECT_EQ(Named("Tessel1"), nullptr);
}

}  // namespace
}  // namespace tessel::testing
