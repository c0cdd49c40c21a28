// A post or delete that changed its row succeeds, and one that matched no
// row fails with the "Update failed" error, whatever else the server reports:
// row counts switched off with SET NOCOUNT ON, and a trigger whose own
// statement touches a row even when the user's statement touched none.

#include <memory>
#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "query_fixture.h"

namespace tessel::testing {
namespace {

using Lines = std::vector<std::string>;

struct Setting {
  const char* name;
  bool nocount;
  bool trigger;
};

enum class Operation { GeneratedUpdate, GeneratedDelete, ObjectUpdate, ObjectDelete };
const char* Name(Operation operation) {
  switch (operation) {
    case Operation::GeneratedUpdate:
      return "generated UPDATE";
    case Operation::GeneratedDelete:
      return "generated DELETE";
    case Operation::ObjectUpdate:
      return "update object modify";
    case Operation::ObjectDelete:
      return "update object delete";
  }
  return "";
}

class PostOutcome : public QueryTest, public ::testing::WithParamInterface<Setting> {
 protected:
  void TearDown() override {
    queries.clear();
    update.reset();
    QueryTest::TearDown();
  }

  Lines ServerRows(const std::string& sql) { return Rows(server->GetBaseProcess(), sql); }

  // The query over fid_outcome, writing through generated statements by
  // key or through an update object.
  TTessel* Open(Operation operation) {
    queries.clear();
    TTessel* query = NewQuery("SELECT k, v FROM fid_outcome ORDER BY k");
    query->SetCacheAllRecords(true);
    if (operation == Operation::ObjectUpdate || operation == Operation::ObjectDelete) {
      update = std::make_unique<TSQLUpdate>(nullptr);
      update->ModifySQL()->SetText("UPDATE fid_outcome SET v = :v WHERE k = :OLD_k");
      update->DeleteSQL()->SetText("DELETE FROM fid_outcome WHERE k = :OLD_k");
      query->SetUpdateObject(update.get());
    } else {
      query->UpdateParams()->SetTableName("fid_outcome");
      query->UpdateParams()->KeyFields()->Add("k");
      query->UpdateParams()->UpdateFields()->SetText("k\nv");
      query->UpdateParams()->SetUpdateMode(upWhereKeyOnly);
    }
    query->Open();
    return query;
  }

  std::unique_ptr<TSQLUpdate> update;
};

TEST_P(PostOutcome, ChangedRowSucceedsAndUnmatchedRowFails) {
  const Setting& setting = GetParam();
  MakeTable("fid_outcome_log", "n int NOT NULL", {"(0)"});
  MakeTable("fid_outcome", "k int NOT NULL PRIMARY KEY, v varchar(20) NULL", {});
  if (IsSkipped()) return;
  if (setting.trigger) {
    RequireStatement(
        "CREATE TRIGGER fid_outcome_log_trg ON fid_outcome AFTER UPDATE, DELETE AS "
        "UPDATE fid_outcome_log SET n = n + 1");
    if (IsSkipped()) return;
  }
  server->InternalExecute(setting.nocount ? "SET NOCOUNT ON" : "SET NOCOUNT OFF");
  const std::string failed = "Update failed. No rows where affected by transaction.";
  for (Operation operation : {Operation::GeneratedUpdate, Operation::GeneratedDelete,
                              Operation::ObjectUpdate, Operation::ObjectDelete}) {
    const bool deletes =
        operation == Operation::GeneratedDelete || operation == Operation::ObjectDelete;
    for (bool matched : {true, false}) {
      SCOPED_TRACE(std::string(setting.name) + " | " + Name(operation) + " | " +
                   (matched ? "row there" : "row deleted by another session"));
      server->InternalExecute("DELETE FROM fid_outcome");
      server->InternalExecute("INSERT INTO fid_outcome VALUES (1, 'one'), (2, 'two')");
      TTessel* query = Open(operation);
      if (!matched) server->InternalExecute("DELETE FROM fid_outcome WHERE k = 1");
      std::string raised;
      try {
        if (deletes) {
          query->Delete();
        } else {
          query->Edit();
          query->FieldByName("v")->SetAsString("changed");
          query->Post();
        }
      } catch (const Exception& e) {
        raised = e.Message();
        if (query->State() != dsBrowse) query->Cancel();
      }
      if (matched) {
        EXPECT_EQ(raised, "");
        EXPECT_EQ(ServerRows("SELECT v FROM fid_outcome ORDER BY k"),
                  deletes ? Lines{"two"} : (Lines{"changed", "two"}));
      } else {
        EXPECT_NE(raised.find(failed), std::string::npos) << "raised: '" << raised << "'";
        EXPECT_EQ(ServerRows("SELECT v FROM fid_outcome ORDER BY k"), Lines{"two"});
      }
    }
  }
  server->InternalExecute("SET NOCOUNT OFF");
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PostOutcome,
    ::testing::Values(Setting{"plain", false, false}, Setting{"nocount", true, false},
                      Setting{"trigger", false, true}, Setting{"nocount_and_trigger", true, true}),
    [](const ::testing::TestParamInfo<Setting>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessel::testing
