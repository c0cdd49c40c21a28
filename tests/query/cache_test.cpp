// The record cache against real results: the open-time fill and its limit,
// lazy reading and the record count estimate, the ends of the data,
// bookmarks and record numbers, and the record layout.

#include <cstring>
#include <string>

#include "framework/datasource.h"

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "query_fixture.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

class CacheTest : public QueryTest {};

TEST_F(CacheTest, CacheMaxRecordsStopsTheFillAndGivesTheConnectionBack) {
  MakeNumbers("q_limit", 25);
  TTessel* query = NewQuery("SELECT id FROM q_limit ORDER BY id");
  query->SetCacheAllRecords(true);
  query->SetCacheMaxRecords(10);
  query->Open();
  EXPECT_EQ(query->RecordCache().Count(), 10);
  EXPECT_TRUE(query->AllFetched());
  EXPECT_EQ(query->DBProcess(), nullptr);
  EXPECT_EQ(query->RecordCount(), 10);
  query->Last();
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 10);
  // The base connection is usable again: the rest of the result was cancelled.
  EXPECT_EQ(Rows(server->GetBaseProcess(), "SELECT COUNT(*) FROM q_limit"),
            (std::vector<std::string>{"25"}));

  query->Close();
  query->SetCacheMaxRecords(0);
  query->Open();
  EXPECT_EQ(query->RecordCache().Count(), 25);
  EXPECT_TRUE(query->AllFetched());
}

TEST_F(CacheTest, LazyReadingEstimatesTheCountUntilEverythingIsRead) {
  MakeNumbers("q_lazy", 25);
  TTessel* query = NewQuery("SELECT id FROM q_lazy ORDER BY id");
  query->Open();
  EXPECT_FALSE(query->AllFetched());
  while (query->RecordCache().Count() < 20) query->Next();
  EXPECT_EQ(query->RecordCount(), 40);
  query->Last();
  EXPECT_EQ(query->RecordCount(), 25);
  EXPECT_EQ(query->RecNo(), 25);
}

TEST_F(CacheTest, TheEndsOfTheData) {
  MakeNumbers("q_ends", 3);
  TTessel* query = NewQuery("SELECT id FROM q_ends ORDER BY id");
  query->Open();
  EXPECT_TRUE(query->Bof());
  query->Prior();
  EXPECT_TRUE(query->Bof());
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 1);
  query->Next();
  query->Next();
  EXPECT_FALSE(query->Eof());
  query->Next();
  EXPECT_TRUE(query->Eof());
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 3);
  EXPECT_EQ(query->CurrentIndex(), 3) << "the end of the data leaves the cursor on the last record";
  query->Next();
  EXPECT_TRUE(query->Eof());
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 3);
}

// A control showing several rows at once makes the framework keep a window
// of buffers and move the cursor between them.
class WindowLink : public TDataLink {
 public:
  explicit WindowLink(int rows) { SetBufferCount(rows); }
};

TEST_F(CacheTest, AWindowOfSeveralBuffersSeesTheSameRows) {
  MakeNumbers("q_window", 12);
  TTessel* query = NewQuery("SELECT id FROM q_window ORDER BY id");
  TDataSource source(nullptr);
  source.SetDataSet(query);
  WindowLink link(5);
  link.SetDataSource(&source);
  query->Open();
  std::vector<std::string> expected;
  for (int i = 1; i <= 12; ++i) expected.push_back(std::to_string(i));
  EXPECT_EQ(Column(*query, "id"), expected);
  std::vector<std::string> backwards;
  for (query->Last(); !query->Bof(); query->Prior()) {
    backwards.push_back(query->FieldByName("id")->AsString());
  }
  EXPECT_EQ(backwards, std::vector<std::string>(expected.rbegin(), expected.rend()));
  query->SetRecNo(7);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 7);
  EXPECT_EQ(query->RecNo(), 7);
  link.SetDataSource(nullptr);
}

TEST_F(CacheTest, EmptyResult) {
  MakeNumbers("q_empty", 0);
  TTessel* query = NewQuery("SELECT id FROM q_empty");
  query->Open();
  EXPECT_TRUE(query->IsEmpty());
  EXPECT_TRUE(query->Eof());
  EXPECT_EQ(query->RecordCount(), 0);
  EXPECT_EQ(query->ReadAhead(), 0);
}

TEST_F(CacheTest, BookmarksAndRecordNumbers) {
  MakeNumbers("q_marks", 6);
  TTessel* query = NewQuery("SELECT id FROM q_marks ORDER BY id");
  query->SetCacheAllRecords(true);
  query->Open();
  EXPECT_EQ(query->RecNo(), 1);
  query->MoveBy(2);
  const TBookmark third = query->GetBookmark();
  query->Next();
  const TBookmark fourth = query->GetBookmark();
  EXPECT_EQ(query->RecNo(), 4);
  EXPECT_EQ(query->CompareBookmarks(third.data(), fourth.data()), 1);
  EXPECT_EQ(query->CompareBookmarks(fourth.data(), third.data()), 1);
  EXPECT_EQ(query->CompareBookmarks(third.data(), third.data()), 0);
  EXPECT_EQ(query->CompareBookmarks(nullptr, nullptr), 0);
  EXPECT_EQ(query->CompareBookmarks(third.data(), nullptr), 1);
  query->Last();
  query->GotoBookmark(third);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 3);
  query->SetRecNo(5);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 5);
  query->SetRecNo(0);
  query->SetRecNo(7);
  EXPECT_EQ(query->RecNo(), 5);
  const TBookmark missing{'\x63', 0, 0, 0};
  try {
    query->GotoBookmark(missing);
    FAIL() << "a bookmark of no record was found";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), SBookmarkNotFound.str());
  }
}

TEST_F(CacheTest, ReadAheadReadsInSlicesAndStopsAtTheEnd) {
  MakeNumbers("q_ahead", 40);
  TTessel* query = NewQuery("SELECT id FROM q_ahead ORDER BY id");
  query->Open();
  int read = 0;
  for (int calls = 0; calls < 100 && !query->AllFetched(); ++calls) read += query->ReadAhead();
  EXPECT_TRUE(query->AllFetched());
  EXPECT_EQ(query->RecordCache().Count(), 40);
  EXPECT_EQ(read, 39);
  EXPECT_EQ(query->ReadAhead(), 0);
  EXPECT_EQ(Column(*query, "id").size(), 40u);
}

TEST_F(CacheTest, SlotsFollowTheColumnsInOrder) {
  MakeTable("q_layout", "a int NOT NULL, b char(10) NOT NULL, c datetime NULL, d text NULL",
            {"(1, 'abc', '19990305 10:11:12', 'memo')"});
  TTessel* query = NewQuery("SELECT a, b, c, d, a + 1 FROM q_layout");
  query->Open();
  EXPECT_EQ(query->FieldOffset(1), 0);
  EXPECT_EQ(query->FieldOffset(2), 6);
  // char(10) arrives in UTF-8, up to four bytes a character: a 40-byte column.
  EXPECT_EQ(query->FieldOffset(3), 48);
  EXPECT_EQ(query->FieldOffset(4), 58);
  EXPECT_EQ(query->FieldOffset(5), 92);
  EXPECT_EQ(query->RecordSize(), 98);
  EXPECT_EQ(query->BlobSlotsOffset(), 98);
  EXPECT_EQ(query->BookmarkOffset(), 102);
  EXPECT_EQ(query->RecordBufferSize(), 108);

  TFieldDefs& defs = *query->FieldDefs();
  ASSERT_EQ(defs.Count(), 5);
  EXPECT_EQ(defs[0]->DataType(), ftInteger);
  EXPECT_TRUE(defs[0]->Required());
  EXPECT_EQ(defs[1]->DataType(), ftString);
  EXPECT_EQ(defs[1]->Size(), 40);
  EXPECT_TRUE(defs[1]->Required());
  EXPECT_EQ(defs[2]->DataType(), ftDateTime);
  EXPECT_EQ(defs[2]->Size(), 0);
  EXPECT_FALSE(defs[2]->Required());
  EXPECT_EQ(defs[3]->DataType(), ftMemo);
  EXPECT_EQ(defs[3]->Size(), 0);
  EXPECT_FALSE(defs[3]->Required());
  EXPECT_EQ(defs[4]->Name(), "Field5");
  EXPECT_EQ(defs[4]->FieldNo(), 5);
  EXPECT_EQ(query->FieldByName("c")->AsDateTime(),
            EncodeDate(1999, 3, 5) + EncodeTime(10, 11, 12, 0));
}

// A record holds its own row's bytes only, in memory new or left by an
// earlier fill: past a text's end its value area is zero, where a longer
// value of another row was before.
TEST_F(CacheTest, RecordsHoldNothingOfOtherRows) {
  std::string values;
  for (int id = 1; id <= 1200; ++id) {
    values += (id == 1 ? "(" : ",(") + std::to_string(id) + ", '" +
              (id % 2 == 1 ? std::string(30, 'x') : std::string("ab")) + "')";
  }
  MakeTable("q_stale", "id int NOT NULL, name varchar(30) NULL", {values});
  TTessel* query = NewQuery("SELECT id, name FROM q_stale ORDER BY id");
  query->SetCacheAllRecords(true);
  for (const bool odd_rows : {true, false}) {
    SCOPED_TRACE(odd_rows ? "every row" : "short names only, after a close");
    if (!odd_rows) query->SQL()->SetText("SELECT id, name FROM q_stale WHERE id % 2 = 0");
    query->Open();
    const TlqBuffers& cache = query->RecordCache();
    ASSERT_EQ(cache.Count(), odd_rows ? 1200 : 600);
    const int slot = query->FieldOffset(2);
    const int area = query->RecordSize() - slot - 1;
    for (int i = 1; i <= cache.Count(); ++i) {
      const char* value = cache.GetBuffer(i) + slot + 1;
      const std::string text(value, strnlen(value, static_cast<std::size_t>(area)));
      ASSERT_EQ(text, odd_rows && i % 2 == 1 ? std::string(30, 'x') : "ab") << "record " << i;
      const std::string rest(value + text.size(), value + area);
      ASSERT_EQ(rest, std::string(rest.size(), '\0')) << "record " << i;
    }
    query->Close();
  }
}

TEST_F(CacheTest, StatementWithoutRowsHasNoFields) {
  MakeNumbers("q_norows", 2);
  TTessel* query = NewQuery("UPDATE q_norows SET name = name");
  query->Open();
  EXPECT_EQ(query->FieldDefs()->Count(), 0);
  EXPECT_EQ(query->RecordSize(), 0);
  EXPECT_TRUE(query->IsEmpty());
}

TEST_F(CacheTest, TooManyColumnsAreRefused) {
  std::string select = "SELECT 1 AS c1";
  for (int i = 2; i <= 513; ++i) select += ", 1 AS c" + std::to_string(i);
  TTessel* query = NewQuery(select);
  try {
    query->Open();
    FAIL() << "a result of 513 columns was accepted";
  } catch (const ElqSQLError& e) {
    ADD_FAILURE() << "the server refused 513 columns: " << e.ErrorMessage();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("513"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(query->Active());
}

TEST_F(CacheTest, TooLargeADataAreaIsRefused) {
  TTessel* query = NewQuery(
      "SELECT CAST('a' AS char(8000)) AS a, CAST('b' AS char(8000)) AS b, "
      "CAST('c' AS char(8000)) AS c, CAST('d' AS char(8000)) AS d, "
      "CAST('e' AS char(8000)) AS e, CAST('f' AS char(8000)) AS f, "
      "CAST('g' AS char(8000)) AS g, CAST('h' AS char(8000)) AS h, "
      "CAST('i' AS char(8000)) AS i");
  try {
    query->Open();
    FAIL() << "a data area of 72,018 bytes was accepted";
  } catch (const ElqSQLError& e) {
    ADD_FAILURE() << "the server refused the statement: " << e.ErrorMessage();
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("65535"), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(query->Active());
}

}  // namespace
}  // namespace tessel::testing
