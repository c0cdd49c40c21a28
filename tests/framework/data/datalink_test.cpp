// Data sources and links: what they are told and when, disabled controls,
// circular links, and lifetimes.

#include <gtest/gtest.h>

#include "mem_dataset.h"

namespace tessel::test {
namespace {

using Events = std::vector<std::string>;

class LinkEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    ds = MakePeople(3);
    ds->Close();
    source = std::make_unique<TDataSource>(nullptr);
    source->SetDataSet(ds.get());
    link.SetDataSource(source.get());
  }

  std::unique_ptr<TMemDataSet> ds;
  std::unique_ptr<TDataSource> source;
  TRecordingLink link;
};

TEST_F(LinkEvents, OpenEditPostClose) {
  EXPECT_FALSE(link.Active());
  ds->Open();
  EXPECT_TRUE(link.Active());
  EXPECT_EQ(link.events, (Events{"active"}));

  link.events.clear();
  ds->Next();
  EXPECT_EQ(link.events, (Events{"checkbrowse", "scrolled"}));

  link.events.clear();
  ds->Edit();
  EXPECT_TRUE(link.Editing());
  ds->FieldByName("NAME")->SetAsString("x");
  ds->Post();
  EXPECT_EQ(link.events, (Events{"checkbrowse", "editing", "record", "record:NAME", "updatedata",
                                 "checkbrowse", "notediting", "changed"}));

  link.events.clear();
  ds->Close();
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(link.events, (Events{"inactive"}));
}

TEST_F(LinkEvents, DataSourceEventsAndEnabled) {
  std::vector<TDataSetState> states;
  int data_changes = 0;
  TField* changed_field = nullptr;
  int update_data = 0;
  source->OnStateChange = [&](TObject*) { states.push_back(source->State()); };
  source->OnDataChange = [&](TDataSource* s, TField* field) {
    EXPECT_EQ(s, source.get());
    ++data_changes;
    changed_field = field;
  };
  source->OnUpdateData = [&](TObject*) { ++update_data; };
  ds->Open();
  EXPECT_EQ(states, (std::vector<TDataSetState>{dsBrowse}));
  EXPECT_EQ(data_changes, 1) << "becoming active counts as a data change";
  ds->Edit();
  ds->FieldByName("ID")->SetAsInteger(9);
  EXPECT_EQ(changed_field, ds->FieldByName("ID"));
  ds->Post();
  EXPECT_EQ(update_data, 1);
  EXPECT_EQ(states, (std::vector<TDataSetState>{dsBrowse, dsEdit, dsBrowse}));

  source->SetEnabled(false);
  EXPECT_EQ(source->State(), dsInactive);
  EXPECT_FALSE(link.Active());
  link.events.clear();
  ds->Next();
  EXPECT_TRUE(link.events.empty());
  source->SetEnabled(true);
  EXPECT_TRUE(link.Active());

  source->SetAutoEdit(false);
  EXPECT_FALSE(link.Edit());
  source->SetAutoEdit(true);
  EXPECT_TRUE(link.Edit());
  ds->Cancel();
}

TEST_F(LinkEvents, DisabledControlsHearOneChangeAtTheEnd) {
  ds->Open();
  link.events.clear();
  ds->DisableControls();
  ds->DisableControls();
  EXPECT_TRUE(ds->ControlsDisabled());
  ds->Next();
  ds->Last();
  ds->Edit();
  ds->Cancel();
  ds->EnableControls();
  EXPECT_TRUE(link.events.empty());
  ds->EnableControls();
  EXPECT_EQ(link.events, (Events{"changed"}));

  link.events.clear();
  ds->DisableControls();
  ds->Close();
  ds->Open();
  ds->EnableControls();
  EXPECT_EQ(link.events, (Events{"layout"})) << "a reopen while disabled is a layout change";
}

TEST_F(LinkEvents, CircularLinksAreRefused) {
  // A detail dataset whose master data source is `source`.
  class Detail : public TMemDataSet {
   public:
    using TMemDataSet::TMemDataSet;
    TDataSource* master = nullptr;

   protected:
    TDataSource* GetDataSource() const override { return master; }
  };
  Detail detail(nullptr);
  detail.master = source.get();
  EXPECT_TRUE(detail.IsLinkedTo(source.get()) == false);
  EXPECT_TRUE(source->IsLinkedTo(&detail));
  EXPECT_THROW(source->SetDataSet(&detail), EDatabaseError);
  EXPECT_EQ(source->DataSet(), ds.get());

  TDataSource detail_source(nullptr);
  detail_source.SetDataSet(&detail);
  EXPECT_TRUE(detail.IsLinkedTo(&detail_source));
  TMemDataSet* master = ds.get();
  EXPECT_TRUE(master->IsLinkedTo(&detail_source)) << "ds is the master of detail_source's dataset";
}

TEST_F(LinkEvents, LifetimesDetachBothWays) {
  ds->Open();
  {
    TRecordingLink second;
    second.SetDataSource(source.get());
    second.SetBufferCount(4);
    EXPECT_EQ(ds->BufferCount(), 4);
  }
  EXPECT_EQ(ds->BufferCount(), 1) << "a destroyed link no longer holds buffers";
  EXPECT_EQ(source->DataLinks().size(), 1u);

  source.reset();
  EXPECT_EQ(link.DataSource(), nullptr);
  EXPECT_FALSE(link.Active());

  source = std::make_unique<TDataSource>(nullptr);
  source->SetDataSet(ds.get());
  ds.reset();
  EXPECT_EQ(source->DataSet(), nullptr);
  EXPECT_EQ(source->State(), dsInactive);
}

TEST_F(LinkEvents, FixedDataSourceCannotChange) {
  link.SetDataSourceFixed(true);
  EXPECT_THROW(link.SetDataSource(nullptr), EDatabaseError);
  link.SetDataSourceFixed(false);
}

}  // namespace
}  // namespace tessel::test
