// The SQL text and its parameters, without a server: parsing markers,
// writing values into the text, keeping values across text changes, and the
// checks made before anything is sent.

#include <gtest/gtest.h>

#include <clocale>
#include <memory>
#include <string>
#include <vector>

#include "framework/exceptions.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

std::vector<std::string> ParamNames(const std::string& sql) {
  TParams params;
  TTessel::CreateParams(&params, sql.c_str());
  std::vector<std::string> names;
  for (int i = 0; i < params.Count(); ++i) {
    EXPECT_EQ(params[i]->DataType(), ftUnknown);
    EXPECT_EQ(params[i]->ParamType(), ptUnknown);
    names.push_back(params[i]->Name());
  }
  return names;
}

using Names = std::vector<std::string>;

TEST(CreateParams, FindsMarkersOutsideLiteralsAndEscapes) {
  EXPECT_EQ(ParamNames("select * from T where A = :A and B = :B"), (Names{"A", "B"}));
  EXPECT_EQ(ParamNames("where A = ':A'"), Names{});
  EXPECT_EQ(ParamNames("where A = \":A\""), Names{});
  EXPECT_EQ(ParamNames("where A = 'x' + :A"), Names{"A"});
  EXPECT_EQ(ParamNames("select A::B"), Names{});
  EXPECT_EQ(ParamNames("where A = :A:B"), Names{"A:B"});
  EXPECT_EQ(ParamNames("values (:A,:B)"), (Names{"A", "B"}));
  EXPECT_EQ(ParamNames("where A = :A\tand"), Names{"A\tand"});
  EXPECT_EQ(ParamNames("where A = :A\r\nand B = :B;"), (Names{"A", "B"}));
}

TEST(CreateParams, QuotedEmptyAndRepeatedNames) {
  EXPECT_EQ(ParamNames("where A = :'Param One'"), Names{"Param One"});
  EXPECT_EQ(ParamNames("where A = :\"Param One\""), Names{"Param One"});
  EXPECT_EQ(ParamNames("where A = : and B = 1"), Names{""});
  EXPECT_EQ(ParamNames("A = :X or B = :X"), (Names{"X", "X"}));
  TTessel::CreateParams(nullptr, "select :A");  // parse only
}

class QueryText : public ::testing::Test {
 protected:
  void SetUp() override { query = std::make_unique<TTessel>(nullptr); }
  std::string Sql(const std::string& text) {
    query->SQL()->SetText(text);
    return text;
  }
  std::unique_ptr<TTessel> query;
};

TEST_F(QueryText, ValuesAreRenderedByType) {
  Sql("select :S, :N, :D, :DT, :B, :F, :I, :M");
  query->ParamByName("S")->SetAsString("O'Brien");
  query->ParamByName("D")->SetAsDate(EncodeDate(1999, 3, 5));
  query->ParamByName("DT")->SetAsDateTime(EncodeDate(1999, 3, 5) + EncodeTime(14, 5, 9, 0));
  query->ParamByName("B")->SetAsBoolean(true);
  query->ParamByName("F")->SetAsFloat(1.5);
  query->ParamByName("I")->SetAsInteger(-42);
  query->ParamByName("M")->SetAsMemo("ab");
  const std::string expected =
      "select 'O''Brien', null, '19990305', '19990305 14:05:09.000', 1, 1.5, -42, 'ab'";
  EXPECT_EQ(query->InsertParams(query->SQL()->Text()), expected + "\n ");
}

// The statement travels as a zero-terminated text: a zero byte inside a
// string, memo or blob literal would end it there.
TEST_F(QueryText, AZeroCharacterInATextValueIsRefusedNamingTheParameter) {
  Sql("select :Plain, :Note");
  query->ParamByName("Plain")->SetAsString("ab");
  query->ParamByName("Note")->SetAsMemo(std::string("x\0y", 3));
  try {
    query->InsertParams("select :Plain, :Note");
    FAIL() << "a memo value with a zero character was written into the text";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(),
              "Parameter 'Note' contains a zero character, which a string cannot hold; give it "
              "as a blob or bytes value");
  }
  query->ParamByName("Note")->SetAsMemo("xy");
  query->ParamByName("Plain")->SetAsString(std::string("a\0b", 3));
  try {
    query->InsertParams("select :Plain, :Note");
    FAIL() << "a string value with a zero character was written into the text";
  } catch (const EDatabaseError& e) {
    EXPECT_NE(e.Message().find("'Plain'"), std::string::npos) << e.Message();
  }
  // Only values that are written in count.
  EXPECT_EQ(query->InsertParams("select :Note"), "select 'xy' ");
  // A blob is bytes: written as a binary literal, zero bytes included.
  query->ParamByName("Note")->SetAsBlob(std::string("ab\0cd", 5));
  EXPECT_EQ(query->InsertParams("select :Note"), "select 0x6162006364 ");
}

TEST_F(QueryText, BinaryValuesAreWrittenAsHexLiterals) {
  Sql("select :B, :V, :E");
  query->ParamByName("B")->SetAsBytes(TBytes{0x00, 0x27, 0xAB});
  query->ParamByName("B")->SetDataType(ftBytes);
  const std::string text = "1'; drop table T --";
  query->ParamByName("V")->SetAsBytes(TBytes(text.begin(), text.end()));
  query->ParamByName("E")->SetAsBytes(TBytes{});
  EXPECT_EQ(query->InsertParams("select :B, :V, :E"),
            "select 0x0027AB, 0x31273B2064726F70207461626C652054202D2D, 0x ");
}

TEST_F(QueryText, FloatsUseAPointWhateverTheLocale) {
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = previous ? previous : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
    std::setlocale(LC_NUMERIC, "C");
  }
  Sql("select :F");
  query->ParamByName("F")->SetAsFloat(1234.25);
  const std::string text = query->InsertParams("select :F");
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(text, "select 1234.25 ");
}

TEST_F(QueryText, WrittenValuesAreNeverSearchedAgain) {
  Sql("where A = :A and B = :B");
  query->ParamByName("A")->SetAsString("x :B y");
  query->ParamByName("B")->SetAsString("z");
  EXPECT_EQ(query->InsertParams("where A = :A and B = :B"), "where A = 'x :B y' and B = 'z' ");
}

TEST_F(QueryText, MarkersMatchWholeNamesOnly) {
  Sql("where A = :ID2 and B = :ID");
  ASSERT_EQ(query->Params()->Count(), 2);
  // The list names ID before ID2, while the text has :ID2 first.
  TParams reordered;
  reordered.CreateParam(ftInteger, "ID", ptInput)->SetAsInteger(1);
  reordered.CreateParam(ftInteger, "ID2", ptInput)->SetAsInteger(2);
  query->Params()->Clear();
  query->Params()->Assign(&reordered);
  EXPECT_EQ(query->InsertParams("where A = :ID2 and B = :ID"), "where A = 2 and B = 1 ");
}

TEST_F(QueryText, LiteralsEscapesAndUnknownMarkersStayAsWritten) {
  Sql("select ':A', A::int, :A, :Other");
  query->ParamByName("A")->SetAsInteger(7);
  query->Params()->Delete(1);  // :Other has no parameter now
  EXPECT_EQ(query->InsertParams("select ':A', A::int, :A, :Other"),
            "select ':A', A::int, 7, :Other ");
}

TEST_F(QueryText, RepeatedMarkersTakeTheirParametersInListOrder) {
  Sql("A = :X or B = :X or C = :X");
  ASSERT_EQ(query->Params()->Count(), 3);
  query->Params()->Items(0)->SetAsInteger(1);
  query->Params()->Items(1)->SetAsInteger(2);
  query->Params()->Delete(2);
  EXPECT_EQ(query->InsertParams("A = :X or B = :X or C = :X"), "A = 1 or B = 2 or C = :X ");
}

TEST_F(QueryText, QuotedMarkerTakesItsParameter) {
  Sql("select :'Param One'");
  query->ParamByName("Param One")->SetAsString("v");
  EXPECT_EQ(query->InsertParams("select :'Param One'"), "select 'v' ");
}

TEST_F(QueryText, ParametersSurviveAChangeOfTheText) {
  Sql("select :A, :B");
  query->ParamByName("A")->SetAsInteger(5);
  Sql("select :A, :C");
  ASSERT_EQ(query->Params()->Count(), 2);
  EXPECT_EQ(query->ParamByName("A")->DataType(), ftInteger);
  EXPECT_EQ(query->ParamByName("A")->AsInteger(), 5);
  EXPECT_EQ(query->ParamByName("C")->DataType(), ftUnknown);
  EXPECT_TRUE(query->ParamByName("C")->IsNull());
  EXPECT_THROW(query->ParamByName("B"), EDatabaseError);
}

TEST_F(QueryText, WithoutParamCheckTheListStays) {
  Sql("select :A");
  query->SetParamCheck(false);
  Sql("select :B, :C");
  ASSERT_EQ(query->Params()->Count(), 1);
  EXPECT_EQ(query->Params()->Items(0)->Name(), "A");
}

TEST_F(QueryText, BlankTextHasNoParametersAndIsRefused) {
  Sql("  \r\n  \n");
  EXPECT_EQ(query->Params()->Count(), 0);
  TSQLServer server(nullptr);
  query->SetSQLServer(&server);
  try {
    query->ExecSQL();
    FAIL() << "a blank statement was accepted";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), SNoStatement.str());
  }
  query->SetSQLServer(nullptr);
}

TEST_F(QueryText, NoConnectionComponentNamesTheQuery) {
  query->SetName("Query1");
  Sql("select 1");
  try {
    query->Open();
    FAIL() << "opened without a connection component";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "TTessel 'Query1' has no DataBaseName property defined");
  }
  EXPECT_FALSE(query->Active());
}

TEST_F(QueryText, DataBlockIsKeptByteForByteUntilTheTextChanges) {
  const std::string bytes("\x01\x00\xff data", 8);
  TStringStream in(bytes);
  query->ReadBinaryData(in);
  ASSERT_TRUE(query->HasBinaryData());
  TStringStream out;
  query->WriteBinaryData(out);
  EXPECT_EQ(out.DataString(), bytes);
  Sql("select 1");
  EXPECT_FALSE(query->HasBinaryData());
}

TEST_F(QueryText, ServerRegistrationFollowsTheProperty) {
  TSQLServer first(nullptr), second(nullptr);
  query->SetSQLServer(&first);
  query->SetSQLServer(&first);
  EXPECT_EQ(first.QueryCount(), 1);
  query->SetSQLServer(&second);
  EXPECT_EQ(first.QueryCount(), 0);
  EXPECT_EQ(second.QueryCount(), 1);
  query.reset();
  EXPECT_EQ(second.QueryCount(), 0);
}

TEST_F(QueryText, UpdateObjectAndOptionsExcludeEachOther) {
  TSQLUpdate update(nullptr);
  query->SetOptions(TOption{LocalEdit});
  query->UpdateParams()->SetTableName("T");
  query->SetUpdateObject(&update);
  EXPECT_FALSE(query->Options().Contains(LocalEdit));
  EXPECT_EQ(update.DataSet(), query.get());
  EXPECT_EQ(query->UpdateParams(), nullptr);
  query->SetOptions(TOption{LocalEdit});
  EXPECT_EQ(query->UpdateObject(), nullptr);
  EXPECT_EQ(update.DataSet(), nullptr);
  query->SetUpdateObject(&update);
}

TEST(QueryDefaults, FreshQuery) {
  TTessel query(nullptr);
  EXPECT_FALSE(query.CacheAllRecords());
  EXPECT_EQ(query.CacheMaxRecords(), 0u);
  EXPECT_FALSE(query.Active());
  EXPECT_TRUE(query.ParamCheck());
  EXPECT_EQ(query.MaxTimeSlice(), 50);
  EXPECT_TRUE(query.Options().Empty());
  EXPECT_FALSE(query.Prepared());
  EXPECT_EQ(query.DataBaseName(), nullptr);
  EXPECT_EQ(query.UpdateObject(), nullptr);
  EXPECT_EQ(query.UpdateParams()->UpdateMode(), upWhereChanged);
  EXPECT_FALSE(query.HasBinaryData());
}

TEST(QueryDefaults, UpdateObjectDestroyedFirstLeavesNoReference) {
  TTessel query(nullptr);
  {
    TSQLUpdate update(nullptr);
    query.SetUpdateObject(&update);
  }
  EXPECT_EQ(query.UpdateObject(), nullptr);
}

}  // namespace
}  // namespace tessel
