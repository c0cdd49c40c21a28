// The types of servers of 2008 and later: dates and times in date-time fields
// to the millisecond, datetimeoffset as its exact text, uniqueidentifier as a
// braced string, and the (max) types as memo and blob fields whose values come
// with the row. Each is read over the wire and written back by posting.

#include <memory>
#include <string>
#include <vector>

#include "columns_fixture.h"
#include "framework/field_kinds.h"
#include "framework/streams.h"
#include "framework/sysutils.h"

namespace tessel::testing {
namespace {

using Lines = std::vector<std::string>;

class NewerTypesTest : public ColumnsTest {
 protected:
  // A fully read query over `table` ordered by k that posts `columns` by the key k.
  TTessel* OpenEditable(const std::string& table, const std::string& columns) {
    std::string update = "k\n";
    for (char c : columns) {
      if (c != ' ') update += c == ',' ? '\n' : c;
    }
    return EditableQuery("SELECT k, " + columns + " FROM " + table + " ORDER BY k", table, "k",
                         update);
  }
};

// The day (0001-01-01 = 1) and millisecond of a field's value.
TTimeStamp Stamp(const TField* field) {
  return DateTimeToTimeStamp(field->AsDateTime());
}

std::int32_t Day(int year, int month, int day) {
  return DateTimeToTimeStamp(EncodeDate(year, month, day)).Date;
}

constexpr std::int32_t Ms(int h, int m, int s, int ms) {
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

// Up to three fraction digits a time or datetime2 column is a time or
// date-time field; past them the field holds the exact text, which a
// date-time field would cut to the millisecond.
TEST_F(NewerTypesTest, DatesAndTimesKeepEveryDigit) {
  MakeTypedTable(
      "c_dates",
      "k int, d date NULL, t time NULL, t0 time(0) NULL, dt datetime2 NULL, dt3 datetime2(3) NULL",
      {"(1, '2024-05-06', '12:34:56.1234567', '23:59:59', '2024-05-06 12:34:56.1239999', "
       "'2024-05-06 12:34:56.123')",
       "(2, '0001-01-01', '00:00:00', '00:00:00', '0001-01-01 00:00:00.0010000', "
       "'0001-01-01 00:00:00.001')",
       "(3, '9999-12-31', '23:59:59.9999999', NULL, '9999-12-31 23:59:59.9999999', NULL)",
       "(4, NULL, NULL, NULL, NULL, NULL)"});
  if (IsSkipped()) return;
  TTessel* query = NewQuery("SELECT d, t, t0, dt, dt3 FROM c_dates ORDER BY k");
  query->SetCacheAllRecords(true);
  query->Open();
  TField* d = query->FieldByName("d");
  TField* t0 = query->FieldByName("t0");
  TField* dt3 = query->FieldByName("dt3");
  EXPECT_NE(dynamic_cast<TDateField*>(d), nullptr);
  EXPECT_NE(dynamic_cast<TTimeField*>(t0), nullptr);
  EXPECT_NE(dynamic_cast<TDateTimeField*>(dt3), nullptr);
  EXPECT_EQ(query->FieldByName("t")->DataType(), ftString);
  EXPECT_EQ(query->FieldByName("dt")->DataType(), ftString);
  EXPECT_EQ(Column(*query, "t"),
            (Lines{"12:34:56.1234567", "00:00:00.0000000", "23:59:59.9999999", ""}));
  EXPECT_EQ(Column(*query, "dt"),
            (Lines{"2024-05-06 12:34:56.1239999", "0001-01-01 00:00:00.0010000",
                   "9999-12-31 23:59:59.9999999", ""}));
  query->First();
  EXPECT_EQ(Stamp(d).Date, Day(2024, 5, 6));
  EXPECT_EQ(Stamp(t0).Time, Ms(23, 59, 59, 0));
  EXPECT_EQ(Stamp(dt3).Time, Ms(12, 34, 56, 123));
  query->Next();
  // Before 1753, where a datetime cannot go.
  EXPECT_EQ(Stamp(d).Date, 1);
  EXPECT_EQ(Stamp(dt3).Date, 1);
  EXPECT_EQ(Stamp(dt3).Time, 1);
  query->Next();
  EXPECT_EQ(Stamp(d).Date, Day(9999, 12, 31));
  EXPECT_TRUE(t0->IsNull());
  query->Next();
  for (TField* field : {d, t0, dt3}) EXPECT_TRUE(field->IsNull()) << field->FieldName();
  query->SortField("d", soDescending);
  query->First();
  EXPECT_EQ(Stamp(d).Date, Day(9999, 12, 31));
}

TEST_F(NewerTypesTest, DatesAndTimesAreWrittenBack) {
  MakeTypedTable("c_datepost",
                 "k int PRIMARY KEY, d date NULL, t time NULL, dt datetime2 NULL, "
                 "dt3 datetime2(3) NULL",
                 {"(1, '2024-05-06', '12:34:56', '2024-05-06 12:34:56', '2024-05-06 12:34:56')"});
  if (IsSkipped()) return;
  TTessel* query = OpenEditable("c_datepost", "d, t, dt, dt3");
  query->Edit();
  query->FieldByName("d")->SetAsDateTime(EncodeDate(2000, 2, 29));
  query->FieldByName("t")->SetAsString("07:08:09.1234567");
  query->FieldByName("dt")->SetAsString("1899-01-02 03:04:05.0000001");
  query->FieldByName("dt3")->SetAsDateTime(
      TimeStampToDateTime(TTimeStamp{Ms(3, 4, 5, 7), Day(1899, 1, 2)}));
  query->Post();
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM c_datepost WHERE d = '2000-02-29' AND "
                       "t = '07:08:09.1234567' AND dt = '1899-01-02 03:04:05.0000001' AND "
                       "dt3 = '1899-01-02 03:04:05.007'"),
            Lines{"1"});
}

TEST_F(NewerTypesTest, DateTimeOffsetIsItsExactText) {
  MakeTypedTable(
      "c_offset", "k int PRIMARY KEY, v datetimeoffset NULL, v0 datetimeoffset(0) NULL",
      {"(1, '2024-05-06 12:34:56.1234567 +02:30', '2024-01-01 22:30:00 -05:00')",
       "(2, '2024-05-06 00:10:00.5 +14:00', '0001-01-01 00:00:00 +00:00')", "(3, NULL, NULL)"});
  if (IsSkipped()) return;
  TTessel* query = OpenEditable("c_offset", "v, v0");
  TField* v = query->FieldByName("v");
  TField* v0 = query->FieldByName("v0");
  ASSERT_EQ(v->DataType(), ftString);
  EXPECT_EQ(v->Size(), 34);
  // The local time and the offset as stored; the server keeps the time in
  // UTC, so a local time across midnight from UTC tests the move back.
  EXPECT_EQ(Column(*query, "v"), (Lines{"2024-05-06 12:34:56.1234567 +02:30",
                                        "2024-05-06 00:10:00.5000000 +14:00", ""}));
  EXPECT_EQ(Column(*query, "v0"),
            (Lines{"2024-01-01 22:30:00 -05:00", "0001-01-01 00:00:00 +00:00", ""}));
  query->First();
  query->Edit();
  v->SetAsString("2025-02-03 04:05:06.7000000 -01:00");
  query->Post();
  query->Last();
  query->Edit();
  v0->SetAsString("2030-12-31 23:59:59 +01:00");
  query->Post();
  EXPECT_EQ(ServerRows("SELECT k FROM c_offset WHERE "
                       "v = CAST('2025-02-03 04:05:06.7 -01:00' AS datetimeoffset) OR "
                       "v0 = CAST('2030-12-31 23:59:59 +01:00' AS datetimeoffset) ORDER BY k"),
            (Lines{"1", "3"}));
}

TEST_F(NewerTypesTest, UniqueidentifierIsABracedString) {
  MakeTypedTable("c_guid", "k int PRIMARY KEY, g uniqueidentifier NULL",
                 {"(1, '6F9619FF-8B86-D011-B42D-00C04FC964FF')", "(2, NULL)"});
  if (IsSkipped()) return;
  TTessel* query = OpenEditable("c_guid", "g");
  TField* g = query->FieldByName("g");
  ASSERT_EQ(g->DataType(), ftString);
  EXPECT_EQ(g->Size(), 38);
  EXPECT_EQ(Column(*query, "g"), (Lines{"{6F9619FF-8B86-D011-B42D-00C04FC964FF}", ""}));
  query->Last();
  query->Edit();
  g->SetAsString("{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}");
  query->Post();
  EXPECT_EQ(ServerRows("SELECT k FROM c_guid WHERE g = 'A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11'"),
            Lines{"2"});
}

std::string Pattern(std::size_t length, char first) {
  std::string text(length, ' ');
  for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(first + i % 23);
  return text;
}

TEST_F(NewerTypesTest, MaxColumnsAreMemoAndBlobFieldsWithTheirValues) {
  MakeTypedTable("c_max",
                 "k int PRIMARY KEY, a varchar(max) NULL, n nvarchar(max) NULL, "
                 "b varbinary(max) NULL",
                 {"(1, REPLICATE(CAST('ab' AS varchar(max)), 6000), N'short', 0x00FF10)",
                  "(2, NULL, NULL, NULL)"});
  if (IsSkipped()) return;
  TTessel* query = OpenEditable("c_max", "a, n, b");
  // The row is found by its key alone: SQL Server compares no large values.
  query->UpdateParams()->SetUpdateMode(upWhereKeyOnly);
  TField* a = query->FieldByName("a");
  TField* n = query->FieldByName("n");
  TField* b = query->FieldByName("b");
  EXPECT_EQ(a->DataType(), ftMemo);
  EXPECT_EQ(n->DataType(), ftMemo);
  EXPECT_EQ(b->DataType(), ftBlob);
  std::string expected;
  for (int i = 0; i < 6000; ++i) expected += "ab";
  EXPECT_TRUE(a->AsString() == expected) << a->AsString().size();
  EXPECT_EQ(n->AsString(), "short");
  {
    std::unique_ptr<TStream> stream = query->CreateBlobStream(b, bmRead);
    ASSERT_EQ(stream->Size(), 3);
    unsigned char bytes[3] = {};
    stream->ReadBuffer(bytes, 3);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_EQ(bytes[1], 0xFF);
    EXPECT_EQ(bytes[2], 0x10);
  }
  // A cancelled edit leaves the value as read.
  query->Edit();
  a->SetAsString("changed");
  query->Cancel();
  EXPECT_TRUE(a->AsString() == expected) << a->AsString().substr(0, 20);
  query->Next();
  EXPECT_TRUE(a->IsNull());
  EXPECT_TRUE(b->IsNull());

  // Written back: longer than any sized column, and a null made a value.
  const std::string written = Pattern(9000, 'A');
  query->First();
  query->Edit();
  a->SetAsString(written);
  query->Post();
  query->Last();
  query->Edit();
  n->SetAsString("filled");
  b->SetAsString(std::string("\x01\x02", 2));
  query->Post();
  EXPECT_EQ(ServerRows("SELECT LEN(a) FROM c_max WHERE k = 1"), Lines{"9000"});
  EXPECT_EQ(ServerRows("SELECT SUBSTRING(a, 8990, 11) FROM c_max WHERE k = 1"),
            Lines{written.substr(8989)});
  EXPECT_EQ(ServerRows("SELECT n FROM c_max WHERE k = 2"), Lines{"filled"});
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM c_max WHERE k = 2 AND b = 0x0102"), Lines{"1"});
  // What a fresh read finds.
  query->Close();
  query->Open();
  EXPECT_TRUE(query->FieldByName("a")->AsString() == written);
}

// An xml column is a memo field holding the document with every character,
// past any sized column's length; what is posted to it reads back whole.
TEST_F(NewerTypesTest, XmlColumnsAreMemoFieldsThatRoundTrip) {
  const std::string doc = "<d t=\"\xC3\xA9\xE2\x82\xAC\">\xD0\xB6" + Pattern(9000, 'a') + "</d>";
  MakeTypedTable("c_xml", "k int PRIMARY KEY, x xml NULL",
                 {"(1, N'" + doc + "')", "(2, NULL)", "(3, '<old/>')"});
  if (IsSkipped()) return;
  TTessel* query = OpenEditable("c_xml", "x");
  query->UpdateParams()->SetUpdateMode(upWhereKeyOnly);
  TField* x = query->FieldByName("x");
  EXPECT_EQ(x->DataType(), ftMemo);
  EXPECT_TRUE(x->AsString() == doc) << x->AsString().substr(0, 20);
  query->Next();
  EXPECT_TRUE(x->IsNull());
  query->First();

  const std::string written = "<w>\xD0\xB6" + Pattern(5000, 'A') + "</w>";
  query->Edit();
  x->SetAsString(written);
  query->Post();
  query->Last();
  query->Edit();
  x->Clear();
  query->Post();
  EXPECT_EQ(ServerRows("SELECT k FROM c_xml WHERE x IS NULL ORDER BY k"), (Lines{"2", "3"}));
  query->Close();
  query->Open();
  EXPECT_TRUE(query->FieldByName("x")->AsString() == written);
}

}  // namespace
}  // namespace tessel::testing
