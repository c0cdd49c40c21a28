#include "demo_values.h"

#include <cstdio>
#include <string>

#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;

std::string EveryByte() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  return bytes;
}

// "256 bytes, 00 01 02 ... FF, each value once" or what differs.
std::string DescribeBytes(const std::string& bytes) {
  char text[96];
  if (bytes == EveryByte()) {
    std::snprintf(text, sizeof text, "%zu bytes, 00 01 02 ... FD FE FF, each value once",
                  bytes.size());
  } else {
    std::snprintf(text, sizeof text, "%zu bytes, NOT the 256 values posted", bytes.size());
  }
  return text;
}

}  // namespace

void DemoExactValues(TSQLServer& server) {
  server.InternalExecute(
      "IF OBJECT_ID('tessel_demo_values') IS NOT NULL DROP TABLE tessel_demo_values");
  server.InternalExecute(
      "CREATE TABLE tessel_demo_values (id int PRIMARY KEY, name nvarchar(60) NULL, "
      "amount decimal(38,10) NULL, stamped datetime NULL, picture image NULL)");
  TTessel values(nullptr);
  values.SetName("ExactValues");
  values.SetSQLServer(&server);
  values.SetCacheAllRecords(true);
  values.SQL()->SetText("SELECT id, name, amount, stamped, picture FROM tessel_demo_values");
  values.UpdateParams()->SetTableName("tessel_demo_values");
  values.UpdateParams()->KeyFields()->Add("id");
  values.UpdateParams()->UpdateFields()->SetText("id\nname\namount\nstamped\npicture");
  values.Open();
  values.Append();
  values.FieldByName("id")->SetAsInteger(1);
  values.FieldByName("name")->SetAsString("Zoë Ωmega 中文 😀");
  values.FieldByName("amount")->SetAsString("1234567890123456789012345678.0123456789");
  values.FieldByName("stamped")->SetAsString("2024-02-29 13:45:07.997");
  values.FieldByName("picture")->SetAsString(EveryByte());
  values.Post();

  TTessel check(nullptr);
  check.SetSQLServer(&server);
  check.SQL()->SetText("SELECT name, amount, stamped, picture FROM tessel_demo_values");
  check.Open();
  std::printf("exact values, posted and read back by a second query:\n");
  std::printf("  name     %s\n", check.FieldByName("name")->AsString().c_str());
  std::printf("  amount   %s\n", check.FieldByName("amount")->AsString().c_str());
  std::printf("  stamped  %s\n", check.FieldByName("stamped")->AsString().c_str());
  std::printf("  picture  %s\n", DescribeBytes(check.FieldByName("picture")->AsString()).c_str());
  check.Close();
  values.Close();
  server.InternalExecute("DROP TABLE tessel_demo_values");
}
