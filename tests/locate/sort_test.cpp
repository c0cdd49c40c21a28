// SortField on real results: the refusal of a partly read result, the order
// per column type with nulls, ascending and descending in turn, the current
// record and bookmarks across a sort, and the refused calculated field.

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "error_text.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"
#include "query_fixture.h"
#include "runtime/lqSQLConst.h"

namespace tessel::testing {
namespace {

class SortTest : public QueryTest {
 protected:
  static std::vector<double> Numbers(TTessel& query, const std::string& field) {
    std::vector<double> values;
    for (query.First(); !query.Eof(); query.Next()) {
      const TField* value = query.FieldByName(field);
      values.push_back(value->DataType() == ftBoolean ? (value->AsBoolean() ? 1 : 0)
                                                      : value->AsFloat());
    }
    return values;
  }

  // Each value of the field, and one that no record holds, located in the
  // order the cache has now: the first record holding it, as a walk finds.
  static void ExpectLocatesAsWalk(TTessel& query, const std::string& field,
                                  const std::string& when) {
    const std::vector<double> values = Numbers(query, field);
    std::vector<double> wanted = values;
    // Any number but 0 is true to a bit column.
    if (field != "flag") wanted.push_back(123456.5);
    for (const double value : wanted) {
      const auto first = std::find(values.begin(), values.end(), value);
      const bool found = query.Locate(field, Variant(value), 0);
      EXPECT_EQ(found, first != values.end()) << field << " = " << value << ", " << when;
      if (found && first != values.end()) {
        EXPECT_EQ(query.RecNo(), first - values.begin() + 1)
            << field << " = " << value << ", " << when;
      }
    }
  }
};

TEST_F(SortTest, OnlyAFullyReadResultSorts) {
  MakeNumbers("s_lazy", 30);
  TTessel* query = NewQuery("SELECT id, name FROM s_lazy ORDER BY id");
  query->Open();
  query->Next();
  EXPECT_EQ(ErrorOf([&] { query->SortField("id", soDescending); }), SSortFieldError.str());
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 2);
  EXPECT_EQ(query->RecNo(), 2);
  query->Last();
  query->SortField("id", soDescending);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 30) << "the current record stays current";
  EXPECT_EQ(query->RecNo(), 1);
  query->Next();
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 29);
}

TEST_F(SortTest, AscendingDescendingAscendingWithNulls) {
  MakeTable("s_ints", "id int NOT NULL, v int NULL",
            {"(1, 5)", "(2, NULL)", "(3, -7)", "(4, 100000)", "(5, NULL)", "(6, 0)", "(7, 5)"});
  TTessel* query = NewQuery("SELECT id, v FROM s_ints");
  query->SetCacheAllRecords(true);
  query->Open();
  // The name is matched without regard to case and surrounding blanks.
  query->SortField(" V ", soAscending);
  EXPECT_EQ(Column(*query, "v"), (std::vector<std::string>{"", "", "-7", "0", "5", "5", "100000"}));
  query->SortField("v", soDescending);
  EXPECT_EQ(Column(*query, "v"), (std::vector<std::string>{"100000", "5", "5", "0", "-7", "", ""}));
  query->SortField("v", soAscending);
  EXPECT_EQ(Column(*query, "v"), (std::vector<std::string>{"", "", "-7", "0", "5", "5", "100000"}));
  // An unknown name changes nothing and raises nothing.
  query->SortField("nothing", soDescending);
  EXPECT_EQ(Column(*query, "v"), (std::vector<std::string>{"", "", "-7", "0", "5", "5", "100000"}));
}

// Distinct values with one null among them, of whole and real numbers and
// of texts that agree on their first eight letters (one differing only in
// case), so that whole texts decide.
TEST_F(SortTest, OneNullAmongDistinctValuesGoesFirstAscendingAndLastDescending) {
  MakeTable("s_one_null", "id int NOT NULL, i bigint NULL, f float NULL, t varchar(30) NULL",
            {"(1, 3, 0.5, 'apple pie crust two')", "(2, NULL, NULL, NULL)",
             "(3, -1, -0.5, 'apple pie crust one')", "(4, 7, 2, 'apple pie crust zzz')",
             "(5, 0, 0, 'Apple pie crust one')"});
  TTessel* query = NewQuery("SELECT * FROM s_one_null");
  query->SetCacheAllRecords(true);
  query->Open();
  for (const char* field : {"i", "f", "t"}) {
    query->SortField(field, soAscending);
    EXPECT_EQ(Column(*query, "id"), (std::vector<std::string>{"2", "3", "5", "1", "4"})) << field;
    query->SortField(field, soDescending);
    EXPECT_EQ(Column(*query, "id"), (std::vector<std::string>{"4", "1", "5", "3", "2"})) << field;
  }
}

TEST_F(SortTest, NumericColumnsSortByTheirValues) {
  // Values whose raw bytes order differently from their values: negative
  // numbers, a money value whose low half is large, fractions.
  MakeTable("s_nums",
            "id int NOT NULL, tiny tinyint NULL, small smallint NULL, flag bit NULL, r real NULL, "
            "f float NULL, sm smallmoney NULL, m money NULL, d decimal(10,2) NULL, "
            "dt datetime NULL, sdt smalldatetime NULL",
            {"(1, 200, -2, 1, -1.5, 2.5, -3.5, 429496.7296, -1.25, '20240101 00:00:00.003', "
             "'20240101 00:01')",
             "(2, 3, 300, 0, 0.25, -1e-3, 214748.3647, -0.0001, 10.50, '19000101', '19000101')",
             "(3, 17, -30000, 1, 1e6, 0, 0, 429496.7295, 3.00, '20240101', '20240101')",
             "(4, 0, 0, 0, -2, -1e30, -0.0001, 12, -100.00, '99991231 23:59:59.997', "
             "'20790606')"});
  TTessel* query = NewQuery("SELECT * FROM s_nums");
  query->SetCacheAllRecords(true);
  query->Open();
  for (const char* field : {"tiny", "small", "flag", "r", "f", "sm", "m", "d", "dt", "sdt"}) {
    std::vector<double> expected = Numbers(*query, field);
    std::sort(expected.begin(), expected.end());
    query->SortField(field, soAscending);
    EXPECT_EQ(Numbers(*query, field), expected) << field;
    ExpectLocatesAsWalk(*query, field, "ascending");
    std::reverse(expected.begin(), expected.end());
    query->SortField(field, soDescending);
    EXPECT_EQ(Numbers(*query, field), expected) << field;
    ExpectLocatesAsWalk(*query, field, "descending");
  }
}

TEST_F(SortTest, LongDecimalsSortByEveryDigit) {
  // Equal as doubles, and spread over more bytes than a double holds.
  MakeTable(
      "s_long", "id int NOT NULL, v decimal(38,10) NULL",
      {"(3, 1234567890123456789.0123456790)", "(1, -1234567890123456789.0123456789)",
       "(4, 1234567890123456789.0123456791)", "(2, 1234567890123456789.0123456789)", "(0, NULL)"});
  TTessel* query = NewQuery("SELECT * FROM s_long");
  query->SetCacheAllRecords(true);
  query->Open();
  query->SortField("v", soAscending);
  EXPECT_EQ(Column(*query, "id"), (std::vector<std::string>{"0", "1", "2", "3", "4"}));
  query->SortField("v", soDescending);
  EXPECT_EQ(Column(*query, "id"), (std::vector<std::string>{"4", "3", "2", "1", "0"}));
}

TEST_F(SortTest, TextSortsInDictionaryOrderAndBlobsByLength) {
  MakeTable("s_text",
            "id int NOT NULL, name varchar(20) NULL, code char(3) NOT NULL, memo text NULL",
            {"(1, 'Smith', 'b', 'four')", "(2, 'adams', 'a', 'a')",
             "(3, 'Brown', 'B', 'twelve chars')", "(4, 'Adams', 'A', 'ab')"});
  TTessel* query = NewQuery("SELECT * FROM s_text");
  query->SetCacheAllRecords(true);
  query->Open();
  query->SortField("name", soAscending);
  EXPECT_EQ(Column(*query, "name"), (std::vector<std::string>{"adams", "Adams", "Brown", "Smith"}));
  query->SortField("name", soDescending);
  EXPECT_EQ(Column(*query, "name"), (std::vector<std::string>{"Smith", "Brown", "Adams", "adams"}));
  query->SortField("code", soAscending);
  EXPECT_EQ(Column(*query, "code"), (std::vector<std::string>{"a", "A", "b", "B"}));
  query->SortField("memo", soAscending);
  EXPECT_EQ(Column(*query, "id"), (std::vector<std::string>{"2", "4", "1", "3"}));
}

// UTF-8 text: letters decide first, then accents from the left, then case
// with lower case first; Latin before Greek before Cyrillic.
TEST_F(SortTest, UnicodeTextSortsByLettersThenAccentsThenCase) {
  const std::vector<std::string> sorted = {
      "ábaco", "adams", "Adams", "cote",   "Cote",  "coté",  "côte",  "Côte",  "côté",   "ecole",
      "Ecole", "école", "École", "ecoles", "zebra", "Zebra", "Ωμέγα", "ωραίο", "москва", "Москва"};
  std::vector<std::string> rows;
  for (std::size_t i = 0; i < sorted.size(); ++i) {
    // Inserted in an order unrelated to the sorted one.
    const std::string& word = sorted[i * 7 % sorted.size()];
    rows.push_back("(" + std::to_string(i + 1) + ", N'" + word + "')");
  }
  rows.push_back("(99, NULL)");
  MakeTable("s_unicode", "id int NOT NULL, word nvarchar(20) NULL", rows);
  TTessel* query = NewQuery("SELECT id, word FROM s_unicode ORDER BY id");
  query->SetCacheAllRecords(true);
  query->Open();
  std::vector<std::string> ascending = sorted;
  ascending.insert(ascending.begin(), "");
  query->SortField("word", soAscending);
  EXPECT_EQ(Column(*query, "word"), ascending);
  query->SortField("word", soDescending);
  EXPECT_EQ(Column(*query, "word"), std::vector<std::string>(ascending.rbegin(), ascending.rend()));
}

TEST_F(SortTest, TheCurrentRecordAndBookmarksSurviveASort) {
  MakeNumbers("s_marks", 40);
  TTessel* query = NewQuery("SELECT id, name FROM s_marks ORDER BY id");
  query->SetCacheAllRecords(true);
  query->Open();
  query->SetRecNo(10);
  const TBookmark ten = query->GetBookmark();
  query->SetRecNo(25);
  int scrolls = 0;
  query->AfterScroll = [&](TDataSet*) { ++scrolls; };
  // name sorts "name1", "name10", ... "name19", "name2", "name20" ...
  query->SortField("name", soAscending);
  EXPECT_EQ(scrolls, 1);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 25);
  EXPECT_EQ(query->RecNo(), 18);
  query->GotoBookmark(ten);
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 10);
  EXPECT_EQ(query->RecNo(), 2);
  // Search and navigation follow the new order.
  EXPECT_TRUE(query->Locate("name", "name3", loPartialKey));
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 3);
  query->Next();
  EXPECT_EQ(query->FieldByName("id")->AsInteger(), 30);
}

// Sorts by numbers that were sorted by before reuse keys the cache kept and
// moved along with every later sort (by numbers or text), and drop them once
// an edit changes the cache: each order must still be the values' order.
TEST_F(SortTest, SortsAfterSortsAndEditsFollowTheValues) {
  std::vector<std::string> rows;
  for (int n = 1; n <= 40; ++n) {
    // Distinct values in no order relative to the ids; one null real.
    rows.push_back(Format("(%d, %d, %s, '20240101 %.2d:%.2d', 'k%.2d')",
                          {n, n * 37 % 101 - 50,
                           n == 7 ? std::string("NULL") : std::to_string(n * 53 % 97 * 0.25 - 3),
                           n * 29 % 41 / 60, n * 29 % 41 % 60, n * 17 % 43}));
  }
  MakeTable("s_again", "id int NOT NULL, i int NULL, f float NULL, dt datetime NULL, w varchar(5)",
            rows);
  TTessel* query = NewQuery("SELECT * FROM s_again");
  query->SetCacheAllRecords(true);
  query->SetOptions(TOption{LocalEdit});
  query->UpdateParams()->SetTableName("s_again");
  query->UpdateParams()->KeyFields()->Add("id");
  query->Open();
  struct Step {
    const char* field;
    TlqSortOrder order;
    int editId = 0;  // before the sort, this record's i and f take these
    int editI = 0;
    double editF = 0;
  };
  const Step steps[] = {
      {"i", soAscending},
      {"f", soDescending},
      {"dt", soAscending},
      {"w", soAscending},
      {"i", soDescending},
      {"f", soAscending},
      {"dt", soDescending},
      {"i", soAscending},
      // A new largest i, and an f equal to another record's (sorted as ties).
      {"i", soAscending, 12, 1000, 10.25},
      {"f", soDescending},
      {"dt", soAscending},
      {"i", soDescending},
      {"f", soAscending},
  };
  for (const Step& step : steps) {
    const std::string what = std::string(step.field) + (step.order == soDescending ? " desc" : "");
    if (step.editId != 0) {
      ASSERT_TRUE(query->Locate("id", step.editId, 0));
      query->Edit();
      query->FieldByName("i")->SetAsInteger(step.editI);
      query->FieldByName("f")->SetAsFloat(step.editF);
      query->Post();
    }
    query->SortField(step.field, step.order);
    std::vector<double> keys;
    std::vector<int> ids;
    std::vector<bool> nulls;
    for (query->First(); !query->Eof(); query->Next()) {
      const TField* key = query->FieldByName(step.field);
      ids.push_back(static_cast<int>(query->FieldByName("id")->AsInteger()));
      nulls.push_back(key->IsNull());
      if (key->IsNull()) continue;
      keys.push_back(std::string(step.field) == "w"    ? std::stod(key->AsString().substr(1))
                     : std::string(step.field) == "dt" ? key->AsDateTime()
                                                       : key->AsFloat());
    }
    // Nulls first ascending, last descending.
    EXPECT_TRUE(std::is_partitioned(nulls.begin(), nulls.end(), [&](bool null) {
      return null == (step.order == soAscending);
    })) << what;
    if (step.order == soDescending) std::reverse(keys.begin(), keys.end());
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << what;
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids.size(), 40u) << what;
    EXPECT_TRUE(std::adjacent_find(ids.begin(), ids.end()) == ids.end()) << what;
  }
}

// The classic partition exchange with the middle entry as pivot, over
// (key, id) pairs with nulls first: the order records with equal keys must
// end in, written out independently of the query's own sort.
using Keyed = std::pair<std::optional<std::string>, std::string>;

void ReferenceSort(std::vector<Keyed>& entries, int L, int R, int direction) {
  const auto compare = [](const Keyed& a, const Keyed& b) {
    if (!a.first || !b.first)
      return a.first.has_value() == b.first.has_value() ? 0 : (a.first ? 1 : -1);
    return a.first < b.first ? -1 : (b.first < a.first ? 1 : 0);
  };
  int I = L, J = R;
  const Keyed pivot = entries[static_cast<std::size_t>((L + R) / 2)];
  do {
    while (direction * compare(entries[static_cast<std::size_t>(I)], pivot) < 0) ++I;
    while (direction * compare(entries[static_cast<std::size_t>(J)], pivot) > 0) --J;
    if (I <= J)
      std::swap(entries[static_cast<std::size_t>(I++)], entries[static_cast<std::size_t>(J--)]);
  } while (I <= J);
  if (L < J) ReferenceSort(entries, L, J, direction);
  if (I < R) ReferenceSort(entries, I, R, direction);
}

TEST_F(SortTest, RecordsWithEqualKeysEndWherePartitionExchangeLeavesThem) {
  // Few distinct values among many rows, some of them null; the integer
  // keys are single digits, so their text orders like their values. The
  // texts of u are distinct but for three nulls.
  std::vector<std::string> rows;
  for (int id = 1; id <= 90; ++id) {
    const std::string digit = id % 13 == 0 ? "NULL" : std::to_string(id * 7 % 4);
    const std::string word =
        id % 11 == 0 ? "NULL" : (id % 3 == 0 ? "'fig'" : (id % 3 == 1 ? "'apple'" : "'pear'"));
    const std::string distinct = id % 29 == 0 ? "NULL" : Format("'u%.2d'", {id * 37 % 97});
    rows.push_back("(" + std::to_string(id) + ", " + digit + ", " + word + ", " + distinct + ")");
  }
  MakeTable("s_equal", "id int NOT NULL, v int NULL, w varchar(10) NULL, u varchar(5) NULL", rows);
  TTessel* query = NewQuery("SELECT id, v, w, u FROM s_equal ORDER BY id");
  query->SetCacheAllRecords(true);
  query->Open();
  const auto entries = [&](const std::string& field) {
    std::vector<Keyed> result;
    for (query->First(); !query->Eof(); query->Next()) {
      const TField* key = query->FieldByName(field);
      result.emplace_back(key->IsNull() ? std::nullopt : std::optional(key->AsString()),
                          query->FieldByName("id")->AsString());
    }
    return result;
  };
  const auto ids = [](const std::vector<Keyed>& sorted) {
    std::vector<std::string> result;
    for (const Keyed& entry : sorted) result.push_back(entry.second);
    return result;
  };
  for (const char* field : {"v", "w", "v", "u", "w", "u"}) {
    for (TlqSortOrder order : {soAscending, soDescending}) {
      std::vector<Keyed> expected = entries(field);
      ReferenceSort(expected, 0, static_cast<int>(expected.size()) - 1,
                    order == soDescending ? -1 : 1);
      query->SortField(field, order);
      EXPECT_EQ(Column(*query, "id"), ids(expected))
          << field << (order == soDescending ? " descending" : " ascending");
    }
  }
}

TEST_F(SortTest, ACalculatedFieldIsRefused) {
  MakeNumbers("s_calc", 3);
  TTessel* query = NewQuery("SELECT id FROM s_calc ORDER BY id");
  query->SetCacheAllRecords(true);
  auto* id = new TIntegerField(query);
  id->SetFieldName("id");
  id->SetDataSet(query);
  auto* twice = new TIntegerField(query);
  twice->SetFieldName("Twice");
  twice->SetFieldKind(fkCalculated);
  twice->SetDataSet(query);
  query->OnCalcFields = [&](TDataSet*) { twice->SetAsInteger(-id->AsInteger()); };
  query->Open();
  EXPECT_EQ(ErrorOf([&] { query->SortField("twice", soAscending); }),
            Format(SSortCalcField.str(), {"Twice"}));
  EXPECT_EQ(Column(*query, "id"), (std::vector<std::string>{"1", "2", "3"}));
}

}  // namespace
}  // namespace tessel::testing
