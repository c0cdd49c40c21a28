// The recorded error state and how CheckDBResult reports it.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "runtime/SQLServer.h"

namespace tessel {
namespace {

class ErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override { CheckDBResult(1); }

  static void ServerMessage(int number, const char* text, int severity = 16) {
    DBMsgHandler(nullptr, number, 1, severity, text, "srv", "", 1);
  }
  static void ClientError(int number, const char* text, const char* os_text) {
    DBErrHandler(nullptr, 9, number, 0, text, os_text);
  }
  static std::pair<int, std::string> Raised() {
    try {
      CheckDBResult(0);
    } catch (const ElqSQLError& e) {
      EXPECT_EQ(e.Message(), e.ErrorMessage());
      return {e.ErrorCode(), e.ErrorMessage()};
    }
    ADD_FAILURE() << "CheckDBResult(0) did not raise";
    return {};
  }
};

TEST_F(ErrorsTest, ServerErrorIsReportedWithItsNumberAndText) {
  ServerMessage(0, "Changed database context to 'pubs'.", 0);  // informational: ignored
  ServerMessage(102, "Incorrect syntax near 'x'.");
  EXPECT_EQ(DBErrHandler(nullptr, 5, 10007, 0, "General SQL Server error", nullptr), INT_CANCEL);
  EXPECT_EQ(Raised(), std::make_pair(102, std::string("Incorrect syntax near 'x'.")));
  // Raising leaves the state: the next failure without a report says the same.
  EXPECT_EQ(Raised().first, 102);
}

TEST_F(ErrorsTest, ClientErrorGivesMinusOneAndTheTwoTexts) {
  EXPECT_EQ(DBErrHandler(nullptr, 9, 20009, 111, "Unable to connect", "Connection refused"),
            INT_CANCEL);
  EXPECT_EQ(Raised(), std::make_pair(-1, std::string("Unable to connect Connection refused")));
  ClientError(20003, "Read from the server timed out.", nullptr);
  EXPECT_EQ(Raised().second, "Read from the server timed out. ");
}

TEST_F(ErrorsTest, LaterReportsReplaceEarlierOnes) {
  ServerMessage(208, "Invalid object name 't'.");
  ClientError(20047, "Connection is dead.", nullptr);
  EXPECT_EQ(Raised(), std::make_pair(-1, std::string("Connection is dead. ")));
  ServerMessage(4060, "Cannot open database.");
  EXPECT_EQ(Raised(), std::make_pair(4060, std::string("Cannot open database.")));
}

TEST_F(ErrorsTest, EmptyServerTextAndNothingRecorded) {
  EXPECT_EQ(Raised(), std::make_pair(0, std::string()));
  ServerMessage(50000, "");
  EXPECT_EQ(Raised(), std::make_pair(50000, std::string("Undefined SQL Server error:50000")));
}

TEST_F(ErrorsTest, SuccessClearsEverythingAndLowSeveritiesAreNotRecorded) {
  ServerMessage(208, "Invalid object name 't'.");
  ClientError(20047, "dead", "os");
  EXPECT_TRUE(CheckDBResult(-2));  // any non-zero value counts as success
  const TlqRecordedError e = RecordedDBError();
  EXPECT_EQ(e.LastMsgNo, 0);
  EXPECT_TRUE(e.LastMsgText.empty());
  EXPECT_TRUE(e.LastErrText.empty());
  EXPECT_EQ(DBErrHandler(nullptr, 0, 20047, 0, "x", nullptr), 0);
  ServerMessage(1, "print output", 0);
  EXPECT_EQ(RecordedDBError().LastMsgNo, 0);
}

TEST_F(ErrorsTest, RecordingFromTwoThreadsKeepsTheTextsWhole) {
  const std::string a(200, 'a'), b(200, 'b');
  std::thread t1([&] {
    for (int i = 0; i < 2000; ++i) ServerMessage(1001, a.c_str());
  });
  std::thread t2([&] {
    for (int i = 0; i < 2000; ++i) ServerMessage(1002, b.c_str());
  });
  for (int i = 0; i < 2000; ++i) {
    const TlqRecordedError e = RecordedDBError();
    EXPECT_TRUE(e.LastMsgText.empty() || e.LastMsgText == a || e.LastMsgText == b);
  }
  t1.join();
  t2.join();
}

TEST(FieldTypes, TokensForParameterTypes) {
  EXPECT_EQ(FieldTypeToDBType(ftString), 47);
  EXPECT_EQ(FieldTypeToDBType(ftDateTime), 61);
  EXPECT_EQ(FieldTypeToDBType(ftDate), 0);
  EXPECT_EQ(FieldTypeToDBType(ftTime), 0);
  EXPECT_EQ(FieldTypeToDBType(ftBCD), 0);
  EXPECT_EQ(FieldTypeToDBType(ftMemo), 35);
  EXPECT_EQ(FieldTypeToDBType(static_cast<TFieldType>(ftInteger | 0x80)), 56);
}

}  // namespace
}  // namespace tessel
