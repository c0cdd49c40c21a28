#include "demo_posting.h"

#include <cstdio>
#include <string>

#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;

constexpr int kDemoId = 100;

// What the server holds for the demo row, read by a query of its own.
std::string ServerCopy(TSQLServer& server) {
  TTessel check(nullptr);
  check.SetSQLServer(&server);
  check.SQL()->SetText("SELECT name, price FROM tessel_demo_parts WHERE id = :id");
  check.ParamByName("id")->SetAsInteger(kDemoId);
  check.Open();
  if (check.IsEmpty()) return "no row";
  return "'" + check.FieldByName("name")->AsString() + "' at " +
         check.FieldByName("price")->AsString();
}

}  // namespace

void DemoPosting(TSQLServer& server) {
  server.InternalExecute("DELETE FROM tessel_demo_parts WHERE id = " + std::to_string(kDemoId));
  TTessel parts(nullptr);
  parts.SetName("EditableParts");
  parts.SetSQLServer(&server);
  parts.SetCacheAllRecords(true);
  parts.SQL()->SetText("SELECT id, name, price FROM tessel_demo_parts ORDER BY id");
  parts.UpdateParams()->SetTableName("tessel_demo_parts");
  parts.UpdateParams()->KeyFields()->Add("id");
  parts.UpdateParams()->UpdateFields()->SetText("id\nname\nprice");
  parts.Open();
  std::printf("writing back (%d rows cached):\n", parts.RecordCount());

  parts.Append();
  parts.FieldByName("id")->SetAsInteger(kDemoId);
  parts.FieldByName("name")->SetAsString("Cap nut M6");
  parts.FieldByName("price")->SetAsFloat(0.6);
  parts.Post();
  std::printf("  inserted row %d; the server has %s\n", kDemoId, ServerCopy(server).c_str());

  parts.Edit();
  parts.FieldByName("price")->SetAsFloat(0.55);
  parts.Post();
  std::printf("  edited its price; the server has %s\n", ServerCopy(server).c_str());

  parts.Delete();
  std::printf("  deleted it; the server has %s; %d rows cached\n", ServerCopy(server).c_str(),
              parts.RecordCount());
}
