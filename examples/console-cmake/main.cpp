// Lists the user tables of a database: tessel-tables HOST:PORT USER PASSWORD [DATABASE]
#include <cstdio>
#include <string>

#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: tessel-tables HOST:PORT USER PASSWORD [DATABASE]\n");
    return 2;
  }
  try {
    tessel::TSQLServer server(nullptr);
    server.SetServerName(argv[1]);
    server.SetUsername(argv[2]);
    server.SetPassword(argv[3]);
    if (argc > 4) server.SetDataBaseName(argv[4]);
    server.Open();

    tessel::TTessel query(nullptr);
    query.SetSQLServer(&server);
    query.SQL()->SetText("SELECT name FROM sysobjects WHERE type = :kind ORDER BY name");
    query.ParamByName("kind")->SetAsString("U");
    query.Open();
    int count = 0;
    for (query.First(); !query.Eof(); query.Next(), ++count)
      std::printf("%s\n", query.FieldByName("name")->AsString().c_str());
    std::printf("%d user tables\n", count);
    query.Close();
    server.Close();
    return 0;
  } catch (const tessel::Exception& e) {
    std::fprintf(stderr, "tessel-tables: %s\n", e.Message().c_str());
    return 1;
  }
}
