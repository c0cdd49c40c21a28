#include "server_test.h"

namespace tessel::dblib_test {

std::vector<Message> ServerTest::messages;
std::vector<Error> ServerTest::errors;
INT ServerTest::error_answer = INT_CANCEL;

INT ServerTest::RecordError(PDBPROCESS, INT severity, INT dberr, INT, LPCSTR dberrstr, LPCSTR) {
  errors.push_back({severity, dberr, dberrstr != nullptr ? dberrstr : ""});
  return error_answer;
}

INT ServerTest::RecordMessage(PDBPROCESS dbproc, DBINT msgno, INT msgstate, INT severity,
                              LPCSTR msgtext, LPCSTR, LPCSTR, DBUSMALLINT) {
  messages.push_back({msgno, msgstate, severity, msgtext, dbproc});
  return 0;
}

void ServerTest::SetUp() {
  std::string why;
  server = TestServer(why);
  if (server == nullptr) GTEST_SKIP() << "no test server: " << why;
  messages.clear();
  errors.clear();
  error_answer = INT_CANCEL;
  previous_err_ = dberrhandle(&RecordError);
  previous_msg_ = dbmsghandle(&RecordMessage);
  ASSERT_NE(dbinit(), nullptr);
  login = dblogin();
  ASSERT_NE(login, nullptr);
  ASSERT_EQ(dbsetlname(login, "dblib tests", DBSETAPP), SUCCEED);
  ASSERT_EQ(dbsetlname(login, "testhost", DBSETHOST), SUCCEED);
  ASSERT_EQ(dbsetlname(login, server->user.c_str(), DBSETUSER), SUCCEED);
  ASSERT_EQ(dbsetlname(login, server->password.c_str(), DBSETPWD), SUCCEED);
  ASSERT_EQ(dbsetlname(login, "", DBVER60), SUCCEED);
  dbsetlogintime(10);
  dbsettime(30);
}

void ServerTest::TearDown() {
  for (PDBPROCESS dbproc : opened) dbclose(dbproc);
  opened.clear();
  if (login != nullptr) dbfreelogin(login);
  login = nullptr;
  if (server != nullptr) {
    dberrhandle(previous_err_);
    dbmsghandle(previous_msg_);
  }
}

std::string ServerTest::Address(char separator) const {
  return server->host + separator + server->port;
}

PDBPROCESS ServerTest::Open() {
  return Open(Address());
}

PDBPROCESS ServerTest::Open(const std::string& address) {
  PDBPROCESS dbproc = dbopen(login, address.c_str());
  if (dbproc != nullptr) opened.push_back(dbproc);
  return dbproc;
}

bool ServerTest::Run(PDBPROCESS dbproc, const std::string& sql) {
  if (dbcmd(dbproc, sql.c_str()) != SUCCEED || dbsqlexec(dbproc) != SUCCEED) {
    dbcancel(dbproc);
    return false;
  }
  bool ok = true;
  RETCODE rc;
  while ((rc = dbresults(dbproc)) != NO_MORE_RESULTS) {
    if (rc == FAIL) {
      ok = false;
      break;
    }
    while (dbnextrow(dbproc) != NO_MORE_ROWS) {
    }
  }
  return ok;
}

std::vector<std::string> ServerTest::Column(PDBPROCESS dbproc, const std::string& sql) {
  std::vector<std::string> rows;
  if (dbcmd(dbproc, sql.c_str()) != SUCCEED || dbsqlexec(dbproc) != SUCCEED ||
      dbresults(dbproc) != SUCCEED) {
    dbcancel(dbproc);
    return rows;
  }
  while (dbnextrow(dbproc) == REG_ROW) {
    char text[256] = {};
    LPCBYTE data = dbdata(dbproc, 1);
    if (data == nullptr) {
      rows.push_back("NULL");
      continue;
    }
    DBINT n = dbconvert(dbproc, dbcoltype(dbproc, 1), data, dbdatlen(dbproc, 1), SQLCHAR,
                        reinterpret_cast<LPBYTE>(text), -1);
    rows.push_back(n < 0 ? "<conversion failed>" : text);
  }
  dbcancel(dbproc);
  return rows;
}

bool ServerTest::Prepare(PDBPROCESS dbproc, const std::string& sql) {
  size_t before = messages.size();
  if (Run(dbproc, sql)) return true;
  skip_reason = "the server does not run \"" + sql + "\"";
  for (size_t i = before; i < messages.size(); ++i) skip_reason += ": " + messages[i].text;
  return false;
}

bool ServerTest::SawError(int number) {
  for (const auto& e : errors) {
    if (e.number == number) return true;
  }
  return false;
}

bool ServerTest::SawMessage(DBINT number) {
  for (const auto& m : messages) {
    if (m.number == number) return true;
  }
  return false;
}

}  // namespace tessel::dblib_test
