// Events in the property panel: an editable list of handler names, new names
// typed in and checked, clearing, and the names kept through save and reopen.

#include <QFile>

#include "designer_fixture.h"
#include "framework/event_handlers.h"
#include "modal.h"
#include "runtime/Tessel.h"

namespace tessel::testing {
namespace {

class DesignerEvents : public DesignerTest {
 protected:
  void SetUp() override {
    DesignerTest::SetUp();
    RegisterEventHandler<TDataSetNotifyEvent>("OrdersOpened", [](TDataSet*) {});
    RegisterEventHandler<TLoginEvent>("ServerLogin", [](TSQLServer*) {});
  }
  void TearDown() override {
    UnRegisterEventHandler("OrdersOpened");
    UnRegisterEventHandler("ServerLogin");
    DesignerTest::TearDown();
  }
  static std::string HandlerOf(TComponent* component, const char* event) {
    const TPropInfo* p = ClassInfoOfObject(*component)->FindProperty(event);
    return p != nullptr ? p->get_handler(*component) : "(no " + std::string(event) + ")";
  }
};

TEST_F(DesignerEvents, HandlersAreChosenTypedClearedAndSaved) {
  auto* query = dynamic_cast<TTessel*>(PlaceFromPalette("TTessel"));
  auto* other = dynamic_cast<TTessel*>(PlaceFromPalette("TTessel"));
  ASSERT_TRUE(query && other);
  ASSERT_TRUE(window->SaveForm(TempForm("events")));

  Select(query);
  QComboBox* after_open = Editor<QComboBox>("AfterOpen");
  ASSERT_NE(after_open, nullptr);
  EXPECT_TRUE(after_open->isEditable());
  // Registered handlers of the event's type only: not the login handler.
  EXPECT_EQ(Items(after_open), (QStringList{"", "OrdersOpened"}));
  Choose("AfterOpen", "OrdersOpened");
  EXPECT_EQ(HandlerOf(query, "AfterOpen"), "OrdersOpened");
  EXPECT_TRUE(Document().IsModified());
  TypeInList("BeforeClose", "ClosingOrders");
  EXPECT_EQ(HandlerOf(query, "BeforeClose"), "ClosingOrders");
  EXPECT_EQ(Editor<QComboBox>("BeforeClose")->currentText(), "ClosingOrders");
  TypeInList("OnUpdateError", "RetryUpdate");

  // The other query is offered the names the form uses for the event's type.
  Select(other);
  EXPECT_EQ(Items(Editor<QComboBox>("AfterClose")),
            (QStringList{"", "ClosingOrders", "OrdersOpened"}));
  EXPECT_EQ(Items(Editor<QComboBox>("OnUpdateError")), (QStringList{"", "RetryUpdate"}));

  // A name that is no identifier is refused, naming it.
  std::string message;
  AnswerNextMessage(&message);
  TypeInList("AfterOpen", "2nd pass");
  EXPECT_NE(message.find("'2nd pass'"), std::string::npos) << message;
  EXPECT_EQ(HandlerOf(other, "AfterOpen"), "");
  EXPECT_EQ(Editor<QComboBox>("AfterOpen")->currentText(), "");
  // The panel goes on working after the refusal.
  TypeInList("AfterOpen", "OtherOpened");
  EXPECT_EQ(HandlerOf(other, "AfterOpen"), "OtherOpened");

  // Emptied, the event is cleared.
  Select(query);
  TypeInList("BeforeClose", "");
  EXPECT_EQ(HandlerOf(query, "BeforeClose"), "");

  const QString file = TempForm("events");
  ASSERT_TRUE(window->SaveForm(file));
  QFile saved(file);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray text = saved.readAll();
  EXPECT_TRUE(text.contains("    AfterOpen = OrdersOpened\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("    OnUpdateError = RetryUpdate\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("    AfterOpen = OtherOpened\n")) << text.toStdString();
  EXPECT_FALSE(text.contains("BeforeClose")) << text.toStdString();

  designer::DesignerWindow reopened;
  ASSERT_TRUE(reopened.OpenForm(file));
  TComponent* query2 = reopened.Document().Root()->FindComponent("Tessel1");
  ASSERT_NE(query2, nullptr);
  EXPECT_EQ(HandlerOf(query2, "AfterOpen"), "OrdersOpened");
  EXPECT_EQ(HandlerOf(query2, "OnUpdateError"), "RetryUpdate");
  reopened.Document().Select(query2);
  Settle();
  auto* shown = qobject_cast<QComboBox*>(reopened.Properties()->Editor("AfterOpen"));
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->currentText(), "OrdersOpened");
}

TEST_F(DesignerEvents, AHandlerOfAnotherTypeIsRefused) {
  auto* server = PlaceFromPalette("TSQLServer");
  auto* query = PlaceFromPalette("TTessel");
  ASSERT_TRUE(server && query);
  Select(server);
  EXPECT_EQ(Items(Editor<QComboBox>("OnLogin")), (QStringList{"", "ServerLogin"}));
  Select(query);
  std::string message;
  AnswerNextMessage(&message);
  TypeInList("AfterOpen", "ServerLogin");
  EXPECT_NE(message.find("ServerLogin"), std::string::npos) << message;
  EXPECT_EQ(HandlerOf(query, "AfterOpen"), "");
}

}  // namespace
}  // namespace tessel::testing
