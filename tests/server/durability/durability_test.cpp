// What survives a crash: a transaction that wrote two databases and that a
// crash left committed in one of them only is rolled back at the next start
// (the crash is imitated by putting together files copied before and after
// its COMMIT); tessel-sqld killed at random moments keeps every acknowledged
// cross-database commit whole; and an engine that cannot make tempdb starts
// without it.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "kill_loop.h"
#include "recording_sink.h"
#include "server_process.h"
#include "sqld/engine.h"
#include "tds_test_client.h"

namespace tessel::sqld::testing {
namespace {

namespace fs = std::filesystem;

class Durability : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tessel-durability-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<Engine> engineOn(const fs::path& data) {
    EngineOptions options;
    options.dataDirectory = data.string();
    options.warning = [this](const std::string& text) { warnings_.push_back(text); };
    return createSqliteEngine(options);
  }

  static std::unique_ptr<Session> open(Engine& engine) {
    LoginInfo login;
    Message error;
    auto s = engine.openSession(login, error);
    EXPECT_TRUE(s) << error.text;
    return s;
  }

  static RecordingSink run(Session& s, std::string_view sql) {
    RecordingSink sink;
    CancelFlag cancel;
    s.executeBatch(sql, sink, cancel);
    return sink;
  }

  // The first column of every row, as text.
  static std::vector<std::string> column(Session& s, std::string_view sql) {
    RecordingSink r = run(s, sql);
    EXPECT_TRUE(r.errors().empty()) << sql << ": " << r.errors()[0].text;
    std::vector<std::string> out;
    if (r.results.empty()) return out;
    for (const auto& row : r.results[0].rows)
      out.push_back(renderValue(row[0], r.results[0].columns[0].type));
    return out;
  }

  // What a crash leaves: the database files as they are now.
  static void copyFiles(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    for (const auto& e : fs::directory_iterator(from))
      if (e.path().filename().string().find(".db") != std::string::npos)
        fs::copy_file(e.path(), to / e.path().filename(), fs::copy_options::overwrite_existing);
  }

  static bool hasMarkers(const fs::path& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE name = '_tessel_commit'", -1, &s,
                       nullptr);
    bool found = s && sqlite3_step(s) == SQLITE_ROW;
    sqlite3_finalize(s);
    sqlite3_close(db);
    return found;
  }

  fs::path dir_;
  std::vector<std::string> warnings_;
};

// A crash between the two files' commits, in either order, and one that
// cannot be undone because the first file was written again after it.
TEST_F(Durability, HalfCommittedTransactionIsRolledBackAtStart) {
  struct Case {
    const char* name;
    const char* staleDatabase;  // its files from before the COMMIT
    bool laterCommit;           // a one-database commit to tessel follows
    std::vector<std::string> a, b;
    const char* warning;
  };
  const Case cases[] = {
      {"second file missed", "d2", false, {"1"}, {"1"}, "rolled back in database 'tessel'"},
      {"first file missed", "tessel", false, {"1"}, {"1"}, "rolled back in database 'd2'"},
      {"written since", "d2", true, {"1", "2", "3"}, {"1"}, "stays committed in database 'tessel'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path live = dir_ / "live", before = dir_ / "before", after = dir_ / "after";
    fs::remove_all(dir_);
    auto engine = engineOn(live);
    auto s = open(*engine);
    ASSERT_TRUE(run(*s, "CREATE DATABASE d2").errors().empty());
    ASSERT_TRUE(run(*s,
                    "CREATE TABLE tessel..a(x int); CREATE TABLE d2..b(x int); "
                    "INSERT tessel..a VALUES (0)")
                    .errors()
                    .empty());
    // One database at a time: no marker, the commit stays what it was.
    EXPECT_FALSE(hasMarkers(live / "tessel.db"));
    ASSERT_TRUE(run(*s,
                    "DELETE tessel..a; BEGIN TRAN; INSERT tessel..a VALUES (1); "
                    "INSERT d2..b VALUES (1); COMMIT")
                    .errors()
                    .empty());
    copyFiles(live, before);
    ASSERT_TRUE(run(*s, "BEGIN TRAN; INSERT tessel..a VALUES (2); INSERT d2..b VALUES (2); COMMIT")
                    .errors()
                    .empty());
    if (c.laterCommit) {
      ASSERT_TRUE(run(*s, "INSERT tessel..a VALUES (3)").errors().empty());
    }
    copyFiles(live, after);
    s.reset();
    engine.reset();
    for (const auto& e : fs::directory_iterator(before))
      if (e.path().filename().string().rfind(std::string(c.staleDatabase) + ".db", 0) == 0)
        fs::copy_file(e.path(), after / e.path().filename(), fs::copy_options::overwrite_existing);
    fs::remove(after / (std::string(c.staleDatabase) + ".db-shm"));

    warnings_.clear();
    engine = engineOn(after);
    s = open(*engine);
    EXPECT_EQ(column(*s, "SELECT x FROM tessel..a ORDER BY x"), c.a);
    EXPECT_EQ(column(*s, "SELECT x FROM d2..b ORDER BY x"), c.b);
    ASSERT_EQ(warnings_.size(), 1u);
    EXPECT_NE(warnings_[0].find(c.warning), std::string::npos) << warnings_[0];
    s.reset();
    engine.reset();
  }
}

TEST_F(Durability, EngineStartsWithoutTempdb) {
  // A directory where tempdb's file belongs: it can neither be removed nor
  // opened, as on a full or read-only disk.
  fs::create_directories(dir_ / "tempdb.db" / "in-the-way");
  auto engine = engineOn(dir_);
  ASSERT_EQ(warnings_.size(), 1u);
  EXPECT_NE(warnings_[0].find("tempdb"), std::string::npos) << warnings_[0];
  auto s = open(*engine);
  ASSERT_TRUE(s);
  EXPECT_EQ(column(*s, "CREATE TABLE t(x int); INSERT t VALUES (7); SELECT x FROM t"),
            std::vector<std::string>{"7"});
  for (const char* sql : {"CREATE TABLE #t(x int)", "CREATE TABLE ##g(x int)",
                          "SELECT * FROM tempdb..sysobjects", "USE tempdb", "SELECT * FROM #t"}) {
    RecordingSink r = run(*s, sql);
    ASSERT_EQ(r.errors().size(), 1u) << sql;
    EXPECT_EQ(r.errors()[0].number, 945) << sql << ": " << r.errors()[0].text;
  }
}

#if defined(TESSEL_SQLD)
TEST_F(Durability, ProgramStartsWithoutTempdb) {
  fs::create_directories(dir_ / "tempdb.db" / "in-the-way");
  sqld::test::ServerProcess server(TESSEL_SQLD,
                                   {"--password", "pw", "--quiet", "--data", dir_.string()});
  sqld::test::TestClient client;
  client.connect(static_cast<std::uint16_t>(server.port()));
  client.login();
  auto tokens = client.batch("CREATE TABLE #t(x int)");
  auto error = std::find_if(tokens.begin(), tokens.end(),
                            [](const sqld::test::Token& t) { return t.type == 0xAA; });
  ASSERT_NE(error, tokens.end());
  EXPECT_EQ(error->number, 945);
}

// Bounded: 12 kills, each followed by a start of the server.
TEST_F(Durability, KilledServerKeepsCrossDatabaseCommitsWhole) {
  const unsigned seed = std::random_device{}();
  auto r = sqld::test::runKillLoop(TESSEL_SQLD, (dir_ / "data").string(), 12, seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  EXPECT_EQ(r.cycles, 12);
  EXPECT_GT(r.acknowledged, 0);
  EXPECT_EQ(r.lostCommits, 0);
  EXPECT_EQ(r.halfCommits, 0);
}
#endif

}  // namespace
}  // namespace tessel::sqld::testing
