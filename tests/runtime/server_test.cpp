// TSQLServer against the stand-in client library: the order of the login
// steps, connections lent and given back, closing with attached queries,
// transactions, procedure names and the network library setting. The queries
// are test doubles of the query side of the contract.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "connection/sqlserver_host.h"
#include "dblib_stub.h"
#include "framework/exceptions.h"
#include "runtime/SQLServer.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

namespace fs = std::filesystem;

std::vector<std::string>* journal = nullptr;

// A query as the connection component sees it.
class FakeQuery : public TlqServerQuery {
 public:
  FakeQuery(TSQLServer* server, std::string name) : server_(server), name_(std::move(name)) {
    server_->AddQuery(this);
  }
  ~FakeQuery() override {
    if (server_ != nullptr) server_->RemoveQuery(this);
  }
  void Run(bool shared) { connection = server_->GetConnection(this, shared); }

  void CloseQueryCursor() override {
    journal->push_back("close " + name_ + (server_->KeepConnections() ? " keep" : ""));
    if (connection != nullptr) server_->DropConnection(this, connection);
  }
  bool QueryPrepared() const override { return prepared; }
  PDBPROCESS QueryConnection() const override { return connection; }
  void UnPrepareQuery() override {
    journal->push_back("unprepare " + name_);
    prepared = false;
  }
  void DetachFromServer() override {
    if (server_ == nullptr) return;  // like clearing an empty DataBaseName
    CloseQueryCursor();
    server_->RemoveQuery(this);
    server_ = nullptr;
  }

  PDBPROCESS connection = nullptr;
  bool prepared = false;
  TSQLServer* server() const { return server_; }

 private:
  TSQLServer* server_;
  std::string name_;
};

class ServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TESSEL_DBLIB", TESSEL_STUB_COMPLETE, 1);
    InitializeDBLIB();
  }
  void SetUp() override {
    stub_reset();
    journal = &journal_;
    CheckDBResult(1);
    char pattern[] = "/tmp/tessel-server-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    setenv("TESSEL_DBLIB_CONF", (dir_ + "/dblib.conf").c_str(), 1);
    server_.SetServerName("srv");
    server_.SetDataBaseName("pubs");
    server_.SetUsername("sa");
    server_.SetPassword("pw");
    server_.SetApplicationName("app");
  }
  void TearDown() override {
    journal = nullptr;
    fs::remove_all(dir_);
  }

  // The stub's call log, without the arguments.
  static std::vector<std::string> Calls() {
    std::vector<std::string> result;
    std::istringstream in(stub_log());
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }

  std::string dir_;
  std::vector<std::string> journal_;
  TSQLServer server_{nullptr};
};

TEST_F(ServerTest, OpenRunsTheLoginStepsInOrderAndLeavesNoConnectionOpen) {
  server_.SetOnLogin([](TSQLServer* s) {
    journal->push_back("OnLogin");
    s->SetUsername("alice");
    s->SetPassword("secret");
    s->SetApplicationName("late app");
  });
  stub_set_hook([](const char* name) { journal->push_back(name); });
  server_.Open();
  EXPECT_TRUE(server_.Connected());
  EXPECT_EQ(stub_open_connections(), 0);
  const std::string host = detail::WorkstationName([] {
    char b[256] = {};
    gethostname(b, sizeof b - 1);
    return std::string(b);
  }()
                                                       .c_str());
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{
                "dberrhandle", "dbmsghandle", "dbinit", "dbsettime 30", "dbsetlogintime 30",
                "dblogin", "dbsetlname 4,late app", "dbsetlname 1," + host, "dbsetlname 2,alice",
                "dbsetlname 3,secret", "dbsetlname 9,", "dbopen srv", "dbuse pubs", "dbclose"}));
  // OnLogin ran after the login record existed and before it was filled.
  EXPECT_EQ(journal_[5], "dblogin");
  EXPECT_EQ(journal_[6], "OnLogin");
  EXPECT_EQ(journal_[7], "dbsetlname");

  stub_reset();
  server_.Open();  // already connected: nothing happens
  EXPECT_STREQ(stub_log(), "");
  server_.Close();
  stub_reset();
  server_.Close();  // already closed: nothing happens
  EXPECT_STREQ(stub_log(), "");
}

TEST_F(ServerTest, TrustedLoginSkipsUserAndPassword) {
  server_.SetOnLogin([](TSQLServer* s) { s->SetTrustedLogin(true); });
  server_.Open();
  const std::string log = stub_log();
  EXPECT_NE(log.find("dbsetlname 7,\n"), std::string::npos);
  EXPECT_EQ(log.find("dbsetlname 2,"), std::string::npos);
  EXPECT_EQ(log.find("dbsetlname 3,"), std::string::npos);
}

TEST_F(ServerTest, WorkstationNameMustFitSixteenCharacters) {
  EXPECT_EQ(detail::WorkstationName("fifteen-chars-x"), "fifteen-chars-x");
  EXPECT_EQ(detail::WorkstationName("sixteen-chars-xx"), "UNKNOWN");
  EXPECT_EQ(detail::WorkstationName(""), "UNKNOWN");
}

TEST_F(ServerTest, RefusedLoginReportsWhatTheLibraryOrServerSaid) {
  stub_set("dbopen.fail", 1);
  try {
    server_.Open();
    FAIL() << "Open succeeded";
  } catch (const ElqSQLError& e) {
    EXPECT_EQ(e.ErrorCode(), -1);
    EXPECT_EQ(e.ErrorMessage(), "Login incorrect. ");  // no OS text: ends in one space
    EXPECT_EQ(e.Message(), e.ErrorMessage());
  }
  EXPECT_FALSE(server_.Connected());
  EXPECT_EQ(stub_calls("dbfreelogin"), 1);  // the record of a failed Open is not lost

  stub_set("dbopen.fail", 1);
  stub_set("dbopen.msgno", 18456);
  stub_set_text("msg.text", "Login failed for user 'sa'.");
  try {
    server_.Open();
    FAIL() << "Open succeeded";
  } catch (const ElqSQLError& e) {
    EXPECT_EQ(e.ErrorCode(), 18456);
    EXPECT_EQ(e.ErrorMessage(), "Login failed for user 'sa'.");
  }
  server_.Open();  // a later Open builds everything again
  EXPECT_TRUE(server_.Connected());
}

TEST_F(ServerTest, AnExceptionFromOpeningTheConnectionBecomesNoConnection) {
  dbRegisterTraceCallback([](const char* line) {
    if (std::string(line).find("Open connection") != std::string::npos) throw EInOutError("busy");
  });
  SQLTraceActive(true);
  try {
    server_.Open();
    FAIL() << "Open succeeded";
  } catch (const ElqSQLError&) {
    FAIL() << "a client-library error instead of SNoConnection";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Unable to connect to 'srv'. Check login parameters");
  }
  SQLTraceActive(false);
  dbRegisterTraceCallback(nullptr);
  EXPECT_FALSE(server_.Connected());
}

TEST_F(ServerTest, NewConnectionsArePreparedAndTheDrainEndsOnAnythingButARow) {
  server_.SetOEMConvert(true);
  server_.Open();
  stub_reset();
  stub_set("dbnextrow.rows", 2);
  PDBPROCESS c = server_.InternalOpenConnection();
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{"dbopen srv", "dbuse pubs", "dbsettime 30", "dbsetopt 14,ON",
                                      "dbsetopt 5,2147483647", "dbsetopt 4,2147483647", "dbsqlexec",
                                      "dbresults", "dbnextrow", "dbnextrow", "dbnextrow"}));
  server_.DropConnection(nullptr, c);

  // A connection that dies while draining answers FAIL: the loop ends.
  stub_reset();
  stub_set("dbnextrow.rows", 2);
  stub_set("dbnextrow.end", 0);
  c = server_.InternalOpenConnection();
  EXPECT_EQ(stub_calls("dbnextrow"), 3);
  server_.DropConnection(nullptr, c);

  // No result to drain: no row is read.
  stub_reset();
  stub_set("dbresults", 2);
  c = server_.InternalOpenConnection();
  EXPECT_EQ(stub_calls("dbnextrow"), 0);
  server_.DropConnection(nullptr, c);
  EXPECT_EQ(stub_open_connections(), 0);
}

TEST_F(ServerTest, FailedPreparationClosesTheNewConnection) {
  server_.Open();
  stub_set("dbsqlexec.fail", 1);
  stub_set_text("msg.text", "bad option");
  EXPECT_THROW(server_.InternalOpenConnection(), ElqSQLError);
  EXPECT_EQ(stub_open_connections(), 0);
}

TEST_F(ServerTest, ConnectionsOpenTheServerAndTheBaseIsSharedAndReplacedWhenDead) {
  PDBPROCESS base = server_.GetConnection(nullptr, true);  // opens the server first
  EXPECT_TRUE(server_.Connected());
  EXPECT_EQ(server_.GetBaseProcess(), base);
  PDBPROCESS own = server_.GetConnection(nullptr, false);
  EXPECT_NE(own, base);
  EXPECT_EQ(stub_open_connections(), 2);

  // Found dead: replaced. Held by a query, it is left to that query.
  FakeQuery holder(&server_, "holder");
  holder.connection = base;
  stub_reset();
  stub_set("dbdead", 1);
  PDBPROCESS replaced = server_.GetBaseProcess();
  EXPECT_NE(replaced, base);
  EXPECT_EQ(stub_calls("dbclose"), 0);
  server_.CloseConnection(holder.connection);  // the query lets go of it for good
  EXPECT_EQ(holder.connection, nullptr);
  EXPECT_EQ(stub_calls("dbclose"), 1);
  // Held by nobody, it is closed.
  PDBPROCESS second = server_.GetBaseProcess();
  EXPECT_NE(second, replaced);
  EXPECT_EQ(stub_calls("dbclose"), 2);
  stub_set("dbdead", 0);
  stub_reset();
  replaced = second;

  // Given back: the base stays open, a private one is closed; both variables cleared.
  PDBPROCESS held = replaced;
  server_.DropConnection(nullptr, held);
  EXPECT_EQ(held, nullptr);
  EXPECT_EQ(server_.GetBaseProcess(), replaced);
  server_.DropConnection(nullptr, own);
  EXPECT_EQ(own, nullptr);
  EXPECT_EQ(stub_calls("dbclose"), 1);

  // With KeepConnections the caller keeps it, pending results cancelled.
  server_.SetKeepConnections(true);
  PDBPROCESS kept = server_.GetConnection(nullptr, false);
  PDBPROCESS before = kept;
  server_.DropConnection(nullptr, kept);
  EXPECT_EQ(kept, before);
  EXPECT_EQ(stub_calls("dbcancel"), 1);
  server_.SetKeepConnections(false);
  server_.DropConnection(nullptr, kept);
}

// Set while a test watches KeepConnections at every client-library call.
TSQLServer* watched = nullptr;
bool keep_seen_off = false;
void WatchKeepConnections(const char*) {
  if (watched != nullptr && !watched->KeepConnections()) keep_seen_off = true;
}

TEST_F(ServerTest, CloseConnectionClosesForGoodWithoutTouchingKeepConnections) {
  FakeQuery a(&server_, "a"), b(&server_, "b");
  server_.SetKeepConnections(true);
  PDBPROCESS own = server_.GetConnection(nullptr, false);
  PDBPROCESS base = server_.GetBaseProcess();
  const int open = stub_open_connections();
  stub_reset();
  watched = &server_;
  keep_seen_off = false;
  stub_set_hook(WatchKeepConnections);

  // A private connection is closed even though KeepConnections is set.
  server_.CloseConnection(own);
  EXPECT_EQ(own, nullptr);
  EXPECT_EQ(stub_open_connections(), open - 1);
  // The base connection stays open for the others; only the caller lets go.
  PDBPROCESS held = base;
  server_.CloseConnection(held);
  EXPECT_EQ(held, nullptr);
  EXPECT_EQ(server_.GetBaseProcess(), base);
  server_.CloseConnection(held);  // nothing held: nothing happens
  EXPECT_EQ(stub_calls("dbclose"), 1);

  // A dead base connection shared by two queries is replaced by the server
  // and closed by whichever of them lets go last, once.
  a.Run(true);
  b.Run(true);
  ASSERT_EQ(a.connection, base);
  stub_set("dbdead", 1);
  PDBPROCESS replacement = server_.GetBaseProcess();
  stub_set("dbdead", 0);
  ASSERT_NE(replacement, base);
  EXPECT_EQ(stub_calls("dbclose"), 1) << "the dead connection was closed under its holders";
  server_.CloseConnection(a.connection);
  EXPECT_EQ(a.connection, nullptr);
  EXPECT_EQ(stub_calls("dbclose"), 1) << "closed while b still holds it";
  server_.CloseConnection(b.connection);
  EXPECT_EQ(b.connection, nullptr);
  EXPECT_EQ(stub_calls("dbclose"), 2);
  EXPECT_EQ(stub_open_connections(), open - 1);  // base replaced, the dead one closed

  EXPECT_EQ(stub_calls("dbcancel"), 0);
  EXPECT_TRUE(server_.KeepConnections());
  EXPECT_FALSE(keep_seen_off) << "KeepConnections was switched off meanwhile";
  stub_set_hook(nullptr);
  watched = nullptr;
}

TEST_F(ServerTest, CloseClosesQueriesLastFirstAndEveryConnection) {
  // An earlier failed Open in this process may have left the package's own.
  void* const err_before = stub_err_handler();
  void* const msg_before = stub_msg_handler();
  FakeQuery a(&server_, "a"), b(&server_, "b"), c(&server_, "c");
  server_.SetKeepConnections(true);
  a.Run(false);
  b.Run(true);
  c.Run(false);
  EXPECT_EQ(stub_open_connections(), 3);
  stub_reset();
  server_.Close();
  EXPECT_EQ(journal_, (std::vector<std::string>{"close c", "close b", "close a"}));
  EXPECT_EQ(stub_open_connections(), 0);
  EXPECT_TRUE(server_.KeepConnections());
  EXPECT_FALSE(server_.Connected());
  EXPECT_EQ(stub_err_handler(), err_before);  // the handlers in force before Open are back
  EXPECT_EQ(stub_msg_handler(), msg_before);
  const auto calls = Calls();
  EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
            (std::vector<std::string>{"dbmsghandle", "dberrhandle", "dbfreelogin"}));
}

TEST_F(ServerTest, DestroyingDetachesEveryQueryAndPutsTheTraceRoutineBack) {
  const TTraceRoutine original = [](const char*) {};
  const TTraceRoutine mine = [](const char*) {};
  dbRegisterTraceCallback(original);
  auto server = std::make_unique<TSQLServer>(nullptr);
  server->SetServerName("srv");
  FakeQuery a(server.get(), "a"), b(server.get(), "b");
  server->AddQuery(&a);  // attached twice
  server->RegisterTraceCallback(mine);
  server->Open();
  a.Run(false);
  server.reset();
  EXPECT_EQ(a.server(), nullptr);
  EXPECT_EQ(b.server(), nullptr);
  EXPECT_EQ(stub_open_connections(), 0);
  EXPECT_EQ(dbRegisterTraceCallback(nullptr), original);
}

TEST_F(ServerTest, ConnectedReadFromAFormOpensOnlyInLoaded) {
  server_.Loading();
  server_.SetConnected(true);
  EXPECT_FALSE(server_.Connected());
  EXPECT_EQ(stub_calls("dblogin"), 0);
  server_.Loaded();
  EXPECT_TRUE(server_.Connected());
}

TEST_F(ServerTest, TransactionsRunOnTheBaseConnection) {
  FakeQuery on_base(&server_, "base"), on_own(&server_, "own");
  EXPECT_THROW(server_.Commit(), EDatabaseError);
  try {
    server_.RollBack();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "No transaction active.");
  }
  server_.StartTransaction();
  EXPECT_TRUE(server_.InTransaction());
  try {
    server_.StartTransaction();
    FAIL() << "second StartTransaction";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), STransactActive.str());
  }
  EXPECT_EQ(std::string(stub_log()).find("dbcmd BEGIN TRANSACTION"),
            std::string(stub_log()).rfind("dbcmd BEGIN TRANSACTION"));

  on_base.Run(true);
  on_base.prepared = true;
  on_own.Run(false);
  on_own.prepared = true;
  PDBPROCESS base = server_.GetBaseProcess();
  server_.Commit();
  EXPECT_FALSE(server_.InTransaction());
  EXPECT_EQ(journal_, (std::vector<std::string>{"unprepare base"}));
  EXPECT_TRUE(on_own.prepared);
  // Forgotten, not closed: the query on it still uses it.
  EXPECT_NE(server_.GetBaseProcess(), base);
  EXPECT_EQ(stub_open_connections(), 3);
  server_.DropConnection(nullptr, on_own.connection);
  // The forgotten base connection is closed by the last query that held it.
  server_.CloseConnection(on_base.connection);
  EXPECT_EQ(stub_open_connections(), 1);
}

TEST_F(ServerTest, ForgottenBaseConnectionNobodyHoldsIsClosed) {
  server_.StartTransaction();
  server_.RollBack();
  EXPECT_NE(std::string(stub_log()).find("dbcmd ROLLBACK TRANSACTION"), std::string::npos);
  EXPECT_EQ(stub_open_connections(), 0);

  server_.SetKeepConnections(true);
  server_.StartTransaction();
  PDBPROCESS base = server_.GetBaseProcess();
  server_.Commit();
  EXPECT_EQ(server_.GetBaseProcess(), base);  // kept, pending results cancelled
  EXPECT_GE(stub_calls("dbcancel"), 1);
}

TEST_F(ServerTest, FailedCommitLeavesTheTransactionOpen) {
  FakeQuery q(&server_, "q");
  server_.StartTransaction();
  q.Run(true);
  q.prepared = true;
  stub_set("dbsqlexec.fail", 1);
  stub_set("msg.no", 3902);
  stub_set_text("msg.text", "The COMMIT TRANSACTION request has no corresponding BEGIN.");
  try {
    server_.Commit();
    FAIL() << "Commit succeeded";
  } catch (const ElqSQLError& e) {
    EXPECT_EQ(e.ErrorCode(), 3902);
  }
  EXPECT_TRUE(server_.InTransaction());
  EXPECT_TRUE(q.prepared);
  q.connection = nullptr;
}

TEST_F(ServerTest, ProcedureNames) {
  server_.SetName("SQLServer1");
  EXPECT_EQ(server_.GetProcname(), "#SQLServer1000001");
  EXPECT_EQ(server_.GetProcname(), "#SQLServer1000002");

  TSQLServer unnamed(nullptr);
  EXPECT_EQ(unnamed.GetProcname(), "#NoName000001");

  TSQLServer longer(nullptr);
  longer.SetName("ServerWithAThirtyCharacterName");
  longer.SetDataBaseName("pubs");
  const std::string name = longer.GetProcname();
  EXPECT_EQ(name, "#ServerWithAThirtyCharpu000001");
  EXPECT_EQ(name.size(), 30u);
}

TEST_F(ServerTest, NetworkLibraryIsWrittenOnlyWhenChosen) {
  const std::string path = dir_ + "/dblib.conf";
  server_.Open();
  server_.Close();
  EXPECT_FALSE(fs::exists(path));  // nlConfigured never touches the setting

  { std::ofstream(path) << "# kept\n[other]\nDSQUERY=elsewhere\n"; }
  server_.SetNetLibrary(nlNamedPipes);
  server_.Open();
  server_.Close();
  server_.SetNetLibrary(nlTCPIP);
  server_.Open();
  server_.Close();
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "# kept\n[other]\nDSQUERY=elsewhere\n"
            "[SOFTWARE\\MICROSOFT\\MSSQLServer\\Client\\ConnectTo\\]\nDSQUERY=DBMSSOCN\n");

  // A setting that cannot be written changes nothing and is not reported.
  setenv("TESSEL_DBLIB_CONF", "/proc/tessel-cannot-write/dblib.conf", 1);
  server_.SetNetLibrary(nlIPX);
  EXPECT_FALSE(server_.ChangeNetLib());
  server_.Open();
  EXPECT_TRUE(server_.Connected());
}

}  // namespace
}  // namespace tessel
