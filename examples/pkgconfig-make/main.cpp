// Adds two numbers on the server with a parameterised query:
//   tessel-sum HOST:PORT USER PASSWORD A B
#include <cstdio>
#include <cstdlib>

#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: tessel-sum HOST:PORT USER PASSWORD A B\n");
    return 2;
  }
  try {
    tessel::TSQLServer server(nullptr);
    server.SetServerName(argv[1]);
    server.SetUsername(argv[2]);
    server.SetPassword(argv[3]);

    tessel::TTessel query(nullptr);
    query.SetSQLServer(&server);
    query.SQL()->SetText("SELECT :a + :b AS total");
    query.ParamByName("a")->SetAsInteger(std::atoi(argv[4]));
    query.ParamByName("b")->SetAsInteger(std::atoi(argv[5]));
    query.Open();
    std::printf("total %d\n", query.FieldByName("total")->AsInteger());
    query.Close();
    server.Close();
    return 0;
  } catch (const tessel::Exception& e) {
    std::fprintf(stderr, "tessel-sum: %s\n", e.Message().c_str());
    return 1;
  }
}
