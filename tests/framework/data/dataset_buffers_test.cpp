// The buffer window with a data link of BufferCount 5: scrolling down and up,
// a centred resync, bookmarks, and record numbers.

#include <gtest/gtest.h>

#include <algorithm>

#include "mem_dataset.h"

namespace tessel::test {
namespace {

// Ids of the records in the link's window, in window order.
std::vector<int> WindowIds(TMemDataSet& ds, const TDataLink& link) {
  std::vector<int> ids;
  for (int i = 0; i < link.RecordCount(); ++i) ids.push_back(ds.BufferId(link.FirstRecord() + i));
  return ids;
}

class BufferWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ds = MakePeople(20);
    source = std::make_unique<TDataSource>(nullptr);
    source->SetDataSet(ds.get());
    link.SetDataSource(source.get());
    link.SetBufferCount(5);
  }
  int CurrentId() { return ds->FieldByName("ID")->AsInteger(); }

  std::unique_ptr<TMemDataSet> ds;
  std::unique_ptr<TDataSource> source;
  TRecordingLink link;
};

TEST_F(BufferWindow, LinkBufferCountSizesTheWindow) {
  EXPECT_EQ(ds->BufferCount(), 5);
  EXPECT_EQ(ds->BufferedRecords(), 5);
  EXPECT_EQ(link.ActiveRecord(), 0);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{1, 2, 3, 4, 5}));

  link.SetBufferCount(2);
  EXPECT_EQ(ds->BufferCount(), 2);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{1, 2}));
  link.SetBufferCount(5);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{1, 2, 3, 4, 5}));

  // Shrinking while the active record is at the bottom keeps it in the window.
  ds->MoveBy(7);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{4, 5, 6, 7, 8}));
  link.SetBufferCount(2);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{7, 8}));
  EXPECT_EQ(link.ActiveRecord(), 1);
  EXPECT_EQ(CurrentId(), 8);
  ds->Next();
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{8, 9}));
}

TEST_F(BufferWindow, ScrollingDownThenUp) {
  for (int i = 1; i <= 4; ++i) {
    ds->Next();
    EXPECT_EQ(link.ActiveRecord(), i);
    EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{1, 2, 3, 4, 5}));
  }
  link.scroll_distances.clear();
  ds->Next();  // past the window: the buffers shift by one
  EXPECT_EQ(CurrentId(), 6);
  EXPECT_EQ(link.ActiveRecord(), 4);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{2, 3, 4, 5, 6}));
  EXPECT_EQ(link.scroll_distances, std::vector<int>{1});

  EXPECT_EQ(ds->MoveBy(14), 14);
  EXPECT_EQ(CurrentId(), 20);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{16, 17, 18, 19, 20}));
  EXPECT_FALSE(ds->Eof());
  ds->Next();
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(CurrentId(), 20);

  // Up: the active record walks to the top of the window, then the window follows.
  for (int i = 3; i >= 0; --i) {
    ds->Prior();
    EXPECT_EQ(link.ActiveRecord(), i);
  }
  ds->Prior();
  EXPECT_EQ(CurrentId(), 15);
  EXPECT_EQ(link.ActiveRecord(), 0);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{15, 16, 17, 18, 19}));
  EXPECT_EQ(ds->MoveBy(-100), -14);
  EXPECT_TRUE(ds->Bof());
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(BufferWindow, LastAndFirstRefillTheWindow) {
  ds->Last();
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(CurrentId(), 20);
  EXPECT_EQ(link.ActiveRecord(), 4);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{16, 17, 18, 19, 20}));
  ds->First();
  EXPECT_TRUE(ds->Bof());
  EXPECT_EQ(link.ActiveRecord(), 0);
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST_F(BufferWindow, BookmarkGotoCentresTheRecord) {
  ds->MoveBy(9);
  TBookmark mark = ds->GetBookmark();
  ASSERT_EQ(mark.size(), 4u);
  ds->First();
  ds->GotoBookmark(mark);
  EXPECT_EQ(CurrentId(), 10);
  EXPECT_EQ(link.ActiveRecord(), 2) << "rmCenter puts it in the middle of 5";
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{8, 9, 10, 11, 12}));
  EXPECT_TRUE(ds->BookmarkValid(mark.data()));

  ds->Last();
  TBookmark last = ds->GetBookmark();
  EXPECT_EQ(ds->CompareBookmarks(mark.data(), mark.data()), 0);
  EXPECT_LT(ds->CompareBookmarks(mark.data(), last.data()), 0);
  ds->FreeBookmark(last);
  EXPECT_TRUE(last.empty());

  // A centred resync near the end keeps the window full.
  ds->GotoBookmark(ds->GetBookmark());
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{16, 17, 18, 19, 20}));
  EXPECT_EQ(link.ActiveRecord(), 4);
}

TEST_F(BufferWindow, BookmarksOfDeletedAndInsertedRecords) {
  ds->MoveBy(3);
  TBookmark mark = ds->GetBookmark();
  ds->Delete();
  EXPECT_FALSE(ds->BookmarkValid(mark.data()));
  EXPECT_THROW(ds->GotoBookmark(mark), EDatabaseError);
  EXPECT_EQ(CurrentId(), 5) << "a failed goto leaves a usable cursor";
  EXPECT_EQ(WindowIds(*ds, link).size(), 5u);

  ds->Insert();
  EXPECT_TRUE(ds->GetBookmark().empty()) << "a record not yet posted has no bookmark";
  ds->Cancel();
}

TEST_F(BufferWindow, GrowingTheWindowDuringAnInsert) {
  ds->MoveBy(4);  // record 5, at the bottom of the window
  ds->Insert();   // pushes record 5 out; the new buffer carries its bookmark
  EXPECT_EQ(link.ActiveRecord(), 4);
  EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
  link.SetBufferCount(7);
  // Record 5 comes back right after the new record, not skipped.
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{1, 2, 3, 4, 5, 5, 6}));
  EXPECT_EQ(link.ActiveRecord(), 4);
  EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
  ds->Cancel();
  EXPECT_EQ(CurrentId(), 5);
}

TEST_F(BufferWindow, RecNoAndRecordCountFollowTheCursor) {
  EXPECT_EQ(ds->RecordCount(), 20);
  ds->MoveBy(7);
  EXPECT_EQ(ds->RecNo(), 8);
  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(100);
  ds->Post();
  EXPECT_EQ(ds->RecNo(), 8);
  EXPECT_EQ(ds->RecordCount(), 21);
  ds->Next();
  EXPECT_EQ(CurrentId(), 8);

  ds->SetRecNo(15);
  EXPECT_EQ(CurrentId(), 14) << "the inserted record shifted the rest";
  EXPECT_EQ(link.ActiveRecord(), 4) << "a plain resync keeps the active row of the window";
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{10, 11, 12, 13, 14}));
}

TEST_F(BufferWindow, WindowAfterInsertAndDeleteAtTheEdges) {
  ds->Last();
  ds->Delete();
  EXPECT_EQ(CurrentId(), 19) << "deleting the last record makes the one before current";
  EXPECT_EQ(WindowIds(*ds, link), (std::vector<int>{15, 16, 17, 18, 19}));
  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(77);
  EXPECT_EQ(link.ActiveRecord(), 4);
  ds->Post();
  EXPECT_EQ(CurrentId(), 77);
  ds->First();
  for (int i = 0; i < 19; ++i) ds->Delete();
  EXPECT_EQ(CurrentId(), 77);
  ds->Delete();
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->Eof() && ds->Bof());
  EXPECT_EQ(link.RecordCount(), 0);
}

TEST(DataSetBuffers, OpenWithoutLinksHasOneBuffer) {
  auto ds = MakePeople(3);
  EXPECT_EQ(ds->BufferCount(), 1);
  int seen = 0;
  while (!ds->Eof()) {
    ++seen;
    ds->Next();
  }
  EXPECT_EQ(seen, 3);
}

}  // namespace
}  // namespace tessel::test

namespace tessel::test {
namespace {

// Random navigation and editing, checking after every step that the window
// holds consecutive rows, the active record lies in it and in the link's
// slice, and RecNo agrees with the table.
TEST(DataSetBuffers, WindowInvariantsUnderRandomOperations) {
  auto ds = MakePeople(12);
  TDataSource source(nullptr);
  source.SetDataSet(ds.get());
  TRecordingLink link;
  link.SetDataSource(&source);
  link.SetBufferCount(4);
  unsigned seed = 12345;
  auto next = [&seed](unsigned n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % n;
  };
  TBookmark mark;
  int new_id = 100;
  for (int step = 0; step < 600; ++step) {
    const unsigned op = next(11);
    SCOPED_TRACE(testing::Message() << "step " << step << " op " << op);
    switch (op) {
      case 0:
        ds->Next();
        break;
      case 1:
        ds->Prior();
        break;
      case 2:
        ds->MoveBy(static_cast<int>(next(9)) - 4);
        break;
      case 3:
        (next(2) ? ds->First() : ds->Last());
        break;
      case 4:
        ds->Insert();
        ds->FieldByName("ID")->SetAsInteger(new_id++);
        if (next(3) == 0)
          ds->Cancel();
        else
          ds->Post();
        break;
      case 5:
        if (!ds->IsEmpty() && ds->RowCount() > 3) ds->Delete();
        break;
      case 6:
        mark = ds->GetBookmark();
        break;
      case 7:
        if (!mark.empty() && ds->BookmarkValid(mark.data())) ds->GotoBookmark(mark);
        break;
      case 8:
        link.SetBufferCount(1 + static_cast<int>(next(6)));
        break;
      case 9:
        ds->SetRecNo(1 + static_cast<int>(next(static_cast<unsigned>(ds->RowCount()))));
        break;
      case 10:
        ds->Append();
        ds->FieldByName("ID")->SetAsInteger(new_id++);
        ds->Post();
        break;
    }
    ASSERT_EQ(ds->BufferedRecords(), std::min(ds->BufferCount(), ds->RowCount()))
        << "the window is always as full as the table allows";
    ASSERT_FALSE(ds->IsEmpty());
    ASSERT_LT(ds->ActiveRecord(), ds->BufferedRecords());
    const std::vector<int> rows = ds->RowIds();
    auto first = std::find(rows.begin(), rows.end(), ds->BufferId(0));
    ASSERT_NE(first, rows.end());
    for (int i = 0; i < ds->BufferedRecords(); ++i, ++first) {
      ASSERT_NE(first, rows.end());
      ASSERT_EQ(ds->BufferId(i), *first) << "buffer " << i;
    }
    ASSERT_LE(link.FirstRecord(), ds->ActiveRecord());
    ASSERT_LT(ds->ActiveRecord(), link.FirstRecord() + link.BufferCount());
    const int active_id = ds->BufferId(ds->ActiveRecord());
    const auto at = std::find(rows.begin(), rows.end(), active_id) - rows.begin();
    ASSERT_EQ(ds->RecNo(), at + 1);
  }
}

}  // namespace
}  // namespace tessel::test
