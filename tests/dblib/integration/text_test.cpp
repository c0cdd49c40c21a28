// Text pointers and timestamps, and reading a text value in pieces with dbreadtext.
#include <cstdio>
#include <cstring>
#include <string>

#include "server_test.h"

namespace tessel::dblib_test {
namespace {

class DbLibText : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    dbproc = Open();
    ASSERT_NE(dbproc, nullptr);
    if (!Prepare(dbproc, "create table #blob (id int, tx text null)") ||
        !Prepare(dbproc, "insert into #blob values (1, '" + value + "')") ||
        !Prepare(dbproc, "insert into #blob values (2, null)")) {
      GTEST_SKIP() << skip_reason;
    }
  }

  // The text pointer of row `id`, as hexadecimal for a READTEXT command.
  std::string PointerOf(int id, std::string* timestamp = nullptr) {
    std::string sql = "select tx from #blob where id = " + std::to_string(id);
    EXPECT_EQ(dbcmd(dbproc, sql.c_str()), SUCCEED);
    EXPECT_EQ(dbsqlexec(dbproc), SUCCEED);
    EXPECT_EQ(dbresults(dbproc), SUCCEED);
    EXPECT_EQ(dbnextrow(dbproc), REG_ROW);
    std::string hex;
    if (LPDBBINARY ptr = dbtxptr(dbproc, 1)) {
      char digits[3];
      hex = "0x";
      for (int i = 0; i < 16; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", ptr[i]);
        hex += digits;
      }
      if (timestamp != nullptr && dbtxtimestamp(dbproc, 1) != nullptr) {
        timestamp->assign(reinterpret_cast<const char*>(dbtxtimestamp(dbproc, 1)), 8);
      }
    }
    dbcancel(dbproc);
    return hex;
  }

  PDBPROCESS dbproc = nullptr;
  std::string value = "The quick brown fox jumps over the lazy dog, twice over.";
};

TEST_F(DbLibText, PointerAndTimestampOfAValue) {
  std::string timestamp;
  std::string pointer = PointerOf(1, &timestamp);
  EXPECT_EQ(pointer.size(), 34u);
  EXPECT_EQ(timestamp.size(), 8u);
  EXPECT_EQ(PointerOf(2), "") << "a null text has no pointer";
}

TEST_F(DbLibText, ReadtextInPieces) {
  std::string pointer = PointerOf(1);
  ASSERT_FALSE(pointer.empty());
  std::string sql = "readtext #blob.tx " + pointer + " 0 0";
  size_t before = messages.size();
  ASSERT_EQ(dbcmd(dbproc, sql.c_str()), SUCCEED);
  if (dbsqlexec(dbproc) != SUCCEED || dbresults(dbproc) != SUCCEED) {
    std::string why;
    for (size_t i = before; i < messages.size(); ++i) why += messages[i].text;
    dbcancel(dbproc);
    GTEST_SKIP() << "the server does not run READTEXT: " << why;
  }
  std::string read;
  char piece[7];
  STATUS n;
  int pieces = 0;
  while ((n = dbreadtext(dbproc, piece, sizeof piece)) > 0) {
    read.append(piece, static_cast<size_t>(n));
    ++pieces;
  }
  EXPECT_EQ(n, 0) << "the end of the value";
  EXPECT_EQ(read, value);
  EXPECT_EQ(pieces, static_cast<int>((value.size() + sizeof piece - 1) / sizeof piece));
  EXPECT_EQ(dbreadtext(dbproc, piece, sizeof piece), NO_MORE_ROWS);
  while (dbresults(dbproc) == SUCCEED) {
  }
}

TEST_F(DbLibText, ReadtextOfANullValueReadsEmpty) {
  ASSERT_EQ(dbcmd(dbproc, "select tx from #blob where id = 2"), SUCCEED);
  ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  char piece[8];
  EXPECT_EQ(dbreadtext(dbproc, piece, sizeof piece), 0);
  EXPECT_EQ(dbreadtext(dbproc, piece, sizeof piece), NO_MORE_ROWS);
  dbcancel(dbproc);
}

}  // namespace
}  // namespace tessel::dblib_test
