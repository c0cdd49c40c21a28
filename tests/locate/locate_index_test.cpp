// Repeated Locate and Lookup, which go through key indexes once a search on
// the same fields comes again: every answer must be the one a plain walk
// over the records gives, over random data with nulls and duplicates, and
// stay so across edits, inserts, deletes, a sort and rows read later. Texts
// are searched whole and by their beginning, with and without case.

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "collation/text_collation.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"
#include "query_fixture.h"

namespace tessel::testing {
namespace {

constexpr int kRows = 700;  // enough for the cache to index

// Texts that differ only by case, accents or spelling of the same letter,
// and some that go on past printable ASCII (an accent, a soft hyphen, a
// combining mark) after a beginning they share with others.
const char* const kNames[] = {"École",
                              "école",
                              "ECOLE",
                              "ecole",
                              "e\xCC\x81"
                              "cole",
                              "zebra",
                              "Zebra",
                              "\xCE\xA9mega",
                              "\xCF\x89mega",
                              "Ecol\xC3\xA9",
                              "ecoles",
                              "EC\xC2\xADOLE",
                              "ze\xCC\x81",
                              ""};

// Beginnings searched for with loPartialKey: of printable ASCII (the prefix
// index answers) and not (the scan does).
const char* const kBeginnings[] = {"",       "e", "E",  "ec",   "Ecol",     "ecole",
                                   "ECOLES", "z", "ze", "ZEBU", "\xC3\xA9", "x"};

// The last row's name alone begins so.
constexpr const char* kLastRowBeginning = "ZEBU";

struct Search {
  const char* field;
  Variant value;
  TLocateOptions options;
};

class LocateIndexTest : public QueryTest {
 protected:
  TTessel* OpenRandom(bool cache_all = true) {
    std::mt19937 random(20261209);
    std::vector<std::string> rows;
    for (int id = 1; id <= kRows; ++id) {
      const auto maybe = [&](const std::string& value) {
        return random() % 10 == 0 ? std::string("NULL") : value;
      };
      const std::string name = id == kRows ? "zebulon" : kNames[random() % std::size(kNames)];
      rows.push_back(Format("(%d, %s, %s, %s, %s)",
                            {id, maybe(std::to_string(random() % 97)),
                             maybe(std::to_string(5000000000LL + random() % 50)),
                             maybe("'2026120" + std::to_string(1 + random() % 5) + " 10:00:00.00" +
                                   std::to_string(3 + random() % 2 * 4) + "'"),
                             maybe("N'" + name + "'")}));
    }
    MakeTable("li_random",
              "id int NOT NULL, k int NULL, big bigint NULL, dt datetime NULL, "
              "name nvarchar(20) NULL",
              rows);
    TTessel* query = NewQuery("SELECT * FROM li_random ORDER BY id");
    query->SetCacheAllRecords(cache_all);
    // Edits stay in the cache; a delete reaches the server by the key.
    query->SetOptions(TOption{LocalEdit});
    query->UpdateParams()->SetTableName("li_random");
    query->UpdateParams()->KeyFields()->Add("id");
    query->Open();
    return query;
  }

  static int Id(TTessel* query) { return static_cast<int>(query->FieldByName("id")->AsInteger()); }

  static bool Matches(TField* field, const Search& search) {
    if (search.value.IsNull()) return field->IsNull();
    if (field->IsNull()) return false;
    const collation::Level level = (search.options & loCaseInsensitive) != 0
                                       ? collation::Level::IgnoreCase
                                       : collation::Level::Case;
    switch (field->DataType()) {
      case ftString:
      case ftWideString:
        if ((search.options & loPartialKey) != 0) {
          return collation::StartsWith(field->AsString(), VarToStr(search.value), level);
        }
        return collation::Equal(field->AsString(), VarToStr(search.value), level);
      case ftDateTime:
        return field->AsDateTime() == search.value.AsDateTime();
      case ftLargeint:
        return std::stoll(field->AsString()) == search.value.AsInteger();
      default:
        return field->AsInteger() == search.value.AsInteger();
    }
  }

  // The id of the first record, in the dataset's order, that a walk finds;
  // 0 when none.
  static int Walk(TTessel* query, const Search& search) {
    for (query->First(); !query->Eof(); query->Next()) {
      if (Matches(query->FieldByName(search.field), search)) return Id(query);
    }
    return 0;
  }

  static std::vector<Search> Searches() {
    std::vector<Search> searches;
    for (int k : {0, 5, 96, 97, 1000}) searches.push_back({"k", k, 0});
    // -0 equals 0.
    searches.push_back({"k", Variant(-0.0), 0});
    for (long long big : {5000000000LL, 5000000049LL, 5000000050LL}) {
      searches.push_back({"big", Variant(big), 0});
    }
    for (int day : {1, 3, 6}) {
      for (int ms : {3, 7}) {
        searches.push_back(
            {"dt", VarFromDateTime(EncodeDate(2026, 12, day) + EncodeTime(10, 0, 0, ms)), 0});
      }
    }
    for (const char* name : kNames) {
      searches.push_back({"name", name, 0});
      searches.push_back({"name", name, TLocateOptions{loCaseInsensitive}});
    }
    for (const char* beginning : kBeginnings) {
      for (TLocateOptions options : {loPartialKey, loPartialKey | loCaseInsensitive}) {
        searches.push_back({"name", beginning, options});
      }
    }
    searches.push_back({"name", "nobody", 0});
    for (const char* field : {"k", "big", "dt", "name"}) searches.push_back({field, Null(), 0});
    return searches;
  }

  // The field Result of the first record, in the dataset's order, that a
  // walk finds; null when none.
  static Variant WalkResult(TTessel* query, const Search& search, const std::string& result) {
    for (query->First(); !query->Eof(); query->Next()) {
      if (Matches(query->FieldByName(search.field), search)) {
        return query->FieldByName(result)->AsVariant();
      }
    }
    return Null();
  }

  // Each search three times (a scan, then the index built, then used), and
  // Lookup of the id twice more, and of nullable fields of a few bytes,
  // which tables of answers keep, against the walk.
  static void ExpectSameAsWalk(TTessel* query, const std::string& when) {
    for (const Search& search : Searches()) {
      const int expected = Walk(query, search);
      const std::string what =
          when + ": " + search.field + " = " +
          (search.value.IsNull() ? std::string("null") : VarToStr(search.value)) +
          ((search.options & loCaseInsensitive) != 0 ? " ignoring case" : "") +
          ((search.options & loPartialKey) != 0 ? " partly" : "");
      for (int round = 0; round < 3; ++round) {
        const bool found = query->Locate(search.field, search.value, search.options);
        ASSERT_EQ(found, expected != 0) << what << ", round " << round;
        if (found) {
          ASSERT_EQ(Id(query), expected) << what << ", round " << round;
        }
      }
      if (search.options != 0) continue;
      for (int round = 0; round < 2; ++round) {
        const Variant looked = query->Lookup(search.field, search.value, "id");
        ASSERT_EQ(looked.IsNull() ? 0 : looked.AsInteger(), expected) << what << ", Lookup";
      }
      for (const char* result : {"big", "dt", "k"}) {
        const Variant wanted = WalkResult(query, search, result);
        const Variant looked = query->Lookup(search.field, search.value, result);
        ASSERT_EQ(looked.IsNull(), wanted.IsNull()) << what << ", Lookup of " << result;
        if (!wanted.IsNull()) {
          EXPECT_EQ(VarToStr(looked), VarToStr(wanted)) << what << ", Lookup of " << result;
        }
      }
    }
  }
};

TEST_F(LocateIndexTest, AnswersAsAWalkDoesThroughEditsInsertsDeletesAndASort) {
  TTessel* query = OpenRandom();
  ExpectSameAsWalk(query, "opened");

  // An edit that gives a key to an earlier record, and one that takes it away.
  ASSERT_TRUE(query->Locate("k", 5, 0));
  query->Edit();
  query->FieldByName("k")->SetAsInteger(1000);
  query->FieldByName("name")->SetAsString("nobody");
  query->Post();
  query->First();
  query->Edit();
  query->FieldByName("k")->SetAsInteger(96);
  query->FieldByName("big")->Clear();
  query->Post();
  ExpectSameAsWalk(query, "edited");

  query->First();
  query->Next();
  query->Delete();
  query->Insert();
  query->FieldByName("id")->SetAsInteger(kRows + 1);
  query->FieldByName("k")->SetAsInteger(0);
  query->FieldByName("name")->SetAsString("ZEBRA");
  query->Post();
  ExpectSameAsWalk(query, "deleted and inserted");

  query->SortField("name", soDescending);
  ExpectSameAsWalk(query, "sorted");
}

// Repeated Lookups by a number key keep their answers beside the keys: each
// change of a record must show in the next Lookup of it, an edit of the
// result field, a result made null, a delete, and rows changed on the
// server and read again.
TEST_F(LocateIndexTest, RepeatedLookupsFollowEveryChangeOfTheirRecords) {
  TTessel* query = OpenRandom();
  const auto expectAsWalk = [&](const std::string& when) {
    for (int id : {1, 2, 350, kRows}) {
      for (const char* result : {"k", "big", "dt", "id"}) {
        const Variant wanted = WalkResult(query, Search{"id", id, 0}, result);
        for (int round = 0; round < 3; ++round) {
          const Variant looked = query->Lookup("id", id, result);
          const std::string what = when + ": " + result + " of " + std::to_string(id);
          ASSERT_EQ(looked.IsNull(), wanted.IsNull()) << what;
          if (!wanted.IsNull()) {
            EXPECT_EQ(VarToStr(looked), VarToStr(wanted)) << what;
          }
        }
      }
    }
  };
  struct Step {
    const char* what;
    std::function<void()> change;
  };
  const Step steps[] = {
      {"opened", [] {}},
      {"edited",
       [&] {
         ASSERT_TRUE(query->Locate("id", 350, 0));
         query->Edit();
         query->FieldByName("k")->SetAsInteger(123456);
         query->FieldByName("big")->Clear();
         query->FieldByName("dt")->SetAsDateTime(EncodeDate(2030, 1, 2));
         query->Post();
       }},
      {"deleted",
       [&] {
         ASSERT_TRUE(query->Locate("id", 2, 0));
         query->Delete();
       }},
      {"changed on the server and read again",
       [&] {
         server->InternalExecute("UPDATE li_random SET k = 4242, big = NULL WHERE id = 1");
         query->Refresh();
         query->Close();
         query->Open();
       }},
  };
  for (const Step& step : steps) {
    step.change();
    expectAsWalk(step.what);
  }
  EXPECT_TRUE(query->Lookup("id", 2, "id").IsNull());
  EXPECT_EQ(query->Lookup("id", 1, "k").AsInteger(), 4242);
  EXPECT_TRUE(query->Lookup("id", 1, "big").IsNull());
}

// Repeated Lookups answered from a table of answers give each column type's
// values exactly as the record holds them, at the ends of each type's range,
// the finest fraction and null, by an int, a bigint and a float key; a
// float key of -0 finds the row of 0.
TEST_F(LocateIndexTest, RepeatedLookupsGiveEveryTypesEdgeValuesExactly) {
  // Rows 1 to 4 hold the edges; the others only make the cache large enough
  // to be indexed.
  const char* const kEdges[] = {
      "(1, -9223372036854775808, 0, -2147483648, -9223372036854775808, -922337203685477.5808, "
      "-214748.3648, -1.7976931348623157E+308, -3.4028235E+38, '1753-01-01 00:00:00.000', "
      "-9999999999999999999999999999.9999999999, 0, 0, -32768)",
      "(2, 9223372036854775807, 0.5, 2147483647, 9223372036854775807, 922337203685477.5807, "
      "214748.3647, 2.2250738585072014E-308, 1.17549435E-38, '9999-12-31 23:59:59.997', "
      "9999999999999999999999999999.9999999999, 1, 255, 32767)",
      "(3, 0, -1E+308, 0, 0, 0.0001, 0.0001, 0.1, 0.1, '2026-12-10 10:11:12.003', "
      "0.0000000001, 1, 1, 1)",
      "(4, 1, 1E-300, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)"};
  std::vector<std::string> rows(std::begin(kEdges), std::end(kEdges));
  for (int id = 5; id <= kRows; ++id) {
    rows.push_back(Format("(%d, %d, %d.25, %d, %d, %d, %d, %d, %d, '2000-01-01', %d, 0, 7, %d)",
                          {id, id, id, id, id, id, id, id, id, id, id}));
  }
  MakeTable("li_edges",
            "id int NOT NULL, bk bigint NOT NULL, fk float NOT NULL, i int NULL, b bigint NULL, "
            "m money NULL, sm smallmoney NULL, f float NULL, r real NULL, d datetime NULL, "
            "n decimal(38,10) NULL, bt bit NULL, ti tinyint NULL, si smallint NULL",
            rows);
  TTessel* query = NewQuery("SELECT * FROM li_edges ORDER BY id");
  query->SetCacheAllRecords(true);
  query->Open();
  struct Key {
    const char* field;
    Variant values[4];  // of rows 1 to 4
  };
  const Key keys[] = {
      {"id", {1, 2, 3, 4}},
      {"bk", {Variant(std::int64_t{INT64_MIN}), Variant(std::int64_t{INT64_MAX}), 0, 1}},
      {"fk", {-0.0, 0.5, -1e308, 1e-300}},
  };
  const char* const results[] = {"i", "b", "m", "sm", "f", "r", "d", "n", "bt", "ti", "si"};
  for (const Key& key : keys) {
    for (const char* result : results) {
      for (int row = 0; row < 4; ++row) {
        ASSERT_TRUE(query->Locate("id", row + 1, 0));
        const Variant wanted = query->FieldByName(result)->AsVariant();
        // The first Lookup notes the kind, the second makes the table, the
        // third reads it.
        for (int round = 0; round < 3; ++round) {
          const Variant looked = query->Lookup(key.field, key.values[row], result);
          EXPECT_TRUE(looked == wanted)
              << key.field << " " << result << " row " << row + 1 << " round " << round << ": "
              << VarToStr(looked) << " for " << VarToStr(wanted);
        }
      }
    }
  }
}

// Right after a sort by a number, a date or a text, searches on that field find the
// record through the keys the sort kept: the same answers in both orders,
// and none left over once an edit changes a key.
TEST_F(LocateIndexTest, SearchesOnTheSortedFieldAnswerAsAWalk) {
  TTessel* query = OpenRandom();
  for (const char* field : {"k", "big", "dt", "id", "name"}) {
    for (const TlqSortOrder order : {soAscending, soDescending}) {
      query->SortField(field, order);
      ExpectSameAsWalk(query, std::string("sorted by ") + field +
                                  (order == soDescending ? " descending" : " ascending"));
    }
  }
  query->SortField("k", soAscending);
  ASSERT_TRUE(query->Locate("k", 96, 0));
  query->Edit();
  query->FieldByName("k")->SetAsInteger(0);
  query->Post();
  query->Last();
  query->Edit();
  query->FieldByName("k")->SetAsInteger(5);
  query->Post();
  ExpectSameAsWalk(query, "edited after a sort");
}

// Searches remember what a list of names stands for, but only while the
// fields are as they were: a renamed field is found by its new name only.
TEST_F(LocateIndexTest, ARenamedFieldIsFoundByItsNewNameOnly) {
  TTessel* query = OpenRandom();
  const Search search{"k", 5, 0};
  const int expected = Walk(query, search);
  ASSERT_NE(expected, 0);
  ASSERT_TRUE(query->Locate("k", 5, 0));
  EXPECT_EQ(query->Lookup("id", expected, "k").AsInteger(), 5);
  query->FieldByName("k")->SetFieldName("key");
  EXPECT_THROW(query->Locate("k", 5, 0), EDatabaseError);
  EXPECT_THROW(query->Lookup("id", expected, "k"), EDatabaseError);
  ASSERT_TRUE(query->Locate("key", 5, 0));
  EXPECT_EQ(Id(query), expected);
  EXPECT_EQ(query->Lookup("id", expected, "key").AsInteger(), 5);
}

TEST_F(LocateIndexTest, RowsReadDuringTheSearchesJoinTheIndex) {
  TTessel* query = OpenRandom(false);
  // The indexes are made over the rows read so far; the rows a later search
  // reads from the server must join them. The prefix index is made on the
  // first 300 rows, and only the last row begins as its last search asks.
  const TLocateOptions partly = loPartialKey | loCaseInsensitive;
  ASSERT_TRUE(query->Locate("id", 300, 0));
  for (int round = 0; round < 2; ++round) ASSERT_TRUE(query->Locate("name", "e", partly));
  for (int id : {300, 300, kRows, kRows, 299, kRows - 1}) {
    ASSERT_TRUE(query->Locate("id", id, 0)) << id;
    EXPECT_EQ(Id(query), id);
  }
  EXPECT_FALSE(query->Locate("id", kRows + 1, 0));
  ASSERT_TRUE(query->Locate("name", kLastRowBeginning, partly));
  EXPECT_EQ(Id(query), kRows);
  ExpectSameAsWalk(query, "read later");
}

}  // namespace
}  // namespace tessel::testing
