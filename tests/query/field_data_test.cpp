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
  EXPECT_EQ(query->FieldByName("amount")->DataType(), ftBCD);
  EXPECT_EQ(query->FieldByName("amount")->AsString(), "1234.56");
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

TEST_F(FieldDataTest, BinaryValuesRoundTripThroughTheEditBuffer) {
  MakeTable("q_bin",
            "id int NOT NULL, vb varbinary(8) NULL, fb binary(4) NOT NULL, nb binary(3) NULL, "
            "n int NULL",
            {"(1, 0x0102030405, 0xA1B2C3D4, 0x0B0C0D, 7)", "(2, 0x, 0x0A, NULL, NULL)",
             "(3, 0xFFFFFFFFFFFFFFFF, 0x00, 0x01, 8)"});
  TTessel* query = NewQuery("SELECT id, vb, fb, nb, n FROM q_bin ORDER BY id");
  query->Open();
  TField* vb = query->FieldByName("vb");
  TField* fb = query->FieldByName("fb");
  TField* nb = query->FieldByName("nb");
  TField* n = query->FieldByName("n");
  ASSERT_EQ(vb->DataType(), ftVarBytes);
  EXPECT_EQ(vb->Size(), 8);
  EXPECT_EQ(query->ColumnType(2), 37);
  EXPECT_EQ(fb->DataType(), ftBytes);
  EXPECT_EQ(fb->Size(), 4);
  // A nullable binary column is described as variable length as well; its
  // values keep the length the server sends.
  EXPECT_EQ(nb->DataType(), ftVarBytes);
  // The varbinary slot holds the 16-bit length and 8 bytes; the other
  // columns keep the layout their sizes give.
  EXPECT_EQ(query->FieldOffset(3), 6 + 11);
  EXPECT_EQ(query->FieldOffset(4), 6 + 11 + 6);
  EXPECT_EQ(query->FieldOffset(5), 6 + 11 + 6 + 6);
  EXPECT_EQ(vb->AsString(), std::string("\x01\x02\x03\x04\x05"));
  EXPECT_EQ(fb->AsString(), std::string("\xA1\xB2\xC3\xD4"));
  EXPECT_EQ(nb->AsString(), std::string("\x0B\x0C\x0D"));
  EXPECT_EQ(n->AsInteger(), 7);

  query->Edit();
  vb->SetAsString(std::string("\x00\x7F\x80", 3));
  fb->SetAsString(std::string("\x01\x02", 2));
  nb->SetAsString(std::string("\xEE", 1));
  EXPECT_EQ(vb->AsString(), std::string("\x00\x7F\x80", 3));
  EXPECT_EQ(fb->AsString(), std::string("\x01\x02\x00\x00", 4));
  EXPECT_EQ(nb->AsString(), std::string("\xEE"));
  EXPECT_EQ(n->AsInteger(), 7) << "a write ran into the next slot";
  vb->SetAsString(std::string(8, 'x'));
  EXPECT_EQ(vb->AsString(), std::string(8, 'x'));
  EXPECT_EQ(fb->AsString(), std::string("\x01\x02\x00\x00", 4));
  query->Cancel();
  EXPECT_EQ(vb->AsString(), std::string("\x01\x02\x03\x04\x05"));

  query->Next();
  EXPECT_FALSE(vb->IsNull());
  EXPECT_EQ(vb->AsString(), "");
  // A value shorter than its binary column reads zero-padded, never with
  // the bytes of the row read before it.
  const std::string padded = fb->AsString();
  ASSERT_EQ(padded.size(), 4u);
  EXPECT_EQ(padded[0], '\x0A');
  EXPECT_EQ(padded.substr(1), std::string(3, '\0'));
  EXPECT_TRUE(nb->IsNull());
  EXPECT_TRUE(n->IsNull());
  query->Next();
  EXPECT_EQ(vb->AsString(), std::string(8, '\xFF'));
  EXPECT_EQ(n->AsInteger(), 8);

  TTessel* search = NewQuery("SELECT id FROM q_bin WHERE vb = :v");
  search->ParamByName("v")->SetAsBytes(TBytes{1, 2, 3, 4, 5});
  search->Open();
  EXPECT_EQ(Column(*search, "id"), std::vector<std::string>{"1"});
}

TEST_F(FieldDataTest, MoreColumnTypesAndTheirCodes) {
  // code is made with ANSI_PADDING on, so that the server pads its values
  // (a DB-Library session starts with it off: char(n) NULL is then unpadded).
  RequireStatement("SET ANSI_PADDING ON");
  MakeTable("q_types2",
            "id int NOT NULL, sm smallmoney NULL, num numeric(12,3) NULL, dt datetime NULL, "
            "sdt smalldatetime NOT NULL, flag bit NOT NULL, tiny tinyint NOT NULL, "
            "r real NOT NULL, m money NOT NULL, code char(6) NULL",
            {"(1, 3.25, -987654.321, '20240229 23:59:58.997', '20240229 13:45', 0, 255, "
             "-0.5, 123456789.1234, 'ab')"});
  RequireStatement("SET ANSI_PADDING OFF");
  TTessel* query = NewQuery("SELECT * FROM q_types2");
  query->Open();
  EXPECT_EQ(query->FieldByName("sm")->DataType(), ftCurrency);
  EXPECT_DOUBLE_EQ(query->FieldByName("sm")->AsFloat(), 3.25);
  EXPECT_EQ(query->FieldByName("num")->DataType(), ftBCD);
  EXPECT_EQ(query->FieldByName("num")->AsString(), "-987654.321");
  EXPECT_EQ(query->FieldByName("m")->AsString(), "123456789.1234");
  // The decimal slot holds DB-Library's 19-byte numeric form.
  EXPECT_GE(query->FieldOffset(4) - query->FieldOffset(3), 19 + 2);
  EXPECT_EQ(query->FieldByName("dt")->AsDateTime(),
            EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58, 997));
  EXPECT_EQ(query->FieldByName("sdt")->AsDateTime(),
            EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 0, 0));
  EXPECT_EQ(query->FieldOffset(6) - query->FieldOffset(5), 10) << "date-time slots hold 8 bytes";
  EXPECT_FALSE(query->FieldByName("flag")->IsNull());
  EXPECT_FALSE(query->FieldByName("flag")->AsBoolean());
  EXPECT_EQ(query->FieldByName("tiny")->DataType(), ftSmallint);
  EXPECT_EQ(query->FieldByName("tiny")->AsInteger(), 255);
  EXPECT_DOUBLE_EQ(query->FieldByName("r")->AsFloat(), -0.5);
  EXPECT_DOUBLE_EQ(query->FieldByName("m")->AsFloat(), 123456789.1234);
  // A nullable char column is not trimmed: it keeps the server's padding.
  EXPECT_EQ(query->FieldByName("code")->AsString(), "ab    ");
  EXPECT_FALSE((*query->FieldDefs())[9]->Required());
  EXPECT_TRUE((*query->FieldDefs())[5]->Required());

  query->Edit();
  query->FieldByName("sm")->SetAsFloat(-12.75);
  query->FieldByName("num")->SetAsFloat(1.5);
  query->FieldByName("r")->SetAsFloat(0.125);
  query->FieldByName("flag")->SetAsBoolean(true);
  EXPECT_DOUBLE_EQ(query->FieldByName("sm")->AsFloat(), -12.75);
  EXPECT_DOUBLE_EQ(query->FieldByName("num")->AsFloat(), 1.5);
  EXPECT_DOUBLE_EQ(query->FieldByName("r")->AsFloat(), 0.125);
  EXPECT_TRUE(query->FieldByName("flag")->AsBoolean());
  TField* tiny = query->FieldByName("tiny");
  tiny->SetAsInteger(0);
  EXPECT_EQ(tiny->AsInteger(), 0);
  for (int outside : {256, 300, -1}) {
    try {
      tiny->SetAsInteger(outside);
      ADD_FAILURE() << outside << " was stored in a tinyint";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find(std::to_string(outside)), std::string::npos) << e.Message();
    }
    EXPECT_EQ(tiny->AsInteger(), 0);
  }
  query->Cancel();
}

TEST_F(FieldDataTest, ThirtyEightDigitNumericsReadExactly) {
  MakeTable(
      "q_wide", "id int NOT NULL, d numeric(38,10) NULL, n decimal(38,0) NULL",
      {"(1, 1234567890123456789012345678.0123456789, -99999999999999999999999999999999999999)",
       "(2, -0.0000000001, 12345678901234567890)"});
  TTessel* query = NewQuery("SELECT id, d, n FROM q_wide ORDER BY id");
  query->Open();
  EXPECT_EQ(query->FieldByName("d")->DataType(), ftBCD);
  EXPECT_EQ(query->FieldByName("d")->AsString(), "1234567890123456789012345678.0123456789");
  EXPECT_EQ(query->FieldByName("n")->AsString(), "-99999999999999999999999999999999999999");
  EXPECT_DOUBLE_EQ(query->FieldByName("n")->AsFloat(), -99999999999999999999999999999999999999.0);
  query->Next();
  EXPECT_EQ(query->FieldByName("d")->AsString(), "-0.0000000001");
  EXPECT_EQ(query->FieldByName("n")->AsString(), "12345678901234567890");
  // Written through the field: a double is rounded to the column's scale, a
  // value past its precision is refused and leaves the field as it was.
  query->Edit();
  query->FieldByName("d")->SetAsFloat(-2.5e20);
  EXPECT_EQ(query->FieldByName("d")->AsString(), "-250000000000000000000.0000000000");
  query->FieldByName("d")->SetAsFloat(1000);  // once aborted the process
  EXPECT_EQ(query->FieldByName("d")->AsString(), "1000.0000000000");
  EXPECT_THROW(query->FieldByName("d")->SetAsString("1e29"), EDatabaseError);
  EXPECT_THROW(query->FieldByName("d")->SetAsString("0.00000000001"), EDatabaseError);
  EXPECT_EQ(query->FieldByName("d")->AsString(), "1000.0000000000");
  query->Cancel();
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
  EXPECT_FALSE(body->IsNull()) << "an empty text is a value, not a null";
  EXPECT_EQ(body->AsString(), "");
}

// Empty content and null stay apart through the edit buffer, the cache and
// the posted statement.
TEST_F(FieldDataTest, EmptyBlobContentIsNotNull) {
  MakeTable("q_blob_empty", "id int NOT NULL PRIMARY KEY, body text NULL",
            {"(1, NULL)", "(2, 'x')"});
  TTessel* query = NewQuery("SELECT id, body FROM q_blob_empty ORDER BY id");
  query->UpdateParams()->SetTableName("q_blob_empty");
  query->UpdateParams()->KeyFields()->Add("id");
  query->UpdateParams()->UpdateFields()->SetText("body");
  query->SetCacheAllRecords(true);
  query->Open();
  TField* body = query->FieldByName("body");
  EXPECT_TRUE(body->IsNull());
  query->Edit();
  body->SetAsString("");
  EXPECT_FALSE(body->IsNull());
  query->Post();
  EXPECT_FALSE(body->IsNull()) << "the cache keeps the empty value";
  query->Next();
  query->Edit();
  body->Clear();
  EXPECT_TRUE(body->IsNull());
  query->Post();
  EXPECT_EQ(Rows(server->GetBaseProcess(),
                 "SELECT CASE WHEN body IS NULL THEN 'null' ELSE 'empty' END FROM q_blob_empty "
                 "ORDER BY id"),
            (std::vector<std::string>{"empty", "null"}));
}

}  // namespace
}  // namespace tessel::testing
