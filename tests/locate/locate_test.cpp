// Locate and Lookup on real results: every column type as a key, null keys,
// text options, several keys at once, rows read from the server during the
// search, refused keys that leave the cursor alone, and Lookup's values.

#include <functional>
#include <string>

#include "error_text.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"
#include "query_fixture.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

class LocateTest : public QueryTest {
 protected:
  // Rows 1..3 hold distinct values in every column (row 2's values are
  // chosen so that comparing raw slot bytes with the converted key would
  // miss them), row 4 is null in every nullable column.
  TTessel* OpenTypes(bool cache_all = true) {
    MakeTable("l_types",
              "id int NOT NULL, tiny tinyint NULL, small smallint NULL, flag bit NULL, "
              "r real NULL, f float NULL, sm smallmoney NULL, m money NULL, "
              "d decimal(10,2) NULL, n numeric(12,3) NULL, dt datetime NULL, "
              "sdt smalldatetime NULL, name varchar(20) NULL, code char(4) NULL, "
              "memo text NULL, bin varbinary(8) NULL",
              {"(1, 7, -300, 0, 0.25, 1.5, 1.25, 10.5, 1.10, 2.500, '20240101 10:00:00.000', "
               "'20240101 10:00', 'Smith', 'ab', 'x', 0x01)",
               "(2, 200, 12345, 1, 1.1, -2.75, 3.1416, 123456789.1234, 99.99, -987654.321, "
               "'20240229 23:59:58.997', '20240229 13:45', 'smithers', 'cd', 'yy', 0x0203)",
               "(3, 9, 5, 0, -4, 1e10, -0.5, -7.25, -1.00, 0.001, '19991231 00:00:00.000', "
               "'19991231 00:00', 'Brown', 'ef', 'zzz', 0x04)",
               "(4, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
               "NULL, NULL)"});
    TTessel* query = NewQuery("SELECT * FROM l_types ORDER BY id");
    query->SetCacheAllRecords(cache_all);
    query->Open();
    return query;
  }

  static int Id(TTessel* query) { return static_cast<int>(query->FieldByName("id")->AsInteger()); }
};

TEST_F(LocateTest, EveryColumnTypeFindsTheRecordShowingTheValue) {
  TTessel* query = OpenTypes();
  const TDateTime leap = EncodeDate(2024, 2, 29) + EncodeTime(23, 59, 58, 997);
  const struct {
    const char* field;
    Variant value;
  } keys[] = {
      {"tiny", 200},
      {"small", 12345},
      {"flag", true},
      {"r", 1.1},
      {"f", -2.75},
      {"sm", 3.1416},
      {"m", 123456789.1234},
      {"d", 99.99},
      {"n", -987654.321},
      {"dt", VarFromDateTime(leap)},
      {"sdt", VarFromDateTime(EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 0, 0))},
      {"name", "smithers"},
      {"code", "cd"},
  };
  for (const auto& key : keys) {
    query->First();
    EXPECT_TRUE(query->Locate(key.field, key.value, 0)) << key.field;
    EXPECT_EQ(Id(query), 2) << key.field;
    // Null finds the null record, a null field never equals a value.
    EXPECT_TRUE(query->Locate(key.field, Null(), 0)) << key.field;
    EXPECT_EQ(Id(query), 4) << key.field;
  }
  // The same value shown as a string converts to the field's type.
  EXPECT_TRUE(query->Locate("small", "12345", 0));
  EXPECT_EQ(Id(query), 2);
  EXPECT_TRUE(query->Locate("dt", VarFromDateTime(EncodeDate(1999, 12, 31)), 0));
  EXPECT_EQ(Id(query), 3);
}

TEST_F(LocateTest, MissingValuesLeaveTheCursorWhereItWas) {
  TTessel* query = OpenTypes();
  query->Next();
  query->Next();
  ASSERT_EQ(Id(query), 3);
  // Values one byte or one fraction away from a stored one, and a small
  // integer that would wrap to a stored value if cut to 16 bits.
  EXPECT_FALSE(query->Locate("tiny", 200 + 256, 0));
  EXPECT_FALSE(query->Locate("small", 12345 + 65536, 0));
  EXPECT_FALSE(query->Locate("small", 12345.5, 0));
  EXPECT_FALSE(query->Locate("m", 123456789.1235, 0));
  EXPECT_FALSE(query->Locate("dt", VarFromDateTime(EncodeDate(2024, 2, 29)), 0));
  EXPECT_FALSE(query->Locate("name", "smith", 0));
  EXPECT_EQ(Id(query), 3);
  EXPECT_EQ(query->RecNo(), 3);
}

TEST_F(LocateTest, TextOptions) {
  TTessel* query = OpenTypes();
  query->Last();
  // Partial and case-insensitive: the first record in cache order, wherever
  // the cursor stands.
  EXPECT_TRUE(query->Locate("name", "SMI", loPartialKey | loCaseInsensitive));
  EXPECT_EQ(Id(query), 1);
  EXPECT_FALSE(query->Locate("name", "SMI", loPartialKey)) << "case counts without the option";
  EXPECT_EQ(Id(query), 1);
  EXPECT_TRUE(query->Locate("name", "smit", loPartialKey));
  EXPECT_EQ(Id(query), 2);
  EXPECT_FALSE(query->Locate("name", "SMITHERS", 0));
  EXPECT_TRUE(query->Locate("name", "SMITHERS", loCaseInsensitive));
  EXPECT_EQ(Id(query), 2);
  EXPECT_FALSE(query->Locate("name", "smithersx", loPartialKey)) << "a key longer than the text";
  // Options do not apply to numbers.
  EXPECT_FALSE(query->Locate("small", 123, loPartialKey));
}

// Text in five scripts, as UTF-8: without loCaseInsensitive case counts,
// with it only letters and accents do; a partial key matches whole
// characters, so "e" is no beginning of "e" + U+0301 ("é"); a letter with a
// combining mark matches the precomposed letter. 0: not found.
TEST_F(LocateTest, UnicodeTextCaseAccentsAndWholeCharacters) {
  MakeTable("l_unicode", "id int NOT NULL, name nvarchar(20) NULL",
            {"(1, N'école')", "(2, N'σοφία')", "(3, N'Москва')", "(4, N'東京都')",
             "(5, N'👍🏽 ok')", "(6, N'e\u0301tude')", "(7, N'ecole')", "(8, NULL)"});
  TTessel* query = NewQuery("SELECT id, name FROM l_unicode ORDER BY id");
  query->SetCacheAllRecords(true);
  query->Open();
  constexpr TLocateOptions kCase = 0, kNoCase = loCaseInsensitive, kPart = loPartialKey;
  constexpr TLocateOptions kPartNoCase = loPartialKey | loCaseInsensitive;
  const struct {
    const char* key;
    TLocateOptions options;
    int id;
  } cases[] = {
      {"ÉCOLE", kNoCase, 1},  {"ÉCOLE", kCase, 0},     {"ECOLE", kNoCase, 7},
      {"ÉC", kPartNoCase, 1}, {"ÉC", kPart, 0},        {"éc", kPart, 1},
      {"ΣΟΦΊΑ", kNoCase, 2},  {"ΣΟΦ", kPartNoCase, 2}, {"ΣΟΦΙΑ", kNoCase, 0},
      {"МОСКВА", kNoCase, 3}, {"москва", kCase, 0},    {"мос", kPartNoCase, 3},
      {"東京", kPart, 4},     {"東京", kNoCase, 0},    {"京", kPartNoCase, 0},
      {"👍🏽", kPart, 5}, {"👍", kPartNoCase, 0},   {"👍🏽 OK", kNoCase, 5},
      {"ÉTUDE", kNoCase, 6},  {"étude", kCase, 6},     {"E", kPartNoCase, 7},
      {"e\u0301", kPart, 1},
  };
  for (const auto& c : cases) {
    query->First();
    EXPECT_EQ(query->Locate("name", c.key, c.options), c.id != 0) << c.key;
    if (c.id != 0) {
      EXPECT_EQ(Id(query), c.id) << c.key;
    }
  }
}

// date, time and bigint keys from date-times, numbers and ISO text. A date
// key with a time of day, a time key with a day, a bigint key with a
// fraction: values those fields never show. 0: not found.
TEST_F(LocateTest, DateTimeAndBigintKeys) {
  MakeTable("l_newer", "id int NOT NULL, d date NULL, t time(3) NULL, big bigint NULL",
            {"(1, '20240229', '13:45:30.123', 9223372036854775807)",
             "(2, '19991231', '00:00:00', 9007199254740993)", "(3, '00010101', '23:59:59.999', -5)",
             "(4, NULL, NULL, NULL)"});
  TTessel* query = NewQuery("SELECT * FROM l_newer ORDER BY id");
  query->SetCacheAllRecords(true);
  query->Open();
  const TDateTime leap = EncodeDate(2024, 2, 29);
  const struct {
    const char* field;
    Variant key;
    int id;
  } cases[] = {
      {"d", VarFromDateTime(leap), 1},
      {"d", "2024-02-29", 1},
      {"d", "1999-12-31", 2},
      {"d", VarFromDateTime(EncodeDate(1, 1, 1)), 3},
      {"d", VarFromDateTime(leap + EncodeTime(13, 45, 30, 123)), 0},
      {"d", "2024-03-01", 0},
      {"d", Null(), 4},
      {"t", VarFromDateTime(EncodeTime(13, 45, 30, 123)), 1},
      {"t", "13:45:30.123", 1},
      {"t", "00:00", 2},
      {"t", "23:59:59.999", 3},
      {"t", "13:45:30.124", 0},
      {"t", VarFromDateTime(leap + EncodeTime(13, 45, 30, 123)), 0},
      {"t", Null(), 4},
      {"big", 9223372036854775807LL, 1},
      {"big", "9223372036854775807", 1},
      {"big", 9007199254740993LL, 2},
      {"big", 9007199254740992LL, 0},
      {"big", -5.0, 3},
      {"big", "-5", 3},
      {"big", -5.5, 0},
      {"big", 1e30, 0},
      {"big", Null(), 4},
  };
  for (const auto& c : cases) {
    query->First();
    EXPECT_EQ(query->Locate(c.field, c.key, 0), c.id != 0) << c.field << " " << VarToStr(c.key);
    if (c.id != 0) {
      EXPECT_EQ(Id(query), c.id) << c.field << " " << VarToStr(c.key);
    }
  }
  // Options do not apply to them; keys that do not convert are refused.
  EXPECT_TRUE(query->Locate("big", "-5", loPartialKey | loCaseInsensitive));
  EXPECT_EQ(Id(query), 3);
  EXPECT_NE(ErrorOf([&] { query->Locate("big", "abc", 0); }).find("'big'"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { query->Locate("d", "not a date", 0); }).find("'d'"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { query->Locate("t", "25:00", 0); }).find("'t'"), std::string::npos);
  EXPECT_EQ(Id(query), 3);
}

TEST_F(LocateTest, SeveralKeysMustAllMatch) {
  TTessel* query = OpenTypes();
  EXPECT_FALSE(query->Locate("name;tiny", VarArrayOf({"Brown", 7}), 0));
  EXPECT_EQ(Id(query), 1);
  EXPECT_TRUE(query->Locate("name;tiny", VarArrayOf({"Brown", 9}), 0));
  EXPECT_EQ(Id(query), 3);
  EXPECT_TRUE(query->Locate(" tiny ; name", VarArrayOf({Null(), Null()}), 0));
  EXPECT_EQ(Id(query), 4);
}

TEST_F(LocateTest, BadKeysRaiseAndLeaveTheCursorWhereItWas) {
  TTessel* query = OpenTypes();
  query->Next();
  ASSERT_EQ(Id(query), 2);
  int scrolls = 0;
  query->BeforeScroll = [&](TDataSet*) { ++scrolls; };
  EXPECT_EQ(ErrorOf([&] { query->Locate("nothing", 1, 0); }), "Field 'nothing' not found");
  EXPECT_EQ(ErrorOf([&] {
              query->Locate("id;tiny", VarArrayOf({1, 2, 3}), 0);
            }),
            Format(SLocateKeyCount.str(), {3, 2, "id;tiny"}));
  EXPECT_EQ(ErrorOf([&] { query->Locate("id;tiny", 1, 0); }),
            Format(SLocateKeyCount.str(), {1, 2, "id;tiny"}));
  EXPECT_NE(ErrorOf([&] { query->Locate("small", "abc", 0); }).find("'small'"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { query->Locate("dt", "not a date", 0); }).find("'dt'"), std::string::npos);
  // Text and binary keys cannot be compared: refused, naming the field.
  EXPECT_EQ(ErrorOf([&] { query->Locate("memo", "x", 0); }),
            Format(SFieldUnsupportedType.str(), {"memo"}));
  EXPECT_EQ(ErrorOf([&] { query->Lookup("bin", "x", "id"); }),
            Format(SFieldUnsupportedType.str(), {"bin"}));
  EXPECT_EQ(scrolls, 0);
  EXPECT_EQ(Id(query), 2);
  EXPECT_EQ(query->RecNo(), 2);
  EXPECT_EQ(query->State(), dsBrowse);
}

TEST_F(LocateTest, TheSearchReadsFurtherRowsFromTheServer) {
  MakeNumbers("l_lazy", 60);
  TTessel* query = NewQuery("SELECT id, name FROM l_lazy ORDER BY id");
  query->Open();
  ASSERT_LT(query->RecordCache().Count(), 40);
  EXPECT_TRUE(query->Locate("name", "name40", 0));
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 40);
  EXPECT_EQ(query->RecNo(), 40);
  EXPECT_EQ(query->RecordCache().Count(), 40) << "rows are read only until one matches";
  EXPECT_FALSE(query->AllFetched());
  // Navigation goes on from the found record and reads the next rows in order.
  query->Next();
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 41);

  EXPECT_FALSE(query->Locate("id", 61, 0));
  EXPECT_TRUE(query->AllFetched());
  EXPECT_EQ(query->RecordCount(), 60);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 41);
  query->Last();
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 60);
  EXPECT_TRUE(query->Eof());
}

TEST_F(LocateTest, LookupReturnsValuesWithoutMoving) {
  TTessel* query = OpenTypes(false);
  int scrolls = 0;
  query->AfterScroll = [&](TDataSet*) { ++scrolls; };
  EXPECT_EQ(query->Lookup("name", "Brown", "tiny").AsInteger(), 9);
  const Variant both = query->Lookup("tiny", 200, "name;m");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both[0].AsString(), "smithers");
  EXPECT_DOUBLE_EQ(both[1].AsFloat(), 123456789.1234);
  EXPECT_TRUE(query->Lookup("name", "nobody", "id").IsNull());
  // Lookup is exact and case-sensitive.
  EXPECT_TRUE(query->Lookup("name", "brown", "id").IsNull());
  EXPECT_EQ(Id(query), 1);
  EXPECT_EQ(query->RecNo(), 1);
  EXPECT_EQ(scrolls, 0);
  // Rows read for the lookup join the cache; navigation continues in order.
  query->Next();
  EXPECT_EQ(Id(query), 2);
  query->Next();
  query->Next();
  EXPECT_EQ(Id(query), 4);
}

TEST_F(LocateTest, LookupComputesCalculatedFieldsOfTheFoundRecord) {
  MakeNumbers("l_calc", 5);
  TTessel* query = NewQuery("SELECT id, name FROM l_calc ORDER BY id");
  auto* id = new TIntegerField(query);
  id->SetFieldName("id");
  id->SetDataSet(query);
  auto* name = new TStringField(query);
  name->SetFieldName("name");
  name->SetSize(30);
  name->SetDataSet(query);
  auto* twice = new TIntegerField(query);
  twice->SetFieldName("twice");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(query);
  query->OnCalcFields = [&](TDataSet*) { twice->SetAsInteger(id->AsInteger() * 2); };
  query->Open();
  EXPECT_EQ(query->Lookup("name", "name4", "twice").AsInteger(), 8);
  EXPECT_EQ(twice->AsInteger(), 2) << "the current record's calculated field is its own";
  EXPECT_EQ(ErrorOf([&] { query->Locate("twice", 8, 0); }),
            Format(SLocateCalcField.str(), {"twice"}));
}

}  // namespace
}  // namespace tessel::testing
