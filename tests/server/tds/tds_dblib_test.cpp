// FreeTDS db-lib, an independent client, against the listener with the stub
// engine: login right and wrong, cancel timing and many sessions at once.

#include <gtest/gtest.h>
#include <sybdb.h>
#include <sybfront.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
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

std::vector<std::string> gErrors;  // guarded by gMessagesMutex

int onError(DBPROCESS*, int, int, int, char* text, char*) {
  std::lock_guard lock(gMessagesMutex);
  gErrors.push_back(text ? text : "");
  return INT_CANCEL;
}

std::string errors() {
  std::lock_guard lock(gMessagesMutex);
  std::string out;
  for (const auto& e : gErrors) out += e + "\n";
  return out;
}

class DbLib : public ListenerFixture {
 protected:
  void SetUp() override {
    ListenerFixture::SetUp();
    dir_ = std::filesystem::temp_directory_path() / ("tds-dblib-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "freetds.conf") << "[stub]\n\thost = 127.0.0.1\n\tport = " << port_
                                         << "\n\ttds version = 7.4\n\tclient charset = UTF-8\n";
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

// Text of a value as db-lib converts it, for comparing what went out with
// what came back.
std::string asText(DBPROCESS* p, int type, const BYTE* data, DBINT len) {
  char buf[512] = {};
  DBINT n = dbconvert(p, type, data, len, SYBCHAR, reinterpret_cast<BYTE*>(buf), sizeof buf - 1);
  return n < 0 ? "<conversion failed>" : std::string(buf, static_cast<std::size_t>(n));
}

TEST_F(DbLib, RpcParametersOfEveryTypeRoundTripAsInputAndOutput) {
  DBPROCESS* p = open("pw");
  ASSERT_NE(p, nullptr);
  DBINT i4 = -123456;
  DBSMALLINT i2 = -2;
  DBTINYINT i1 = 200;
  DBBIGINT i8 = 1234567890123LL;
  DBFLT8 f8 = 3.25;
  DBREAL r4 = -1.5f;
  DBBIT bit = 1;
  DBMONEY money{1, 2};
  DBMONEY4 money4{-5000};
  DBDATETIME dt{40000, 300 * 61};
  DBDATETIME4 dt4{40000, 90};
  DBNUMERIC num{};
  DBTYPEINFO numType{10, 2};
  dbconvert_ps(p, SYBCHAR, reinterpret_cast<const BYTE*>("-123.45"), -1, SYBNUMERIC,
               reinterpret_cast<BYTE*>(&num), sizeof num, &numType);
  char text[] = "grüße";
  BYTE bin[] = {0xDE, 0xAD, 0x00, 0xEF};
  struct Param {
    const char* name;
    int type;
    BYTE* value;
    DBINT maxlen;
    DBINT datalen;
    DBINT size = 0;  // of the value, for fixed-length types
  };
  std::vector<Param> params = {
      {"@i4", SYBINT4, reinterpret_cast<BYTE*>(&i4), -1, -1, sizeof i4},
      {"@i2", SYBINT2, reinterpret_cast<BYTE*>(&i2), -1, -1, sizeof i2},
      {"@i1", SYBINT1, reinterpret_cast<BYTE*>(&i1), -1, -1, sizeof i1},
      {"@i8", SYBINT8, reinterpret_cast<BYTE*>(&i8), -1, -1, sizeof i8},
      {"@f8", SYBFLT8, reinterpret_cast<BYTE*>(&f8), -1, -1, sizeof f8},
      {"@r4", SYBREAL, reinterpret_cast<BYTE*>(&r4), -1, -1, sizeof r4},
      {"@bit", SYBBIT, reinterpret_cast<BYTE*>(&bit), -1, -1, sizeof bit},
      {"@money", SYBMONEY, reinterpret_cast<BYTE*>(&money), -1, -1, sizeof money},
      {"@money4", SYBMONEY4, reinterpret_cast<BYTE*>(&money4), -1, -1, sizeof money4},
      {"@dt", SYBDATETIME, reinterpret_cast<BYTE*>(&dt), -1, -1, sizeof dt},
      {"@dt4", SYBDATETIME4, reinterpret_cast<BYTE*>(&dt4), -1, -1, sizeof dt4},
      {"@num", SYBNUMERIC, reinterpret_cast<BYTE*>(&num), sizeof num, sizeof num},
      {"@vc", SYBVARCHAR, reinterpret_cast<BYTE*>(text), 50, static_cast<DBINT>(strlen(text))},
      {"@c", SYBCHAR, reinterpret_cast<BYTE*>(text), 50, static_cast<DBINT>(strlen(text))},
      {"@txt", SYBTEXT, reinterpret_cast<BYTE*>(text), -1, static_cast<DBINT>(strlen(text))},
      {"@vb", SYBVARBINARY, bin, 50, 4},
      {"@img", SYBIMAGE, bin, -1, 4},
  };
  ASSERT_EQ(dbrpcinit(p, "sp_echo", 0), SUCCEED);
  for (const Param& q : params) {
    bool output = q.type != SYBTEXT && q.type != SYBIMAGE;
    ASSERT_EQ(dbrpcparam(p, q.name, output ? DBRPCRETURN : 0, q.type, q.maxlen, q.datalen, q.value),
              SUCCEED)
        << q.name;
  }
  ASSERT_EQ(dbrpcsend(p), SUCCEED) << errors();
  ASSERT_EQ(dbsqlok(p), SUCCEED) << errors();
  ASSERT_EQ(dbresults(p), SUCCEED);
  ASSERT_EQ(dbnumcols(p), static_cast<int>(params.size()));
  ASSERT_EQ(dbnextrow(p), REG_ROW);
  std::vector<std::string> sent;
  for (const Param& q : params) {
    DBINT len = q.datalen >= 0 ? q.datalen : q.size;
    sent.push_back(asText(p, q.type, q.value, len));
    EXPECT_NE(sent.back(), "<conversion failed>") << q.name;
  }
  for (int c = 1; c <= dbnumcols(p); ++c) {
    EXPECT_EQ(asText(p, dbcoltype(p, c), dbdata(p, c), dbdatlen(p, c)), sent[c - 1])
        << params[c - 1].name;
  }
  while (dbnextrow(p) != NO_MORE_ROWS) {
  }
  while (dbresults(p) == SUCCEED) {
    while (dbnextrow(p) != NO_MORE_ROWS) {
    }
  }
  EXPECT_EQ(dbretstatus(p), 7);
  int outputs = 0;
  for (std::size_t k = 0; k < params.size(); ++k) {
    if (params[k].type == SYBTEXT || params[k].type == SYBIMAGE) continue;
    ++outputs;
    ASSERT_LE(outputs, dbnumrets(p));
    EXPECT_EQ(asText(p, dbrettype(p, outputs), dbretdata(p, outputs), dbretlen(p, outputs)),
              sent[k])
        << params[k].name;
  }
  EXPECT_EQ(dbnumrets(p), outputs);
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
