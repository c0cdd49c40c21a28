// FreeTDS db-lib, an independent client, against the listener with the stub
// engine: login right and wrong, cancel timing and many sessions at once.

#include <gtest/gtest.h>
#include <sybdb.h>
#include <sybfront.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "session_fixture.h"

namespace tessel::sqld::test {
namespace {

using namespace std::chrono_literals;

std::mutex gMessagesMutex;
std::vector<int> gMessages;  // guarded by gMessagesMutex

int onMessage(DBPROCESS*, DBINT number, int, int, char*, char*, char*, int) {
  std::lock_guard lock(gMessagesMutex);
  gMessages.push_back(number);
  return 0;
}

int onError(DBPROCESS*, int, int, int, char*, char*) {
  return INT_CANCEL;
}

class DbLib : public ListenerFixture {
 protected:
  void SetUp() override {
    ListenerFixture::SetUp();
    dir_ = std::filesystem::temp_directory_path() / ("tds-dblib-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "freetds.conf")
        << "[stub]\n\thost = 127.0.0.1\n\tport = " << port_ << "\n\ttds version = 7.4\n";
    ::setenv("FREETDSCONF", (dir_ / "freetds.conf").c_str(), 1);
    static std::once_flag once;
    std::call_once(once, [] {
      dbinit();
      dbmsghandle(onMessage);
      dberrhandle(onError);
    });
    std::lock_guard lock(gMessagesMutex);
    gMessages.clear();
  }
  void TearDown() override {
    ListenerFixture::TearDown();
    std::filesystem::remove_all(dir_);
  }

  static DBPROCESS* open(const char* password) {
    LOGINREC* login = dblogin();
    DBSETLUSER(login, "sa");
    DBSETLPWD(login, password);
    DBSETLAPP(login, "tds_dblib_test");
    DBPROCESS* p = dbopen(login, "stub");
    dbloginfree(login);
    return p;
  }

  std::filesystem::path dir_;
};

TEST_F(DbLib, WrongPasswordReports18456AndRightOneConnects) {
  EXPECT_EQ(open("wrong"), nullptr);
  {
    std::lock_guard lock(gMessagesMutex);
    EXPECT_NE(std::find(gMessages.begin(), gMessages.end(), 18456), gMessages.end());
  }
  DBPROCESS* p = open("pw");
  ASSERT_NE(p, nullptr);
  ASSERT_EQ(dbcmd(p, "select 41 + 0 as n, N'żółw' as s"), SUCCEED);
  dbcmd(p, "\nselect * from people");
  ASSERT_EQ(dbsqlexec(p), SUCCEED);
  ASSERT_EQ(dbresults(p), SUCCEED);
  EXPECT_EQ(dbnumcols(p), 2);
  int rows = 0;
  while (dbnextrow(p) != NO_MORE_ROWS) ++rows;
  EXPECT_EQ(rows, 1);
  ASSERT_EQ(dbresults(p), SUCCEED);
  while (dbnextrow(p) != NO_MORE_ROWS) ++rows;
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(dbresults(p), NO_MORE_RESULTS);
  dbclose(p);
}

TEST_F(DbLib, CancelStopsAWaitforWithin100ms) {
  DBPROCESS* p = open("pw");
  ASSERT_NE(p, nullptr);
  auto best = std::chrono::milliseconds::max();
  for (int attempt = 0; attempt < 3; ++attempt) {
    dbcmd(p, "waitfor delay '00:00:10'");
    ASSERT_EQ(dbsqlsend(p), SUCCEED);
    std::this_thread::sleep_for(50ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(dbcancel(p), SUCCEED);
    best = std::min(best, std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start));
  }
  EXPECT_LT(best.count(), 100);
  // The connection is usable afterwards.
  dbcmd(p, "select 1");
  ASSERT_EQ(dbsqlexec(p), SUCCEED);
  ASSERT_EQ(dbresults(p), SUCCEED);
  ASSERT_EQ(dbnextrow(p), REG_ROW);
  EXPECT_EQ(*reinterpret_cast<DBINT*>(dbdata(p, 1)), 1);
  dbclose(p);
}

TEST_F(DbLib, FiftyConcurrentSessions) {
  constexpr int kSessions = 50;
  std::vector<int> spids(kSessions, 0);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kSessions; ++i) {
    threads.emplace_back([&, i] {
      DBPROCESS* p = open("pw");
      if (!p) {
        ++failures;
        return;
      }
      dbcmd(p, "select @@spid\nwaitfor delay '00:00:00.300'\nselect * from medium");
      bool ok = dbsqlexec(p) == SUCCEED && dbresults(p) == SUCCEED && dbnextrow(p) == REG_ROW;
      if (ok) spids[i] = *reinterpret_cast<DBSMALLINT*>(dbdata(p, 1));
      int rows = 0;
      while (dbnextrow(p) != NO_MORE_ROWS) {
      }
      while (ok && dbresults(p) == SUCCEED) {
        while (dbnextrow(p) != NO_MORE_ROWS) ++rows;
      }
      if (!ok || rows != 2000) ++failures;
      dbclose(p);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(std::set<int>(spids.begin(), spids.end()).size(), static_cast<std::size_t>(kSessions));
}

}  // namespace
}  // namespace tessel::sqld::test
