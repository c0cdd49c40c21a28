// Field values through the record buffer: the column types, nulls, trimmed
// char values, the edit buffer, and the checks on writing.

#include <string>

#include "framework/exceptions.h"
#include "framework/sysutils.h"
#include "query_fixture.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

class FieldDataTest : public QueryTest {
 protected:
  TTessel* OpenTypes() {
    MakeTable("q_types",
              "id int NOT NULL, tiny tinyint NULL, small smallint NULL, flag bit NULL, "
              "price money NULL, amount decimal(10,2) NULL, ratio float NULL, r real NULL, "
              "code char(10) NOT NULL, note varchar(20) NULL, stamp smalldatetime NULL",
              {"(1, 200, -5, 1, 12.5, 1234.56, 0.25, 1.5, 'abc', 'hello', '19990305 10:11')",
               "(2, NULL, NULL, 0, NULL, NULL, NULL, NULL, '  ab', NULL, NULL)"});
    TTessel* query = NewQuery("SELECT * FROM q_types ORDER BY id");
    query->Open();
    return query;
  }
};

TEST_F(FieldDataTest, ValuesReadInTheirFieldTypes) {
  TTessel* query = OpenTypes();
  EXPECT_EQ(query->FieldByName("tiny")->DataType(), ftSmallint);
  EXPECT_EQ(query->FieldByName("tiny")->AsInteger(), 200);
  EXPECT_EQ(query->FieldByName("small")->AsInteger(), -5);
  EXPECT_EQ(query->FieldByName("flag")->DataType(), ftBoolean);
  EXPECT_TRUE(query->FieldByName("flag")->AsBoolean());
  EXPECT_EQ(query->FieldByName("price")->DataType(), ftCurrency);
  EXPECT_DOUBLE_EQ(query->FieldByName("price")->AsFloat(), 12.5);
  EXPECT_EQ(query->FieldByName("amount")->DataType(), ftFloat);
  EXPECT_DOUBLE_EQ(query->FieldByName("amount")->AsFloat(), 1234.56);
  EXPECT_DOUBLE_EQ(query->FieldByName("ratio")->AsFloat(), 0.25);
  EXPECT_DOUBLE_EQ(query->FieldByName("r")->AsFloat(), 1.5);
  EXPECT_EQ(query->FieldByName("code")->AsString(), "abc");
  EXPECT_EQ(query->FieldByName("note")->AsString(), "hello");
  EXPECT_EQ(query->FieldByName("stamp")->AsDateTime(),
            EncodeDate(1999, 3, 5) + EncodeTime(10, 11, 0, 0));
}

TEST_F(FieldDataTest, NullsReadAsAbsentAndLeaveTheDestination) {
  TTessel* query = OpenTypes();
  query->Next();
  for (const char* name : {"tiny", "small", "price", "amount", "ratio", "r", "note", "stamp"}) {
    EXPECT_TRUE(query->FieldByName(name)->IsNull()) << name;
  }
  double untouched = 42;
  EXPECT_FALSE(query->FieldByName("ratio")->GetData(&untouched));
  EXPECT_EQ(untouched, 42);
  EXPECT_FALSE(query->FieldByName("flag")->AsBoolean());
  EXPECT_FALSE(query->FieldByName("flag")->IsNull());
}

TEST_F(FieldDataTest, RequiredCharValuesLoseTrailingBlanksOnly) {
  TTessel* query = OpenTypes();
  EXPECT_EQ(query->FieldByName("code")->AsString(), "abc");
  query->Next();
  EXPECT_EQ(query->FieldByName("code")->AsString(), "  ab");
}

TEST_F(FieldDataTest, TheEditBufferTakesChangesAndCancelRestores) {
  TTessel* query = OpenTypes();
  query->Edit();
  query->FieldByName("note")->SetAsString("changed");
  query->FieldByName("ratio")->SetAsFloat(2.75);
  query->FieldByName("price")->SetAsFloat(99.25);
  query->FieldByName("amount")->SetAsFloat(7.5);
  query->FieldByName("tiny")->SetAsInteger(17);
  query->FieldByName("flag")->SetAsBoolean(false);
  EXPECT_EQ(query->FieldByName("note")->AsString(), "changed");
  EXPECT_DOUBLE_EQ(query->FieldByName("ratio")->AsFloat(), 2.75);
  EXPECT_DOUBLE_EQ(query->FieldByName("price")->AsFloat(), 99.25);
  EXPECT_DOUBLE_EQ(query->FieldByName("amount")->AsFloat(), 7.5);
  EXPECT_EQ(query->FieldByName("tiny")->AsInteger(), 17);
  EXPECT_FALSE(query->FieldByName("flag")->AsBoolean());
  EXPECT_EQ(query->FieldByName("note")->OldValue().AsString(), "hello");
  query->FieldByName("note")->Clear();
  EXPECT_TRUE(query->FieldByName("note")->IsNull());
  query->Cancel();
  EXPECT_EQ(query->FieldByName("note")->AsString(), "hello");
  EXPECT_DOUBLE_EQ(query->FieldByName("amount")->AsFloat(), 1234.56);
}

TEST_F(FieldDataTest, WritesAreCheckedBeforeAnythingChanges) {
  TTessel* query = OpenTypes();
  try {
    query->FieldByName("note")->SetAsString("x");
    FAIL() << "written in browse state";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), SNotEdit.str());
  }
  TField* note = query->FieldByName("note");
  note->SetDisplayLabel("Customer");
  note->SetReadOnly(true);
  query->Edit();
  try {
    note->SetAsString("x");
    FAIL() << "wrote a read-only field";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'Customer' is read-only");
  }
  EXPECT_EQ(note->AsString(), "hello");
  query->Cancel();

  TField* code = query->FieldByName("code");
  EXPECT_NO_THROW(query->VerifyField(code, ""));
  EXPECT_NO_THROW(query->VerifyField(note, nullptr));
  try {
    query->VerifyField(code, nullptr);
    FAIL() << "a required field passed without data";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Field 'code' is required");
  }
}

TEST_F(FieldDataTest, BlobSlotsHoldContentOfTheActiveBufferOnly) {
  MakeTable("q_blob", "id int NOT NULL, body text NULL", {"(1, 'x')", "(2, '')"});
  TTessel* query = NewQuery("SELECT id, body FROM q_blob ORDER BY id");
  query->Open();
  TField* body = query->FieldByName("body");
  EXPECT_FALSE(body->IsNull());
  TRecordBuffer active = nullptr;
  ASSERT_TRUE(query->GetActiveRecBuf(active));
  EXPECT_EQ(query->GetBlobData(body, active), "");
  query->SetBlobData(body, active, "new content");
  EXPECT_EQ(query->GetBlobData(body, active), "new content");
  std::vector<char> other(static_cast<std::size_t>(query->RecordBufferSize()), 0);
  query->SetBlobData(body, other.data(), "ignored");
  EXPECT_EQ(query->GetBlobData(body, other.data()), "");
  query->Next();
  EXPECT_TRUE(body->IsNull()) << "an empty text reads as null";
}

}  // namespace
}  // namespace tessel::testing
