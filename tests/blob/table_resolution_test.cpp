// The tables of text and image columns as read from the SQL text, and the
// catalog statement sent for the rest, against the stand-in client library
// (which logs every command). The fields are persistent fields of an
// unopened query, so no server is involved.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dblib_stub.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

constexpr long long kNoMoreResults = 2;

class TableResolutionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("TESSEL_DBLIB", TESSEL_STUB_COMPLETE, 1);
    InitializeDBLIB();
  }
  void SetUp() override {
    stub_reset();
    stub_set("dbresults", kNoMoreResults);
    server.SetServerName("srv");
    server.SetUsername("sa");
    query.SetSQLServer(&server);
  }
  void TearDown() override { query.SetSQLServer(nullptr); }

  void AddMemo(const std::string& name) {
    auto* field = new TMemoField(&query);
    field->SetFieldName(name);
    field->SetDataSet(&query);
  }
  // The query with memo fields note and memo, and a string field that
  // resolution must pass over.
  void Resolve(const std::string& sql) {
    AddMemo("note");
    auto* name = new TStringField(&query);
    name->SetFieldName("name");
    name->SetDataSet(&query);
    AddMemo("memo");
    query.SQL()->SetText(sql);
    query.CreateBlobFieldList();
  }
  // "table/field/alias" of every item, in order, separated by blanks.
  std::string Items() const {
    std::string text;
    const TlqFieldList& list = *query.FieldList();
    for (int i = 0; i < list.Count(); ++i) {
      if (!text.empty()) text += ' ';
      text += list.Items(i).TableName + "/" + list.Items(i).FieldName + "/" + list.Items(i).Alias;
    }
    return text;
  }
  // Everything given to dbcmd, in order.
  static std::string Commands() {
    std::string text;
    const std::string log = stub_log();
    std::size_t at = 0;
    while ((at = log.find("dbcmd ", at)) != std::string::npos) {
      const std::size_t end = log.find('\n', at);
      text += log.substr(at + 6, end - at - 6);
      at = end;
    }
    return text;
  }

  TSQLServer server{nullptr};
  TTessel query{nullptr};
};

TEST_F(TableResolutionTest, OneTableServesEveryBlobFieldInAnyLayout) {
  Resolve("SELECT *\n\tfrom\r\n\tOrders\nORDER BY id");
  EXPECT_EQ(Items(), "Orders/note/ Orders/memo/");
  EXPECT_EQ(query.LongFieldName("note"), "Orders.note");
  EXPECT_EQ(query.LongFieldName("name"), "name") << "not a blob field: no item";
  EXPECT_EQ(Commands(), "") << "the catalog is not asked";
}

TEST_F(TableResolutionTest, QualifiersOfTheSelectListMatchAliasesAndTables) {
  Resolve("select o.note, items.memo from orders o, items where o.id=items.id");
  EXPECT_EQ(Items(), "orders/note/o items/memo/");
  EXPECT_EQ(Commands(), "");
}

TEST_F(TableResolutionTest, TheCatalogIsAskedForUnqualifiedColumns) {
  Resolve("select note, memo from orders o, items i");
  EXPECT_EQ(Commands(),
            "select c.name,o.name from sysobjects o, syscolumns c where c.id=o.id and "
            "(o.name='orders' or o.name='items' ) and (c.name='note'  or c.name='memo' )");
}

TEST_F(TableResolutionTest, HintsJoinsAndParenthesesFollowTheReadingRules) {
  // A hint after a blank is skipped and gives no alias.
  Resolve("select items.memo, orders.note from orders (index=ix), items");
  EXPECT_EQ(Items(), "orders/note/ items/memo/");
}

TEST_F(TableResolutionTest, AJoinEndsTheListAfterTheFirstTable) {
  Resolve("select i.memo from orders o join items i on o.id=i.id");
  EXPECT_EQ(Items(), "orders/note/ orders/memo/");
}

TEST_F(TableResolutionTest, AHintWithoutABlankReadsAsASecondTable) {
  Resolve("select orders.note, memo from orders(nolock)");
  EXPECT_EQ(Items(), "orders/note/");
  EXPECT_NE(Commands().find("(o.name='orders' or o.name='(nolock)' )"), std::string::npos)
      << Commands();
}

TEST_F(TableResolutionTest, BracketedAndOwnerNamesStayAsWritten) {
  Resolve("select n.note, [items].memo from dbo.orders n, [items]");
  EXPECT_EQ(Items(), "dbo.orders/note/n [items]/memo/");
}

// The catalog holds bare names: owner prefixes and brackets are taken off
// there, and a quote cannot end the literal early.
TEST_F(TableResolutionTest, CatalogNamesAreBareAndQuoted) {
  Resolve("select note from dbo.orders o, [it'ems] i");
  EXPECT_NE(Commands().find("(o.name='orders' or o.name='it''ems' )"), std::string::npos)
      << Commands();
}

TEST_F(TableResolutionTest, QualifiersAreComparedWithRegardToCase) {
  Resolve("select O.note, i.memo from orders o, items i");
  EXPECT_EQ(Items(), "O/note/ items/memo/i");
}

TEST_F(TableResolutionTest, AnUnknownQualifierIsTakenAsTheTable) {
  Resolve("select x.note, i.memo from orders o, items i");
  EXPECT_EQ(Items(), "x/note/ items/memo/i");
}

TEST_F(TableResolutionTest, TheQualifierOfALongerNameIsFoundFirst) {
  AddMemo("id");
  query.SQL()->SetText("select o.idx, p.id from orders o, parts p");
  query.CreateBlobFieldList();
  EXPECT_EQ(Items(), "orders/id/o");
}

TEST_F(TableResolutionTest, TheLastFromAndWhereAreUsed) {
  Resolve("select note from orders where id in (select id from items where id > 0)");
  EXPECT_EQ(Items(), "items/note/ items/memo/");
}

TEST_F(TableResolutionTest, NamesAreCutTo30Characters) {
  Resolve("select * from a_table_name_of_thirty_five_chars");
  EXPECT_EQ(query.FieldList()->Items(0).TableName, "a_table_name_of_thirty_five_ch");
  TlqFieldList list;
  list.AddNames("  a_field_name_of_thirty_five_chars ", "t", "");
  EXPECT_EQ(list.FindTableName("a_field_name_of_thirty_five_chars"), "");
  EXPECT_EQ(list.FindTableName("a_field_name_of_thirty_five_ch"), "t.");
}

// Without a FROM clause to read, resolution fails once; the empty list then
// answers with the bare name until the SQL text changes.
TEST_F(TableResolutionTest, NoTableFailsOnceUntilTheTextChanges) {
  AddMemo("note");
  for (const char* sql : {"exec get_notes", "from orders",
                          "select note, (select max(id) "
                          "from items where id > 0) from orders"}) {
    query.SQL()->SetText(sql);
    try {
      query.LongFieldName("note");
      ADD_FAILURE() << sql;
    } catch (const EDatabaseError& error) {
      EXPECT_EQ(std::string(error.what()), SUnableToResolveName.str()) << sql;
    }
    EXPECT_EQ(query.LongFieldName("note"), "note") << sql;
    ASSERT_NE(query.FieldList(), nullptr);
  }
  query.SQL()->SetText("select note from orders");
  EXPECT_EQ(query.FieldList(), nullptr);
  EXPECT_EQ(query.LongFieldName("note"), "orders.note");
}

}  // namespace
}  // namespace tessel
