// Every server data type read through dbcolinfo, dbdata, dbconvert and dbdatecrack.
#include <cstring>
#include <set>

#include "server_test.h"

namespace tessel::dblib_test {
namespace {

class DbLibTypes : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    dbproc = Open();
    ASSERT_NE(dbproc, nullptr);
    if (!Prepare(dbproc,
                 "create table #types (i int, s smallint, ti tinyint, b bit, f float, r real, "
                 "m money, sm smallmoney, d decimal(10,2), n numeric(38,0), c char(5), "
                 "vc varchar(20), bn binary(4), vb varbinary(8), tx text, im image, z int null)") ||
        !Prepare(dbproc,
                 "insert into #types values (123456, -12, 200, 1, 1.5, 2.25, 12.3456, -1.5, "
                 "-123.45, 1234567890123456789, 'ab', 'hello', 0x01020304, 0xABCD, "
                 "'long text', 0x00FF, null)")) {
      GTEST_SKIP() << skip_reason;
    }
    ASSERT_EQ(dbcmd(dbproc, "select * from #types"), SUCCEED);
    ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
    ASSERT_EQ(dbresults(dbproc), SUCCEED);
    ASSERT_EQ(dbnumcols(dbproc), 17);
    ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
  }

  DBCOL Describe(int column) {
    DBCOL col;
    std::memset(&col, 0, sizeof col);
    col.SizeOfStruct = sizeof(DBCOL);
    EXPECT_EQ(dbcolinfo(dbproc, CI_REGULAR, column, 0, &col), SUCCEED) << column;
    return col;
  }

  double AsFloat(int column) {
    DBFLT8 value = -99999;
    EXPECT_EQ(dbconvert(dbproc, dbcoltype(dbproc, column), dbdata(dbproc, column),
                        dbdatlen(dbproc, column), SQLFLT8, reinterpret_cast<LPBYTE>(&value), 8),
              8)
        << column;
    return value;
  }

  std::string Bytes(int column) {
    return std::string(reinterpret_cast<const char*>(dbdata(dbproc, column)),
                       static_cast<size_t>(dbdatlen(dbproc, column)));
  }

  PDBPROCESS dbproc = nullptr;
};

TEST_F(DbLibTypes, ColumnTypesAreMicrosoftsTokens) {
  const std::set<int> expected[] = {{SQLINT4},         {SQLINT2},
                                    {SQLINT1},         {SQLBIT},
                                    {SQLFLT8},         {SQLFLT4},
                                    {SQLMONEY},        {SQLMONEY4},
                                    {SQLDECIMAL},      {SQLNUMERIC},
                                    {SQLCHAR},         {SQLCHAR, SQLVARCHAR},
                                    {SQLBINARY},       {SQLBINARY, SQLVARBINARY},
                                    {SQLTEXT},         {SQLIMAGE},
                                    {SQLINT4, SQLINTN}};
  for (int column = 1; column <= 17; ++column) {
    DBCOL col = Describe(column);
    EXPECT_TRUE(expected[column - 1].count(col.Type))
        << "column " << column << " type " << col.Type;
    EXPECT_EQ(dbcoltype(dbproc, column), +col.Type) << column;
  }
  DBCOL d = Describe(9);
  EXPECT_EQ(+d.Precision, 10);
  EXPECT_EQ(+d.Scale, 2);
  EXPECT_EQ(+d.MaxLength, 19);  // the DBNUMERIC that dbdata gives
  // Text crosses the library in UTF-8: up to four bytes a character.
  EXPECT_EQ(+Describe(11).MaxLength, 4 * 5);
  EXPECT_EQ(+Describe(12).MaxLength, 4 * 20);
  EXPECT_EQ(+Describe(12).VarLength, TRUE);
  EXPECT_EQ(+Describe(17).Null, TRUE);
}

TEST_F(DbLibTypes, NumbersMoneyAndBits) {
  EXPECT_EQ(AsFloat(1), 123456);
  EXPECT_EQ(AsFloat(2), -12);
  EXPECT_EQ(AsFloat(3), 200);
  EXPECT_EQ(AsFloat(4), 1);
  EXPECT_EQ(AsFloat(5), 1.5);
  EXPECT_EQ(AsFloat(6), 2.25);
  EXPECT_DOUBLE_EQ(AsFloat(7), 12.3456);
  EXPECT_DOUBLE_EQ(AsFloat(8), -1.5);
  DBMONEY money{};
  ASSERT_EQ(dbdatlen(dbproc, 7), 8);
  std::memcpy(&money, dbdata(dbproc, 7), sizeof money);
  EXPECT_EQ(money.mnyhigh, 0);
  EXPECT_EQ(money.mnylow, 123456u);
}

TEST_F(DbLibTypes, DecimalsArriveAsMicrosoftsDbnumeric) {
  ASSERT_EQ(dbdatlen(dbproc, 9), 19);
  DBNUMERIC d;
  std::memcpy(&d, dbdata(dbproc, 9), sizeof d);
  EXPECT_EQ(d.precision, 10);
  EXPECT_EQ(d.scale, 2);
  EXPECT_EQ(d.sign, 0);
  EXPECT_EQ(d.val[0] | (d.val[1] << 8), 12345);
  EXPECT_DOUBLE_EQ(AsFloat(9), -123.45);

  char text[64] = {};
  ASSERT_GT(dbconvert(dbproc, SQLNUMERIC, dbdata(dbproc, 10), dbdatlen(dbproc, 10), SQLCHAR,
                      reinterpret_cast<LPBYTE>(text), -1),
            0);
  EXPECT_STREQ(text, "1234567890123456789");

  // The components write a float back into the column's own form.
  DBNUMERIC back = d;
  DBFLT8 value = 98.76;
  ASSERT_EQ(dbconvert(dbproc, SQLFLT8, reinterpret_cast<LPCBYTE>(&value), 8, SQLDECIMAL,
                      reinterpret_cast<LPBYTE>(&back), 19),
            19);
  EXPECT_EQ(back.precision, 10);
  EXPECT_EQ(back.sign, 1);
  EXPECT_EQ(back.val[0] | (back.val[1] << 8), 9876);
}

TEST_F(DbLibTypes, DatesCrackIntoTheirParts) {
  dbcancel(dbproc);
  if (!Prepare(dbproc, "create table #dates (dt datetime, sdt smalldatetime)") ||
      !Prepare(dbproc,
               "insert into #dates values ('2000-02-29 12:34:56.790', '2001-01-02 03:04')")) {
    GTEST_SKIP() << skip_reason;
  }
  ASSERT_EQ(dbcmd(dbproc, "select dt, sdt from #dates"), SUCCEED);
  ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  EXPECT_EQ(dbcoltype(dbproc, 1), SQLDATETIME);
  EXPECT_EQ(dbcoltype(dbproc, 2), SQLDATETIM4);
  ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
  DBDATETIME value{};
  ASSERT_EQ(dbconvert(dbproc, SQLDATETIME, dbdata(dbproc, 1), dbdatlen(dbproc, 1), SQLDATETIME,
                      reinterpret_cast<LPBYTE>(&value), 8),
            8);
  DBDATEREC r{};
  ASSERT_EQ(dbdatecrack(dbproc, &r, &value), SUCCEED);
  EXPECT_EQ(r.year, 2000);
  EXPECT_EQ(r.month, 2);
  EXPECT_EQ(r.day, 29);
  EXPECT_EQ(r.hour, 12);
  EXPECT_EQ(r.minute, 34);
  EXPECT_EQ(r.second, 56);
  EXPECT_EQ(r.millisecond, 790);

  ASSERT_EQ(dbconvert(dbproc, SQLDATETIM4, dbdata(dbproc, 2), dbdatlen(dbproc, 2), SQLDATETIME,
                      reinterpret_cast<LPBYTE>(&value), 8),
            8);
  ASSERT_EQ(dbdatecrack(dbproc, &r, &value), SUCCEED);
  EXPECT_EQ(r.year, 2001);
  EXPECT_EQ(r.month, 1);
  EXPECT_EQ(r.day, 2);
  EXPECT_EQ(r.hour, 3);
  EXPECT_EQ(r.minute, 4);
  EXPECT_EQ(r.second, 0);
  dbcancel(dbproc);
}

TEST_F(DbLibTypes, CharactersBinariesTextAndNull) {
  EXPECT_EQ(Bytes(11), "ab   ");
  EXPECT_EQ(Bytes(12), "hello");
  EXPECT_EQ(Bytes(13), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(Bytes(14), std::string("\xAB\xCD", 2));
  EXPECT_EQ(Bytes(15), "long text");
  EXPECT_EQ(Bytes(16), std::string("\x00\xFF", 2));
  EXPECT_EQ(dbdata(dbproc, 17), nullptr);
  EXPECT_EQ(dbdatlen(dbproc, 17), 0);
  EXPECT_NE(dbtxptr(dbproc, 15), nullptr);
  EXPECT_NE(dbtxtimestamp(dbproc, 15), nullptr);
}

TEST_F(DbLibTypes, BoundVariablesIncludingDecimals) {
  dbcancel(dbproc);
  ASSERT_EQ(dbcmd(dbproc, "select i, d, vc, s from #types"), SUCCEED);
  ASSERT_EQ(dbsqlexec(dbproc), SUCCEED);
  ASSERT_EQ(dbresults(dbproc), SUCCEED);
  DBINT i = 0;
  DBNUMERIC d{};
  d.precision = 12;
  d.scale = 4;  // NUMERICBIND: the variable's own shape
  char vc[32] = {};
  ASSERT_EQ(dbbind(dbproc, 1, INTBIND, 0, reinterpret_cast<LPBYTE>(&i)), SUCCEED);
  ASSERT_EQ(dbbind(dbproc, 2, NUMERICBIND, 0, reinterpret_cast<LPBYTE>(&d)), SUCCEED);
  ASSERT_EQ(dbbind(dbproc, 3, NTBSTRINGBIND, sizeof vc, reinterpret_cast<LPBYTE>(vc)), SUCCEED);
  DBNUMERIC from_int{};  // an integer column into a DBNUMERIC of its default shape
  ASSERT_EQ(dbbind(dbproc, 4, SRCNUMERICBIND, 0, reinterpret_cast<LPBYTE>(&from_int)), SUCCEED);
  EXPECT_EQ(dbbind(dbproc, 3, 77, 0, reinterpret_cast<LPBYTE>(vc)), FAIL);
  EXPECT_TRUE(SawError(SQLEBTYP));
  ASSERT_EQ(dbnextrow(dbproc), REG_ROW);
  EXPECT_EQ(i, 123456);
  EXPECT_EQ(d.precision, 12);
  EXPECT_EQ(d.scale, 4);
  EXPECT_EQ(d.sign, 0);
  EXPECT_EQ(d.val[0] | (d.val[1] << 8) | (d.val[2] << 16), 1234500);
  EXPECT_STREQ(vc, "hello");
  EXPECT_EQ(from_int.precision, 18);
  EXPECT_EQ(from_int.sign, 0);  // -12
  EXPECT_EQ(from_int.val[0], 12);
  EXPECT_EQ(dbnextrow(dbproc), NO_MORE_ROWS);
}

}  // namespace
}  // namespace tessel::dblib_test
