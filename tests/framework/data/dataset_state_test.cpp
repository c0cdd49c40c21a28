// The state machine: open and close, editing with its events, the error loop
// of post, edit and delete, required fields.

#include <gtest/gtest.h>

#include "framework/data_consts.h"
#include "mem_dataset.h"

namespace tessel::test {
namespace {

using Log = std::vector<std::string>;

void Record(TMemDataSet& ds, Log& log) {
  auto add = [&log](const char* name) { return [&log, name](TDataSet*) { log.push_back(name); }; };
  ds.BeforeOpen = add("BeforeOpen");
  ds.AfterOpen = add("AfterOpen");
  ds.BeforeClose = add("BeforeClose");
  ds.AfterClose = add("AfterClose");
  ds.BeforeInsert = add("BeforeInsert");
  ds.AfterInsert = add("AfterInsert");
  ds.BeforeEdit = add("BeforeEdit");
  ds.AfterEdit = add("AfterEdit");
  ds.BeforePost = add("BeforePost");
  ds.AfterPost = add("AfterPost");
  ds.BeforeCancel = add("BeforeCancel");
  ds.AfterCancel = add("AfterCancel");
  ds.BeforeDelete = add("BeforeDelete");
  ds.AfterDelete = add("AfterDelete");
  ds.BeforeScroll = add("BeforeScroll");
  ds.AfterScroll = add("AfterScroll");
  ds.OnNewRecord = add("OnNewRecord");
}

TEST(DataSetState, OpenCloseAndEventOrder) {
  TMemDataSet ds(nullptr, {{"ID", ftInteger}});
  Log log;
  Record(ds, log);
  EXPECT_EQ(ds.State(), dsInactive);
  ds.Open();
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.DefaultFields());
  ASSERT_EQ(ds.FieldCount(), 1);
  ds.Close();
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_EQ(ds.FieldCount(), 0) << "default fields go with the cursor";
  EXPECT_EQ(log, (Log{"BeforeOpen", "AfterOpen", "BeforeClose", "AfterClose"}));
}

TEST(DataSetState, InsertEditPostCancelDelete) {
  auto ds = MakePeople(3);
  Log log;
  Record(*ds, log);

  ds->Edit();
  EXPECT_EQ(ds->State(), dsEdit);
  ds->FieldByName("NAME")->SetAsString("changed");
  EXPECT_TRUE(ds->Modified());
  ds->Post();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "changed");
  EXPECT_EQ(log, (Log{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}));

  log.clear();
  ds->Next();
  ds->Insert();
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
  ds->FieldByName("ID")->SetAsInteger(99);
  ds->Cancel();
  EXPECT_EQ(ds->RowCount(), 3);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2) << "cancel returns to the record";
  EXPECT_EQ(log, (Log{"BeforeScroll", "AfterScroll", "BeforeInsert", "OnNewRecord", "AfterInsert",
                      "BeforeCancel", "BeforeScroll", "AfterCancel", "AfterScroll"}));

  ds->Insert();
  ds->FieldByName("ID")->SetAsInteger(99);
  ds->Post();
  EXPECT_EQ(ds->RowCount(), 4);
  EXPECT_EQ(ds->RecNo(), 2) << "inserted before the record that was current";
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 99);

  log.clear();
  ds->Delete();
  EXPECT_EQ(ds->RowCount(), 3);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2) << "the next record becomes current";
  EXPECT_EQ(log, (Log{"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));

  ds->Append();
  ds->FieldByName("ID")->SetAsInteger(50);
  ds->Post();
  ds->Last();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 50);
}

TEST(DataSetState, EditOfEmptyDataSetInsertsAndReadOnlyRefuses) {
  auto ds = MakePeople(0);
  ds->Edit();
  EXPECT_EQ(ds->State(), dsInsert);
  ds->Cancel();
  EXPECT_TRUE(ds->IsEmpty());

  ds->read_only = true;
  EXPECT_THROW(ds->Insert(), EDatabaseError);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_THROW(ds->Delete(), EDatabaseError) << "empty dataset";
}

// A dataset opened on a statement without a result has no fields and no
// record to hold a new one: insert, append and edit refuse it, and it stays
// in browse mode.
TEST(DataSetState, DataSetWithoutFieldsRefusesInsertAndEdit) {
  TMemDataSet ds(nullptr, {});
  ds.Open();
  ASSERT_EQ(ds.FieldCount(), 0);
  for (void (TDataSet::*operation)() : {&TDataSet::Insert, &TDataSet::Append, &TDataSet::Edit}) {
    try {
      (ds.*operation)();
      ADD_FAILURE() << "no error";
    } catch (const EDatabaseError& error) {
      EXPECT_NE(std::string(error.what()).find("no fields"), std::string::npos) << error.what();
    }
    EXPECT_EQ(ds.State(), dsBrowse);
  }
}

TEST(DataSetState, WritesOutsideEditModesAndClosedOperationsRaise) {
  auto ds = MakePeople(2);
  EXPECT_THROW(ds->FieldByName("ID")->SetAsInteger(5), EDatabaseError);
  EXPECT_THROW(ds->Post(), EDatabaseError);
  ds->Close();
  EXPECT_THROW(ds->Next(), EDatabaseError);
  EXPECT_THROW(ds->Edit(), EDatabaseError);
}

TEST(DataSetState, CheckBrowseModePostsModifiedAndCancelsUntouched) {
  auto ds = MakePeople(2);
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("kept");
  ds->Next();  // leaves the record through CheckBrowseMode
  EXPECT_EQ(ds->State(), dsBrowse);
  ds->First();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "kept");

  ds->Insert();
  ds->CheckBrowseMode();
  EXPECT_EQ(ds->RowCount(), 2) << "an untouched insert is cancelled";
}

TEST(DataSetState, RequiredFieldMustHaveValue) {
  auto ds = MakePeople(1);
  ds->Append();
  ds->FieldByName("NAME")->SetAsString("nobody");
  try {
    ds->Post();
    FAIL() << "post of a null required field";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'ID' must have a value");
  }
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "nobody");
}

TEST(DataSetState, PostErrorLoopRetriesFailsAndAborts) {
  auto ds = MakePeople(2);
  int offered = 0;
  TDataAction answer = daRetry;
  ds->OnPostError = [&](TDataSet* sender, EDatabaseError& e, TDataAction& action) {
    EXPECT_EQ(sender, ds.get());
    EXPECT_EQ(e.Message(), "Post failed");
    EXPECT_EQ(action, daFail);
    ++offered;
    action = answer;
  };

  ds->fail_posts = 2;
  ds->post_attempts = 0;
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("retried");
  ds->Post();
  EXPECT_EQ(offered, 2);
  EXPECT_EQ(ds->post_attempts, 3);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "retried");

  answer = daFail;
  ds->fail_posts = 1;
  ds->Edit();
  ds->FieldByName("NAME")->SetAsString("failed");
  EXPECT_THROW(ds->Post(), EDatabaseError);
  EXPECT_EQ(ds->State(), dsEdit) << "a failed post keeps the edit";
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "failed");

  answer = daAbort;
  ds->fail_posts = 1;
  EXPECT_THROW(ds->Post(), EAbort);
  EXPECT_EQ(ds->State(), dsEdit);
  ds->Cancel();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "retried");
}

TEST(DataSetState, DeleteErrorLoop) {
  auto ds = MakePeople(3);
  ds->fail_deletes = 1;
  EXPECT_THROW(ds->Delete(), EDatabaseError) << "no handler: the error passes";
  EXPECT_EQ(ds->RowCount(), 3);
  ds->fail_deletes = 1;
  ds->OnDeleteError = [](TDataSet*, EDatabaseError&, TDataAction& action) { action = daRetry; };
  ds->Delete();
  EXPECT_EQ(ds->RowCount(), 2);
}

TEST(DataSetState, NewRecordDefaultsAndFailingNewRecordHandler) {
  auto ds = MakePeople(2);
  ds->OnNewRecord = [](TDataSet* d) { d->FieldByName("NAME")->SetAsString("fresh"); };
  ds->Insert();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "fresh");
  EXPECT_FALSE(ds->Modified()) << "values set by OnNewRecord do not count as edits";
  ds->Cancel();

  ds->OnNewRecord = [](TDataSet*) { DatabaseError("no new records"); };
  EXPECT_THROW(ds->Append(), EDatabaseError);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->RowCount(), 2);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 2) << "the append had moved to the end";
}

TEST(DataSetState, RecordsFromValueListsAndClearFields) {
  auto ds = MakePeople(2);
  ds->AppendRecord({Variant(3), Variant("three")});
  EXPECT_EQ(ds->RowCount(), 3);
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "three");
  ds->First();
  ds->InsertRecord({Variant(0), Variant(), Variant(1.5)});
  EXPECT_EQ(ds->RecNo(), 1);
  EXPECT_TRUE(ds->FieldByName("NAME")->IsNull()) << "Unassigned leaves the field alone";
  EXPECT_EQ(ds->FieldByName("AMOUNT")->AsFloat(), 1.5);
  EXPECT_THROW(ds->AppendRecord({Variant("x")}), EDatabaseError);
  EXPECT_EQ(ds->State(), dsInsert) << "the failed value leaves the insert open";
  ds->Cancel();

  EXPECT_THROW(ds->ClearFields(), EDatabaseError);
  ds->Edit();
  ds->ClearFields();
  EXPECT_TRUE(ds->FieldByName("ID")->IsNull());
  EXPECT_TRUE(ds->FieldByName("AMOUNT")->IsNull());
  ds->Cancel();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3) << "cancel restores the record";
}

TEST(DataSetState, FailedOpenLeavesDataSetClosed) {
  TMemDataSet ds(nullptr, {{"ID", ftInteger}, {"ID", ftInteger}});
  EXPECT_THROW(ds.Open(), EDatabaseError) << "duplicate field name";
  EXPECT_EQ(ds.State(), dsInactive);
  EXPECT_EQ(ds.FieldCount(), 0);
  ds.columns.pop_back();
  ds.Open();
  EXPECT_TRUE(ds.Active());
}

}  // namespace
}  // namespace tessel::test
