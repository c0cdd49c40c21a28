// Microsoft's record layouts, which applications and the package's binding rely on byte
// for byte.
#include <gtest/gtest.h>
#include <ntwdblib.h>

#include <cstddef>

extern "C" size_t dblib_c_sizeof_dbcol(void);
extern "C" size_t dblib_c_offsetof_identity(void);

namespace {

TEST(DbLayout, DbcolIs122BytesWithMicrosoftsOffsets) {
  EXPECT_EQ(sizeof(DBCOL), 122u);
  EXPECT_EQ(offsetof(DBCOL, SizeOfStruct), 0u);
  EXPECT_EQ(offsetof(DBCOL, Name), 4u);
  EXPECT_EQ(offsetof(DBCOL, ActualName), 35u);
  EXPECT_EQ(offsetof(DBCOL, TableName), 66u);
  EXPECT_EQ(offsetof(DBCOL, Type), 98u);
  EXPECT_EQ(offsetof(DBCOL, UserType), 100u);
  EXPECT_EQ(offsetof(DBCOL, MaxLength), 104u);
  EXPECT_EQ(offsetof(DBCOL, Precision), 108u);
  EXPECT_EQ(offsetof(DBCOL, Scale), 109u);
  EXPECT_EQ(offsetof(DBCOL, VarLength), 110u);
  EXPECT_EQ(offsetof(DBCOL, Null), 114u);
  EXPECT_EQ(offsetof(DBCOL, CaseSensitive), 115u);
  EXPECT_EQ(offsetof(DBCOL, Updatable), 116u);
  EXPECT_EQ(offsetof(DBCOL, Identity), 118u);
  // A C compiler lays it out the same way.
  EXPECT_EQ(dblib_c_sizeof_dbcol(), 122u);
  EXPECT_EQ(dblib_c_offsetof_identity(), 118u);
}

TEST(DbLayout, ValueRecords) {
  EXPECT_EQ(sizeof(DBNUMERIC), 19u);
  EXPECT_EQ(offsetof(DBNUMERIC, sign), 2u);
  EXPECT_EQ(offsetof(DBNUMERIC, val), 3u);
  EXPECT_EQ(sizeof(DBDATETIME), 8u);
  EXPECT_EQ(sizeof(DBMONEY), 8u);
  EXPECT_EQ(offsetof(DBMONEY, mnylow), 4u);
  EXPECT_EQ(sizeof(DBDATETIM4), 4u);
  EXPECT_EQ(sizeof(DBDATEREC), 11 * sizeof(int));
  EXPECT_EQ(offsetof(DBDATEREC, dayofyear), 3 * sizeof(int));
  EXPECT_EQ(offsetof(DBDATEREC, day), 4 * sizeof(int));
  EXPECT_EQ(offsetof(DBDATEREC, millisecond), 10 * sizeof(int));
  EXPECT_EQ(sizeof(DBINT), 4u);
  EXPECT_EQ(sizeof(BOOL), sizeof(int));
}

TEST(DbLayout, NumbersThePackageUses) {
  EXPECT_EQ(DBSETHOST, 1);
  EXPECT_EQ(DBSETUSER, 2);
  EXPECT_EQ(DBSETPWD, 3);
  EXPECT_EQ(DBSETAPP, 4);
  EXPECT_EQ(DBSETSECURE, 7);
  EXPECT_EQ(DBVER60, 9);
  EXPECT_EQ(DBTEXTLIMIT, 4);
  EXPECT_EQ(DBTEXTSIZE, 5);
  EXPECT_EQ(DBANSItoOEM, 14);
  EXPECT_EQ(SQLESMSG, 10007);
  EXPECT_EQ(INT_CANCEL, 2);
  EXPECT_EQ(NO_MORE_ROWS, -2);
  EXPECT_EQ(NO_MORE_RESULTS, 2);
  EXPECT_EQ(SQLCHAR, 47);
  EXPECT_EQ(SQLINT2, 52);
  EXPECT_EQ(SQLINT4, 56);
  EXPECT_EQ(SQLBIT, 50);
  EXPECT_EQ(SQLFLT8, 62);
  EXPECT_EQ(SQLMONEY, 60);
  EXPECT_EQ(SQLDATETIME, 61);
  EXPECT_EQ(SQLBINARY, 45);
  EXPECT_EQ(SQLVARBINARY, 37);
  EXPECT_EQ(SQLIMAGE, 34);
  EXPECT_EQ(SQLTEXT, 35);
  EXPECT_EQ(SQLDECIMAL, 106);
  EXPECT_EQ(SQLNUMERIC, 108);
}

}  // namespace
