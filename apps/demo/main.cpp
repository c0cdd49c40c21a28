// tessel-demo: creates a small sample table on a server (when it is missing),
// opens a query on it, browses the rows forwards and backwards, changes a
// field in the edit buffer, shows the change, cancels it and sums up.

#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <string>

#include "demo_async.h"
#include "demo_blob.h"
#include "demo_posting.h"
#include "demo_values.h"
#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"

namespace {

using namespace tessel;

const char kUsage[] =
    "usage: tessel-demo --server HOST:PORT --user USER --password PASSWORD [--database DB]\n"
    "\n"
    "Creates the table tessel_demo_parts on the server when it is missing, opens a\n"
    "query on it, browses the rows forwards and backwards, changes a field in the\n"
    "edit buffer (the change is cancelled, not written) and prints a summary.\n"
    "\n"
    "  --server HOST:PORT   the server to log in to (tessel-sqld or SQL Server)\n"
    "  --user USER          login name\n"
    "  --password PASSWORD  password\n"
    "  --database DB        database to use (default: the login's default)\n"
    "  --help               show this text\n";

struct Options {
  std::string server, user, password, database;
};

// Returns 0 to go on, 1 after --help, 2 on bad arguments.
int ParseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      return 1;
    }
    std::string* target = arg == "--server"     ? &options.server
                          : arg == "--user"     ? &options.user
                          : arg == "--password" ? &options.password
                          : arg == "--database" ? &options.database
                                                : nullptr;
    if (target == nullptr || i + 1 >= argc) {
      std::fprintf(stderr, "tessel-demo: %s '%s' (try --help)\n",
                   target == nullptr ? "unknown argument" : "no value after", arg.c_str());
      return 2;
    }
    *target = argv[++i];
  }
  if (options.server.empty() || options.user.empty()) {
    std::fprintf(stderr, "tessel-demo: --server and --user are needed (try --help)\n");
    return 2;
  }
  return 0;
}

void CreateSampleTable(TSQLServer& server) {
  TTessel probe(nullptr);
  probe.SetSQLServer(&server);
  probe.SQL()->SetText("SELECT COUNT(*) AS n FROM tessel_demo_parts");
  try {
    probe.Open();
    std::printf("sample table tessel_demo_parts is there (%d rows)\n",
                probe.FieldByName("n")->AsInteger());
    return;
  } catch (const ElqSQLError&) {
    // Missing: made below.
  }
  server.InternalExecute(
      "CREATE TABLE tessel_demo_parts (id int NOT NULL PRIMARY KEY, name varchar(30) NOT NULL, "
      "price money NULL, weight float NULL, added datetime NULL)");
  const char* rows[] = {
      "(1, 'Hex bolt M6', 0.12, 8.5, '20240105 09:30')",
      "(2, 'Washer 6 mm', 0.03, 1.25, '20240105 09:31')",
      "(3, 'Wing nut M6', 0.45, 6, '20240212 14:00')",
      "(4, 'Threaded rod 1 m', 3.9, 220, '20240301 08:15')",
      "(5, 'Spring washer', 0.05, NULL, NULL)",
  };
  for (const char* row : rows) {
    server.InternalExecute(std::string("INSERT INTO tessel_demo_parts VALUES ") + row);
  }
  std::printf("created sample table tessel_demo_parts with %zu rows\n", std::size(rows));
}

void PrintRow(TTessel& query) {
  std::printf("  %3d  %-18s %8s  %8s  %s\n", query.FieldByName("id")->AsInteger(),
              query.FieldByName("name")->AsString().c_str(),
              query.FieldByName("price")->AsString().c_str(),
              query.FieldByName("weight")->AsString().c_str(),
              query.FieldByName("added")->AsString().c_str());
}

int Run(const Options& options) {
  TSQLServer server(nullptr);
  server.SetServerName(options.server);
  server.SetUsername(options.user);
  server.SetPassword(options.password);
  server.SetDataBaseName(options.database);
  server.SetApplicationName("tessel-demo");
  server.Open();
  std::printf("connected to %s\n", options.server.c_str());
  CreateSampleTable(server);

  TTessel query(nullptr);
  query.SetName("Parts");
  query.SetSQLServer(&server);
  query.SQL()->SetText(
      "SELECT id, name, price, weight, added FROM tessel_demo_parts WHERE id >= :first "
      "ORDER BY id");
  query.ParamByName("first")->SetAsInteger(1);
  query.Open();

  std::printf("forwards:\n");
  int forwards = 0;
  for (query.First(); !query.Eof(); query.Next(), ++forwards) PrintRow(query);
  std::printf("backwards:\n");
  int backwards = 0;
  for (query.Last(); !query.Bof(); query.Prior(), ++backwards) PrintRow(query);

  query.First();
  query.Next();
  TField* name = query.FieldByName("name");
  const std::string before = name->AsString();
  query.Edit();
  name->SetAsString(before + " (edited)");
  std::printf("record %d in the edit buffer: name '%s' -> '%s'\n", query.RecNo(), before.c_str(),
              name->AsString().c_str());
  query.Cancel();
  std::printf("after Cancel: name '%s'\n", name->AsString().c_str());

  DemoPosting(server);
  DemoExactValues(server);
  std::printf("summary: %d rows forwards, %d backwards, RecordCount %d, all rows read: %s\n",
              forwards, backwards, query.RecordCount(), query.AllFetched() ? "yes" : "no");
  query.Close();
  tessel::demo::DemoBlob(server);
  DemoAsync(server);
  server.Close();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int rc = ParseArguments(argc, argv, options); rc != 0) return rc == 1 ? 0 : 2;
  try {
    return Run(options);
  } catch (const tessel::Exception& e) {
    std::fprintf(stderr, "tessel-demo: %s: %s\n", e.ClassName().c_str(), e.Message().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tessel-demo: %s\n", e.what());
  }
  return 1;
}
