// The master-detail link against real tables: orders and their lines, the
// detail following the master's moves, opening and closing, parameters the
// master cannot fill, and links that would loop.

#include <memory>
#include <string>
#include <vector>

#include "framework/datasource.h"
#include "framework/exceptions.h"
#include "posting_fixture.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

using Lines = std::vector<std::string>;

class MasterDetail : public PostingTest {
 protected:
  void SetUp() override {
    PostingTest::SetUp();
    if (IsSkipped()) return;
    MakeTable("md_orders", "ID int PRIMARY KEY, customer varchar(20)",
              {"(1, 'ann')", "(2, 'bob')", "(3, 'cy')"});
    MakeTable("md_lines", "line int PRIMARY KEY, MasterID int, item varchar(20)",
              {"(10, 1, 'apple')", "(11, 1, 'pear')", "(20, 2, 'fig')"});
    master = NewQuery("SELECT ID, customer FROM md_orders ORDER BY ID");
    master->SetCacheAllRecords(true);
    source = std::make_unique<TDataSource>(nullptr);
    source->SetDataSet(master);
    detail = NewQuery("SELECT item FROM md_lines WHERE MasterID = :ID ORDER BY line");
    detail->SetCacheAllRecords(true);
    detail->SetDataSource(source.get());
  }
  void TearDown() override {
    PostingTest::TearDown();
    source.reset();
  }

  TTessel* master = nullptr;
  TTessel* detail = nullptr;
  std::unique_ptr<TDataSource> source;
};

TEST_F(MasterDetail, TheDetailFollowsTheMastersRecord) {
  master->Open();
  detail->Open();
  EXPECT_EQ(Column(*detail, "item"), (Lines{"apple", "pear"}));
  int reopened = 0;
  bool disabled_during_reopen = false;
  detail->AfterOpen = [&](TDataSet* data) {
    ++reopened;
    disabled_during_reopen = data->ControlsDisabled();
  };
  master->Next();
  EXPECT_EQ(Column(*detail, "item"), Lines{"fig"});
  EXPECT_TRUE(disabled_during_reopen);
  EXPECT_FALSE(detail->ControlsDisabled());
  master->Next();  // an order without lines
  EXPECT_TRUE(detail->IsEmpty());
  EXPECT_EQ(reopened, 2);

  // Editing a single master field does not move the detail.
  master->UpdateParams()->SetTableName("md_orders");
  master->SetOptions(TOption{LocalEdit});
  master->First();
  master->Edit();
  reopened = 0;
  master->FieldByName("customer")->SetAsString("anne");
  EXPECT_EQ(reopened, 0);
  master->Post();
}

TEST_F(MasterDetail, AMasterWithoutRowsAndAMasterClosedAndReopened) {
  MakeTable("md_empty", "ID int", {});
  TTessel* empty = NewQuery("SELECT ID FROM md_empty");
  empty->SetCacheAllRecords(true);
  empty->Open();
  TDataSource empty_source(nullptr);
  empty_source.SetDataSet(empty);
  detail->SetDataSource(&empty_source);
  detail->Open();
  EXPECT_TRUE(detail->IsEmpty());
  detail->Close();
  detail->SetDataSource(source.get());

  master->Open();
  master->Last();  // ID 3: no lines
  detail->Open();
  EXPECT_TRUE(detail->IsEmpty());
  master->Close();
  // The detail keeps what it has while its master is closed.
  EXPECT_TRUE(detail->Active());
  master->Open();  // back on ID 1
  EXPECT_EQ(Column(*detail, "item"), (Lines{"apple", "pear"}));
}

TEST_F(MasterDetail, ParametersTheMasterCannotFillKeepTheirValues) {
  detail->SQL()->SetText("SELECT item FROM md_lines WHERE MasterID = :ID AND line > :minline");
  detail->ParamByName("minline")->SetAsInteger(10);
  detail->ParamByName("ID")->SetAsInteger(2);  // overwritten by the master
  master->Open();
  detail->Open();
  EXPECT_EQ(Column(*detail, "item"), Lines{"pear"});

  // OLD_ takes the master field's value before an edit; "OLD_" alone names
  // no field and keeps its value.
  detail->Close();
  detail->SQL()->SetText("SELECT item FROM md_lines WHERE MasterID = :old_ID OR line = :OLD_");
  detail->ParamByName("OLD_")->SetAsInteger(20);
  master->SetOptions(TOption{LocalEdit});
  master->Edit();
  master->FieldByName("ID")->SetAsInteger(3);
  detail->Open();
  EXPECT_EQ(Column(*detail, "item"), (Lines{"apple", "pear", "fig"}));
  master->Cancel();
}

TEST_F(MasterDetail, ALinkThatLoopsIsRefusedAndARemovedSourceIsForgotten) {
  TDataSource own(nullptr);
  own.SetDataSet(detail);
  EXPECT_THROW(detail->SetDataSource(&own), EDatabaseError);
  EXPECT_EQ(detail->DataSource(), source.get());

  // master -> detail -> master
  EXPECT_THROW(master->SetDataSource(&own), EDatabaseError);
  EXPECT_EQ(master->DataSource(), nullptr);

  source.reset();
  EXPECT_EQ(detail->DataSource(), nullptr);
}

}  // namespace
}  // namespace tessel::testing
