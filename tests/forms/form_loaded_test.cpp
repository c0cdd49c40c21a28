// Loaded against a real server: a server saved as connected opens once the
// whole form is read, with its queries attached; a failure to connect
// leaves nothing behind.

#include <gtest/gtest.h>

#include "framework/data_module.h"
#include "framework/form_files.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"
#include "test_server.h"

namespace tessel {
namespace {

class FormLoaded : public testing::IntegrationTest {
 protected:
  static void SetUpTestSuite() { RegisterTesselClasses(); }

  // A form whose query comes before the server it names, so the server's
  // Loaded runs after the reference is set.
  std::string Form(bool connected, bool active, const std::string& password) const {
    std::string text =
        "object M: TDataModule\n"
        "  object Q: TTessel\n"
        "    CacheAllRecords = True\n"
        "    Params = <\n"
        "      item\n"
        "        DataType = ftInteger\n"
        "        Name = 'n'\n"
        "        Value = 41\n"
        "      end>\n"
        "    DataBaseName = S\n"
        "    SQL.Strings = (\n"
        "      'select :n + 1 as answer')\n";
    if (active) text += "    Active = True\n";
    text += "  end\n  object S: TSQLServer\n";
    text += "    ServerName = '" + address->Server + "'\n";
    text += "    DataBaseName = '" + address->Database + "'\n";
    text += "    Username = '" + address->User + "'\n";
    text += "    Password = '" + password + "'\n";
    if (connected) text += "    Connected = True\n";
    text += "  end\nend\n";
    return text;
  }
};

TEST_F(FormLoaded, ServerSavedConnectedOpensAndItsQueryRuns) {
  const auto form = ReadComponentText(Form(true, true, address->Password), "answer.tfm");
  auto* server = dynamic_cast<TSQLServer*>(form->FindComponent("S"));
  auto* query = dynamic_cast<TTessel*>(form->FindComponent("Q"));
  EXPECT_TRUE(server->Connected());
  ASSERT_TRUE(query->Active());
  EXPECT_EQ(query->FieldByName("answer")->AsInteger(), 42);
  // Written back as it was read, still connected and active.
  const std::string text = WriteComponentText(*form);
  EXPECT_NE(text.find("    Connected = True\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    Active = True\n"), std::string::npos) << text;
}

TEST_F(FormLoaded, ServerSavedClosedStaysClosed) {
  const auto form = ReadComponentText(Form(false, false, address->Password), "closed.tfm");
  EXPECT_FALSE(dynamic_cast<TSQLServer*>(form->FindComponent("S"))->Connected());
}

TEST_F(FormLoaded, OverridesBeforeLoadedReachTheLogin) {
  // The saved password is wrong; the hook puts the right one in before the
  // server connects.
  TFormReadOptions options;
  options.before_loaded = [&](TComponent& root) {
    dynamic_cast<TSQLServer*>(root.FindComponent("S"))->SetPassword(address->Password);
  };
  const auto form = ReadComponentText(Form(true, false, "wrong"), "override.tfm", options);
  EXPECT_TRUE(dynamic_cast<TSQLServer*>(form->FindComponent("S"))->Connected());
}

TEST_F(FormLoaded, FailedLoginLeavesNoComponentBehind) {
  TDataModule owner(nullptr);
  TFormReadOptions options;
  options.owner = &owner;
  EXPECT_THROW(ReadComponentText(Form(true, true, "wrong-password"), "bad.tfm", options),
               ElqSQLError);
  EXPECT_EQ(owner.ComponentCount(), 0);
}

}  // namespace
}  // namespace tessel
