// The statements the SQL builder writes: exact texts for the usual cases,
// names that need brackets or quoted parameters, and the cases where it
// refuses rather than write a statement that cannot run.

#include <gtest/gtest.h>

#include "design/update_sql_text.h"

namespace tessel::testing {
namespace {

TlqUpdateSQLText Build(const std::string& table, std::vector<std::string> fields,
                       std::vector<std::string> keys, bool key_only) {
  return BuildUpdateSQL(TlqUpdateSQLChoice{table, std::move(fields), std::move(keys), key_only});
}

TEST(UpdateSQLText, OneKeyWhereKeyOnly) {
  const TlqUpdateSQLText sql = Build("orders", {"id", "qty"}, {"id"}, true);
  EXPECT_EQ(sql.Refusal, "");
  EXPECT_EQ(sql.InsertSQL, "insert into orders (id\n, qty)\nValues(:id\n, :qty)");
  EXPECT_EQ(sql.ModifySQL, "update orders set id=:id\n, qty=:qty\nwhere \nid=:OLD_id\n");
  EXPECT_EQ(sql.DeleteSQL, "delete from orders\nwhere \nid=:OLD_id\n");
}

TEST(UpdateSQLText, SeveralKeysAreInsertedEvenWhenNotUpdated) {
  const TlqUpdateSQLText sql = Build("lines", {"qty", "price"}, {"order_no", "line_no"}, true);
  EXPECT_EQ(sql.InsertSQL,
            "insert into lines (qty\n, price\n, order_no\n, line_no)\n"
            "Values(:qty\n, :price\n, :order_no\n, :line_no)");
  EXPECT_EQ(sql.ModifySQL,
            "update lines set qty=:qty\n, price=:price\n"
            "where \norder_no=:OLD_order_no\nand line_no=:OLD_line_no\n");
  EXPECT_EQ(sql.DeleteSQL,
            "delete from lines\nwhere \norder_no=:OLD_order_no\nand line_no=:OLD_line_no\n");
}

TEST(UpdateSQLText, NoKeyWhereAllComparesEveryUpdateField) {
  const TlqUpdateSQLText sql = Build("log", {"at", "text"}, {}, false);
  EXPECT_EQ(sql.InsertSQL, "insert into log (at\n, text)\nValues(:at\n, :text)");
  EXPECT_EQ(sql.ModifySQL,
            "update log set at=:at\n, text=:text\nwhere \nat=:OLD_at\nand text=:OLD_text\n");
  EXPECT_EQ(sql.DeleteSQL, "delete from log\nwhere \nat=:OLD_at\nand text=:OLD_text\n");
}

TEST(UpdateSQLText, KeysWithoutUpdateFieldsGiveNoUpdate) {
  const TlqUpdateSQLText sql = Build("orders", {}, {"id"}, true);
  EXPECT_EQ(sql.InsertSQL, "insert into orders (id)\nValues(:id)");
  EXPECT_EQ(sql.ModifySQL, "");
  EXPECT_EQ(sql.DeleteSQL, "delete from orders\nwhere \nid=:OLD_id\n");
}

TEST(UpdateSQLText, RefusesWhatCannotRun) {
  // No table, or nothing to compare: a lone "where" would not run, and a
  // statement without WHERE would change every row.
  EXPECT_EQ(Build("", {"id"}, {"id"}, true).Refusal, "Select a table first.");
  const TlqUpdateSQLText no_fields = Build("orders", {}, {"id"}, false);
  EXPECT_NE(no_fields.Refusal.find("upWhereAll"), std::string::npos);
  EXPECT_EQ(no_fields.InsertSQL + no_fields.ModifySQL + no_fields.DeleteSQL, "");
  EXPECT_NE(Build("orders", {"qty"}, {}, true).Refusal.find("upWhereKeyOnly"), std::string::npos);
  EXPECT_NE(Build("orders", {}, {}, false).Refusal, "");
  // Quotes and colons end or start a literal or a parameter wherever they stand.
  EXPECT_NE(Build("it's", {"a"}, {"a"}, true).Refusal.find("it's"), std::string::npos);
  EXPECT_NE(Build("t", {"a:b"}, {"a"}, true).Refusal, "");
  EXPECT_NE(Build("t", {"a"}, {"say \"hi"}, true).Refusal, "");
}

TEST(UpdateSQLText, NamesThatAreNotPlainIdentifiers) {
  EXPECT_EQ(SQLName("orders"), "orders");
  EXPECT_EQ(SQLName("_x1$#@"), "_x1$#@");
  EXPECT_EQ(SQLName("my col"), "[my col]");
  EXPECT_EQ(SQLName("1st"), "[1st]");
  EXPECT_EQ(SQLName("order"), "[order]");
  EXPECT_EQ(SQLName("Key"), "[Key]");
  EXPECT_EQ(SQLName("a]b"), "[a]]b]");
  EXPECT_EQ(SQLName("it''s"), "[it''s]");
  EXPECT_EQ(ParamRef("qty"), ":qty");
  EXPECT_EQ(ParamRef("my col"), ":\"my col\"");
  EXPECT_EQ(ParamRef("a,b"), ":\"a,b\"");

  const TlqUpdateSQLText sql = Build("order details", {"my col", "order"}, {"key"}, true);
  EXPECT_EQ(sql.InsertSQL,
            "insert into [order details] ([my col]\n, [order]\n, [key])\n"
            "Values(:\"my col\"\n, :order\n, :key)");
  EXPECT_EQ(sql.ModifySQL,
            "update [order details] set [my col]=:\"my col\"\n, [order]=:order\n"
            "where \n[key]=:OLD_key\n");
}

}  // namespace
}  // namespace tessel::testing
