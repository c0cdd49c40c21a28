// Login records with Microsoft's item numbers, and the error numbers of login trouble.
#include <gtest/gtest.h>
#include <ntwdblib.h>

#include <cstdint>
#include <memory>

#include "error_recorder.h"

namespace {

struct LoginFree {
  void operator()(LOGINREC* login) const { dbfreelogin(login); }
};
using Login = std::unique_ptr<LOGINREC, LoginFree>;

Login NewLogin() {
  EXPECT_NE(dbinit(), nullptr);
  return Login(dblogin());
}

TEST(DbLogin, TheItemsThePackageSetsSucceed) {
  Login login = NewLogin();
  ASSERT_NE(login, nullptr);
  EXPECT_EQ(dbsetlname(login.get(), "Tessel test", DBSETAPP), SUCCEED);
  EXPECT_EQ(dbsetlname(login.get(), "workstation", DBSETHOST), SUCCEED);
  EXPECT_EQ(dbsetlname(login.get(), "sa", DBSETUSER), SUCCEED);
  EXPECT_EQ(dbsetlname(login.get(), "secret", DBSETPWD), SUCCEED);
  EXPECT_EQ(dbsetlname(login.get(), "", DBVER60), SUCCEED);
  EXPECT_EQ(dbsetlname(login.get(), "", DBSETSECURE), SUCCEED);
  EXPECT_EQ(dbsetlname(login.get(), "us_english", DBSETLANG), SUCCEED);
  EXPECT_EQ(DBSETLTIME(login.get(), 5), SUCCEED);
  EXPECT_EQ(dbsetlpacket(login.get(), 8192), SUCCEED);
  EXPECT_EQ(bcp_setl(login.get(), TRUE), SUCCEED);
  // Microsoft's empty text and FreeTDS's null pointer are both an empty value.
  EXPECT_EQ(dbsetlname(login.get(), nullptr, DBSETHOST), SUCCEED);
}

TEST(DbLogin, UnknownItemsFailWithSqleasul) {
  ErrorRecorder recorder;
  Login login = NewLogin();
  EXPECT_EQ(dbsetlname(login.get(), "x", DBSETID), FAIL);
  EXPECT_EQ(dbsetlname(login.get(), "x", DBSETFALLBACK), FAIL);
  EXPECT_EQ(dbsetlname(login.get(), "x", 99), FAIL);
  ASSERT_EQ(ErrorRecorder::Errors().size(), 3u);
  for (const auto& e : ErrorRecorder::Errors()) EXPECT_EQ(e.number, SQLEASUL);
  EXPECT_NE(ErrorRecorder::Errors().back().text.find("99"), std::string::npos);
}

TEST(DbLogin, ANullLoginRecordIsReportedNotFollowed) {
  ErrorRecorder recorder;
  EXPECT_EQ(dbsetlname(nullptr, "sa", DBSETUSER), FAIL);
  EXPECT_EQ(dbsetlname(nullptr, "", DBSETSECURE), FAIL);
  EXPECT_EQ(dbsetlname(nullptr, nullptr, DBSETLOGINTIME), FAIL);
  EXPECT_EQ(dbsetlpacket(nullptr, 512), FAIL);
  EXPECT_TRUE(ErrorRecorder::Saw(SQLEASNL));
  for (const auto& e : ErrorRecorder::Errors()) EXPECT_LT(e.number, 20000) << e.text;
}

TEST(DbLogin, NothingListeningIsSqleconnAndNoConnection) {
  ErrorRecorder recorder;
  Login login = NewLogin();
  dbsetlname(login.get(), "sa", DBSETUSER);
  dbsetlogintime(2);
  // Port 1 on loopback: nothing listens there, and the comma form must reach it.
  EXPECT_EQ(dbopen(login.get(), "127.0.0.1,1"), nullptr);
  ASSERT_FALSE(ErrorRecorder::Errors().empty());
  EXPECT_TRUE(ErrorRecorder::Saw(SQLECONN)) << ErrorRecorder::Errors().front().text;
}

TEST(DbLogin, HandlersAreProcessWideAndGiveBackThePreviousOne) {
  DBERRHANDLE_PROC first = [](PDBPROCESS, INT, INT, INT, LPCSTR, LPCSTR) -> INT {
    return INT_CANCEL;
  };
  DBERRHANDLE_PROC original = dberrhandle(first);
  EXPECT_EQ(dberrhandle(original), first);
  DBMSGHANDLE_PROC msg = [](PDBPROCESS, DBINT, INT, INT, LPCSTR, LPCSTR, LPCSTR,
                            DBUSMALLINT) -> INT { return 0; };
  DBMSGHANDLE_PROC original_msg = dbmsghandle(msg);
  EXPECT_EQ(dbmsghandle(original_msg), msg);
}

TEST(DbLogin, PerConnectionHandlerNeedsAnOpenConnection) {
  ErrorRecorder recorder;
  EXPECT_EQ(dbprocmsghandle(nullptr, nullptr), nullptr);
  EXPECT_TRUE(ErrorRecorder::Saw(SQLENULL));
  EXPECT_EQ(dbsetopt(nullptr, DBTEXTSIZE, "100"), FAIL);
  EXPECT_EQ(dbdataready(nullptr), TRUE);  // nothing pending: never make a caller wait
  dbwinexit();
}

}  // namespace
