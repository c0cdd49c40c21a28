// Writes that fail: a row changed or removed by another session, duplicate
// keys and the two events that answer them, and settings or values that
// cannot be written. Every failure must leave the cache as it was and the
// user's values in the record.

#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "posting_fixture.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

using Lines = std::vector<std::string>;

class PostFailure : public PostingTest {
 protected:
  // Runs `post`, expecting an EDatabaseError; returns its message.
  template <typename F>
  static std::string FailureOf(F post) {
    try {
      post();
    } catch (const EDatabaseError& error) {
      return error.Message();
    }
    ADD_FAILURE() << "the write did not fail";
    return {};
  }
};

TEST_F(PostFailure, ARowChangedElsewhereIsAnErrorAndTheEditCanBeCorrected) {
  MakeOrders("f_conflict");
  TTessel* query = OpenOrders("f_conflict", upWhereChanged);
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(6);
  OtherSession("UPDATE f_conflict SET qty = 50 WHERE id = 1");
  const std::string message = FailureOf([&] { query->Post(); });
  EXPECT_NE(message.find(SUpdateFailed.str()), std::string::npos);
  EXPECT_NE(message.find("f_conflict"), std::string::npos);
  // Still editing, with what the user typed; the cache keeps the old row.
  EXPECT_EQ(query->State(), dsEdit);
  EXPECT_EQ(query->FieldByName("qty")->AsInteger(), 6);
  EXPECT_EQ(query->FieldByName("qty")->OldValue().AsInteger(), 5);
  EXPECT_EQ(ServerRows("SELECT qty FROM f_conflict WHERE id = 1"), Lines{"50"});

  // Comparing the key alone, the same edit goes through.
  query->UpdateParams()->SetUpdateMode(upWhereKeyOnly);
  query->Post();
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(ServerRows("SELECT qty FROM f_conflict WHERE id = 1"), Lines{"6"});
}

TEST_F(PostFailure, ARowDeletedElsewhereCannotBeDeletedOrEdited) {
  MakeOrders("f_gone");
  TTessel* query = OpenOrders("f_gone", upWhereKeyOnly);
  OtherSession("DELETE FROM f_gone WHERE id = 1");
  EXPECT_NE(FailureOf([&] { query->Delete(); }).find("f_gone"), std::string::npos);
  EXPECT_EQ(query->RecordCount(), 3);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 1);

  query->Edit();
  query->FieldByName("note")->SetAsString("lost?");
  FailureOf([&] { query->Post(); });
  EXPECT_EQ(query->State(), dsEdit);
  EXPECT_EQ(query->FieldByName("note")->AsString(), "lost?");
  query->Cancel();
  EXPECT_EQ(query->FieldByName("note")->AsString(), "a");
}

TEST_F(PostFailure, OnUpdateErrorSeesTheFailureAndMayEndItSilently) {
  MakeOrders("f_event");
  TTessel* query = OpenOrders("f_event", upWhereKeyOnly);
  OtherSession("DELETE FROM f_event WHERE id = 1");
  std::string offered;
  TDataAction answer = daAbort;
  query->OnUpdateError = [&](TDataSet* data, EDatabaseError& error, TDataAction& action) {
    EXPECT_EQ(data, query);
    EXPECT_EQ(action, daFail);
    offered = error.Message();
    action = answer;
  };
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(1);
  EXPECT_THROW(query->Post(), EAbort);
  EXPECT_NE(offered.find(SUpdateFailed.str()), std::string::npos);
  EXPECT_EQ(query->State(), dsEdit);

  // Retry is no answer to a missing row: the failure is raised.
  answer = daRetry;
  EXPECT_NE(FailureOf([&] { query->Post(); }).find(SUpdateFailed.str()), std::string::npos);
  EXPECT_EQ(query->State(), dsEdit);
}

TEST_F(PostFailure, DuplicateKeysGoToOnDuplicateKey) {
  MakeOrders("f_dup");
  TTessel* query = OpenOrders("f_dup");
  int calls = 0;
  TDataAction answer = daFail;
  query->OnDuplicateKey = [&](TDataSet*, EDatabaseError& error, TDataAction& action) {
    ++calls;
    EXPECT_NE(dynamic_cast<ElqSQLError*>(&error), nullptr);
    action = answer;
  };
  query->Append();
  query->FieldByName("id")->SetAsInteger(2);
  query->FieldByName("note")->SetAsString("twice");
  EXPECT_THROW(query->Post(), ElqSQLError);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(query->State(), dsInsert);
  EXPECT_EQ(query->FieldByName("note")->AsString(), "twice");
  EXPECT_EQ(query->RecordCount(), 3);

  // The user corrects the key and posts again.
  query->FieldByName("id")->SetAsInteger(4);
  query->Post();
  EXPECT_EQ(ServerRows("SELECT note FROM f_dup WHERE id = 4"), Lines{"twice"});

  // An edit onto another row's key, answered with daAbort: the cache takes it.
  answer = daAbort;
  query->First();
  query->Edit();
  query->FieldByName("id")->SetAsInteger(3);
  query->Post();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(query->State(), dsBrowse);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 3);
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM f_dup WHERE id = 1"), Lines{"1"});

  // Other server errors are not duplicate keys.
  query->Last();
  query->Edit();
  query->FieldByName("note")->SetAsString(std::string(40, 'x'));
  query->UpdateParams()->SetTableName("f_no_such_table");
  EXPECT_THROW(query->Post(), ElqSQLError);
  EXPECT_EQ(calls, 2);
}

TEST_F(PostFailure, AUniqueIndexRefusingAValueIsADuplicateKeyToo) {
  MakeOrders("f_unique");
  RequireStatement("CREATE UNIQUE INDEX f_unique_note ON f_unique (note)");
  TTessel* query = OpenOrders("f_unique");
  int code = 0;
  query->OnDuplicateKey = [&](TDataSet*, EDatabaseError& error, TDataAction&) {
    code = dynamic_cast<ElqSQLError&>(error).ErrorCode();
  };
  query->Edit();
  query->FieldByName("note")->SetAsString("b");
  EXPECT_THROW(query->Post(), ElqSQLError);
  EXPECT_EQ(code, 2601);
  EXPECT_EQ(query->State(), dsEdit);
}

TEST_F(PostFailure, GeneratedStatementsTakePartInTheTransaction) {
  MakeOrders("f_trans");
  TTessel* query = OpenOrders("f_trans", upWhereKeyOnly);
  server->StartTransaction();
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(55);
  query->Post();
  query->Last();
  query->Delete();
  server->RollBack();
  EXPECT_EQ(ServerRows("SELECT qty FROM f_trans ORDER BY id"), (Lines{"5", "7", "9"}));
}

TEST_F(PostFailure, SettingsThatCannotMakeAStatementAreRefusedBeforeSending) {
  MakeOrders("f_settings");
  TTessel* query = OpenOrders("f_settings");
  query->Edit();
  query->FieldByName("qty")->SetAsInteger(8);

  query->UpdateParams()->KeyFields()->SetText("order_id");
  EXPECT_NE(FailureOf([&] { query->Post(); }).find("order_id"), std::string::npos);
  query->UpdateParams()->KeyFields()->SetText("id");
  query->UpdateParams()->UpdateFields()->Add("colour");
  EXPECT_NE(FailureOf([&] { query->Post(); }).find("colour"), std::string::npos);
  query->UpdateParams()->UpdateFields()->Delete(3);
  query->UpdateParams()->SetTableName(" ");
  EXPECT_NE(FailureOf([&] { query->Post(); }).find("no table"), std::string::npos);
  EXPECT_EQ(query->State(), dsEdit);
  EXPECT_EQ(query->FieldByName("qty")->AsInteger(), 8);
  EXPECT_EQ(ServerRows("SELECT qty FROM f_settings WHERE id = 1"), Lines{"5"});

  // Settings removed while the record is edited: refused, not cached alone.
  query->SetUpdateParams(nullptr);
  EXPECT_NE(FailureOf([&] { query->Post(); }).find("neither"), std::string::npos);
  EXPECT_EQ(query->State(), dsEdit);
  query->Cancel();
  EXPECT_THROW(query->Edit(), EDatabaseError);  // read-only now
}

TEST_F(PostFailure, FieldsRefuseWhatCannotBeWritten) {
  MakeTable("f_fields", "id int PRIMARY KEY, qty int NOT NULL, note varchar(10) NULL",
            {"(1, 5, 'a')"});
  TTessel* query = NewQuery("SELECT id, qty, note FROM f_fields");
  query->SetCacheAllRecords(true);
  query->UpdateParams()->SetTableName("f_fields");
  query->UpdateParams()->KeyFields()->Add("id");
  query->UpdateParams()->UpdateFields()->SetText("id\nqty\nnote");
  query->Open();
  query->FieldByName("id")->SetReadOnly(true);
  query->Edit();
  EXPECT_THROW(query->FieldByName("id")->SetAsInteger(2), EDatabaseError);
  query->Cancel();

  query->FieldByName("qty")->SetRequired(true);
  query->Append();
  query->FieldByName("note")->SetAsString("no qty");
  EXPECT_NE(FailureOf([&] { query->Post(); }).find("qty"), std::string::npos);
  EXPECT_EQ(query->State(), dsInsert);
  EXPECT_EQ(query->RecordCount(), 1);
  EXPECT_EQ(ServerRows("SELECT COUNT(*) FROM f_fields"), Lines{"1"});
}

// The table's own column decides, not a wider result column: a value it
// would cut is refused before anything is sent, one that fits is written.
TEST_F(PostFailure, AValueLongerThanItsTableColumnIsRefused) {
  MakeTable("f_widened", "id int PRIMARY KEY, note varchar(4) NULL, bin varbinary(4) NULL",
            {"(1, 'a', 0x01)"});
  TTessel* query = NewQuery(
      "SELECT id, CAST(note AS varchar(20)) AS note, CAST(bin AS varbinary(20)) AS bin "
      "FROM f_widened");
  query->SetCacheAllRecords(true);
  query->UpdateParams()->SetTableName("f_widened");
  query->UpdateParams()->KeyFields()->Add("id");
  query->UpdateParams()->UpdateFields()->SetText("id\nnote\nbin");
  query->Open();
  const struct {
    const char* field;
    std::string value;
    std::string refusal;  // empty: it fits and is written
  } cases[] = {
      {"note", "abcde", "5 bytes in code page 1252"},
      {"bin", std::string("\x01\x02\x00\x04\x05", 5), "5 bytes"},
      {"note", "abcd", ""},
      {"bin", std::string("\x01\x00\x03\x04", 4), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field + (" = " + c.value));
    query->Edit();
    query->FieldByName(c.field)->SetAsString(c.value);
    if (c.refusal.empty()) {
      query->Post();
      EXPECT_EQ(ServerRows(std::string("SELECT datalength(") + c.field + ") FROM f_widened"),
                Lines{std::to_string(c.value.size())});
      continue;
    }
    const std::string failure = FailureOf([&] { query->Post(); });
    EXPECT_NE(failure.find(c.refusal), std::string::npos) << failure;
    EXPECT_NE(failure.find(std::string("'") + c.field + "'"), std::string::npos) << failure;
    EXPECT_NE(failure.find("at most 4"), std::string::npos) << failure;
    EXPECT_EQ(query->State(), dsEdit);
    query->Cancel();
  }
}

}  // namespace
}  // namespace tessel::testing
