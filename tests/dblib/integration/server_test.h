// Base of the dblib end-to-end tests: a login record for the test server, handlers that
// record what reaches them, and helpers to run batches through the raw DB-Library calls.
#ifndef TESSEL_TESTS_DBLIB_SERVER_TEST_H
#define TESSEL_TESTS_DBLIB_SERVER_TEST_H

#include <gtest/gtest.h>
#include <ntwdblib.h>

#include <string>
#include <vector>

#include "sqld.h"

namespace tessel::dblib_test {

struct Message {
  DBINT number;
  int state;
  int severity;
  std::string text;
  PDBPROCESS dbproc;
};

struct Error {
  int severity;
  int number;
  std::string text;
};

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // "host:port", or with another separator ("host,port").
  std::string Address(char separator = ':') const;
  // A new connection with the test login, or null (recorded errors tell why).
  PDBPROCESS Open();
  PDBPROCESS Open(const std::string& address);
  // Runs `sql` and throws its results away; false if the server refused it.
  bool Run(PDBPROCESS dbproc, const std::string& sql);
  // The first column of every row of the first result, as text.
  std::vector<std::string> Column(PDBPROCESS dbproc, const std::string& sql);
  // Runs a statement the test needs for its set-up; false (and `skip_reason`) when the
  // server does not support it, so the test can skip instead of failing.
  bool Prepare(PDBPROCESS dbproc, const std::string& sql);

  static bool SawError(int number);
  static bool SawMessage(DBINT number);

  static std::vector<Message> messages;
  static std::vector<Error> errors;
  static INT error_answer;  // what the recording error handler returns

  const Server* server = nullptr;
  LOGINREC* login = nullptr;
  std::vector<PDBPROCESS> opened;
  std::string skip_reason;

 private:
  static INT RecordError(PDBPROCESS, INT severity, INT dberr, INT oserr, LPCSTR dberrstr,
                         LPCSTR oserrstr);
  static INT RecordMessage(PDBPROCESS dbproc, DBINT msgno, INT msgstate, INT severity,
                           LPCSTR msgtext, LPCSTR srvname, LPCSTR procname, DBUSMALLINT line);
  DBERRHANDLE_PROC previous_err_ = nullptr;
  DBMSGHANDLE_PROC previous_msg_ = nullptr;
};

}  // namespace tessel::dblib_test

#endif
