// References resolved whatever their order in the file, and events bound by
// handler name.

#include <gtest/gtest.h>

#include "framework/data_module.h"
#include "framework/event_handlers.h"
#include "framework/form_files.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"

namespace tessel {
namespace {

class FormLinks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTesselClasses(); }
  void TearDown() override { ClearEventHandlers(); }
};

TEST_F(FormLinks, ReferencesToComponentsLaterInTheFileResolve) {
  // Every reference points forward; the data source also points back.
  const auto form = ReadComponentText(
      "object M: TDataModule\n"
      "  object Detail: TTessel\n"
      "    UpdateObject = Upd\n"
      "    DataSource = Src\n"
      "    DataBaseName = Srv\n"
      "  end\n"
      "  object Src: TDataSource\n"
      "    DataSet = Master\n"
      "  end\n"
      "  object Master: TTessel\n"
      "    DataBaseName = srv\n"
      "  end\n"
      "  object Upd: TSQLUpdate\n"
      "  end\n"
      "  object Srv: TSQLServer\n"
      "  end\n"
      "end\n");
  auto* detail = dynamic_cast<TTessel*>(form->FindComponent("Detail"));
  auto* master = dynamic_cast<TTessel*>(form->FindComponent("Master"));
  auto* server = dynamic_cast<TSQLServer*>(form->FindComponent("Srv"));
  auto* update = dynamic_cast<TSQLUpdate*>(form->FindComponent("Upd"));
  auto* source = dynamic_cast<TDataSource*>(form->FindComponent("Src"));
  EXPECT_EQ(detail->DataBaseName(), server);
  EXPECT_EQ(master->DataBaseName(), server);
  EXPECT_EQ(detail->UpdateObject(), update);
  EXPECT_EQ(update->DataSet(), detail);
  EXPECT_EQ(detail->DataSource(), source);
  EXPECT_EQ(source->DataSet(), master);
  ASSERT_EQ(server->QueryCount(), 2);
  // Queries join their server in the order they come in the file.
  EXPECT_EQ(server->Queries(0), static_cast<TlqServerQuery*>(detail));

  // Destroying a referenced component clears the references to it.
  delete server;
  EXPECT_EQ(detail->DataBaseName(), nullptr);
  delete source;
  EXPECT_EQ(detail->DataSource(), nullptr);
}

TEST_F(FormLinks, EventsBindToRegisteredHandlersAndKeepTheirNames) {
  std::vector<std::string> calls;
  RegisterEventHandler<TLoginEvent>("ServerLogin",
                                    [&](TSQLServer* s) { calls.push_back("login " + s->Name()); });
  RegisterEventHandler<TDataSetNotifyEvent>(
      "QueryOpened", [&](TDataSet* d) { calls.push_back("opened " + d->Name()); });
  RegisterEventHandler<TMsgNotifyEvent>(
      "QueryMessage", [&](TObject*, const std::string& m) { calls.push_back("msg " + m); });
  const std::string text =
      "object M: TDataModule\n"
      "  object S: TSQLServer\n"
      "    OnLogin = ServerLogin\n"
      "  end\n"
      "  object Q: TTessel\n"
      "    CacheAllRecords = False\n"
      "    CacheMaxRecords = 0\n"
      "    Params = <>\n"
      "    UpdateParams.UpdateMode = upWhereChanged\n"
      "    Options = []\n"
      "    AfterOpen = QueryOpened\n"
      "    BeforeClose = QueryOpened\n"
      "    OnThreadMsg = QueryMessage\n"
      "  end\n"
      "end\n";
  const auto form = ReadComponentText(text);
  auto* server = dynamic_cast<TSQLServer*>(form->FindComponent("S"));
  auto* query = dynamic_cast<TTessel*>(form->FindComponent("Q"));
  server->OnLogin()(server);
  query->AfterOpen(query);
  query->OnThreadMsg(query, "done");
  EXPECT_EQ(calls, (std::vector<std::string>{"login S", "opened Q", "msg done"}));
  EXPECT_FALSE(static_cast<bool>(query->BeforeOpen));
  EXPECT_EQ(WriteComponentText(*form), text);
}

TEST_F(FormLinks, HandlerOfTheWrongTypeIsRefused) {
  RegisterEventHandler<TNotifyEvent>("Clicked", [](TObject*) {});
  try {
    ReadComponentText("object S: TSQLServer\n  OnLogin = Clicked\nend\n", "f.tfm");
    FAIL() << "a notify handler was bound to OnLogin";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.Line(), 2);
    EXPECT_NE(e.What().find("the handler Clicked is not a TLoginEvent"), std::string::npos)
        << e.Message();
  }
}

TEST_F(FormLinks, DesignTimeKeepsUnboundHandlerNames) {
  TFormReadOptions options;
  options.bind_events = false;
  const std::string text = "object S: TSQLServer\n  OnLogin = NotHere\nend\n";
  const auto form = ReadComponentText(text, "design.tfm", options);
  auto* server = dynamic_cast<TSQLServer*>(form.get());
  // Calling the unbound handler does nothing.
  server->OnLogin()(server);
  EXPECT_EQ(WriteComponentText(*form), text);
}

}  // namespace
}  // namespace tessel
