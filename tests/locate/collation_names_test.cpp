// SQL Server's collation names: which exist, what each means (code page,
// comparison style, TDS bytes), and the order each puts texts in.

#include <gtest/gtest.h>

#include <string>

#include "collation/sql_collation.h"

namespace tessel::collation {
namespace {

struct NameCase {
  const char* name;
  const char* canonical;  // nullptr: not a collation
  std::uint16_t code_page;
  std::int32_t style;
  std::uint8_t sort_id;
};

TEST(CollationNames, ParseNamesAsSqlServerSpellsThem) {
  const NameCase cases[] = {
      {"SQL_Latin1_General_CP1_CI_AS", "SQL_Latin1_General_CP1_CI_AS", 1252, 0x30001, 52},
      {"sql_latin1_general_cp1_cs_as", "SQL_Latin1_General_CP1_CS_AS", 1252, 0x30000, 51},
      {"SQL_Latin1_General_CP1_CI_AI", "SQL_Latin1_General_CP1_CI_AI", 1252, 0x30003, 54},
      {"Latin1_General_CS_AS", "Latin1_General_CS_AS", 1252, 0x30000, 0},
      {"Latin1_General_CI_AI_KS_WS", "Latin1_General_CI_AI_KS_WS", 1252, 3, 0},
      {"Latin1_General_CI_AS_WS", "Latin1_General_CI_AS_WS", 1252, 0x10001, 0},
      {"latin1_general_bin2", "Latin1_General_BIN2", 1252, 0, 0},
      {"Cyrillic_General_CI_AS", "Cyrillic_General_CI_AS", 1251, 0x30001, 0},
      {"German_PhoneBook_BIN", "German_PhoneBook_BIN", 1252, 0, 0},
      {"Greek_CS_AI", "Greek_CS_AI", 1253, 0x30002, 0},
      {"latin1_general_100_ci_as", "Latin1_General_100_CI_AS", 1252, 0x30001, 0},
      {"Latin1_General_100_CS_AS_KS_WS_SC", "Latin1_General_100_CS_AS_KS_WS_SC", 1252, 0, 0},
      {"Latin1_General_100_BIN2", "Latin1_General_100_BIN2", 1252, 0, 0},
      {"Cyrillic_General_100_CI_AI_SC", "Cyrillic_General_100_CI_AI_SC", 1251, 0x30003, 0},
      {"latin1_general_100_ci_as_sc_utf8", "Latin1_General_100_CI_AS_SC_UTF8", 65001, 0x30001, 0},
      {"Latin1_General_100_BIN2_UTF8", "Latin1_General_100_BIN2_UTF8", 65001, 0, 0},
      {"Modern_Spanish_100_CS_AS_KS_WS_SC_UTF8", "Modern_Spanish_100_CS_AS_KS_WS_SC_UTF8", 65001, 0,
       0},
      // Not collations: no such family, style or order of parts.
      {"Latin1_General", nullptr, 0, 0, 0},
      {"Latin1_General_CI", nullptr, 0, 0, 0},
      {"Latin1_General_AS_CI", nullptr, 0, 0, 0},
      {"Latin1_General_CI_AS_WS_KS", nullptr, 0, 0, 0},
      {"Latin1_General_BIN_CI", nullptr, 0, 0, 0},
      {"SQL_Latin1_General_CP1_CS_AI", nullptr, 0, 0, 0},
      {"SQL_Latin1_General_CP1_BIN2", nullptr, 0, 0, 0},
      {"Klingon_CI_AS", nullptr, 0, 0, 0},
      {"Latin1_General_100_BIN2_SC", nullptr, 0, 0, 0},
      {"Latin1_General_100_SC", nullptr, 0, 0, 0},
      {"Latin1_General_CI_AS_SC", nullptr, 0, 0, 0},
      {"SQL_Latin1_General_CP1_100_CI_AS", nullptr, 0, 0, 0},
      // UTF-8 needs a _100 family and _SC, or _BIN2 alone.
      {"Latin1_General_100_CI_AS_UTF8", nullptr, 0, 0, 0},
      {"Latin1_General_100_BIN_UTF8", nullptr, 0, 0, 0},
      {"Latin1_General_100_BIN2_SC_UTF8", nullptr, 0, 0, 0},
      {"Latin1_General_CI_AS_SC_UTF8", nullptr, 0, 0, 0},
      {"Latin1_General_100_CI_AS_UTF8_SC", nullptr, 0, 0, 0},
      {"SQL_Latin1_General_CP1_CI_AS_UTF8", nullptr, 0, 0, 0},
      {"", nullptr, 0, 0, 0},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto found = FindCollation(c.name);
    ASSERT_EQ(found.has_value(), c.canonical != nullptr);
    if (!found) continue;
    EXPECT_EQ(found->Name, c.canonical);
    EXPECT_EQ(found->CodePage, c.code_page);
    EXPECT_EQ(found->ComparisonStyle(), c.style);
    EXPECT_EQ(found->SortId, c.sort_id);
    // Ids come back to the same collation; every listed collation parses.
    EXPECT_EQ(CollationById(found->Id)->Name, found->Name);
  }
  EXPECT_EQ(FindCollation("SQL_Latin1_General_CP1_CI_AS")->Id, 0);
  for (const SqlCollation& c : AllCollations()) EXPECT_EQ(FindCollation(c.Name)->Id, c.Id);
}

TEST(CollationNames, TdsBytesCarryLcidFlagsAndSortId) {
  using Bytes = std::array<std::uint8_t, 5>;
  EXPECT_EQ(FindCollation("SQL_Latin1_General_CP1_CI_AS")->TdsBytes(),
            (Bytes{0x09, 0x04, 0xD0, 0x00, 0x34}));
  EXPECT_EQ(FindCollation("Latin1_General_CS_AS")->TdsBytes(), (Bytes{0x09, 0x04, 0xC0, 0, 0}));
  EXPECT_EQ(FindCollation("Cyrillic_General_CI_AI")->TdsBytes(), (Bytes{0x19, 0x04, 0xF0, 0, 0}));
  EXPECT_EQ(FindCollation("Latin1_General_BIN")->TdsBytes(), (Bytes{0x09, 0x04, 0, 0x01, 0}));
  EXPECT_EQ(FindCollation("Latin1_General_BIN2")->TdsBytes(), (Bytes{0x09, 0x04, 0, 0x02, 0}));
  // The _100 families carry collation version 2 in the top four bits.
  EXPECT_EQ(FindCollation("Latin1_General_100_CI_AS")->TdsBytes(),
            (Bytes{0x09, 0x04, 0xD0, 0x20, 0}));
  EXPECT_EQ(FindCollation("Latin1_General_100_BIN2")->TdsBytes(), (Bytes{0x09, 0x04, 0, 0x22, 0}));
  // UTF-8 is the flag after the two binary ones.
  EXPECT_EQ(FindCollation("Latin1_General_100_CI_AS_SC_UTF8")->TdsBytes(),
            (Bytes{0x09, 0x04, 0xD0, 0x24, 0}));
  EXPECT_EQ(FindCollation("Latin1_General_100_BIN2_UTF8")->TdsBytes(),
            (Bytes{0x09, 0x04, 0, 0x26, 0}));
}

struct OrderCase {
  const char* collation;
  const char* a;
  const char* b;
  int order;
};

TEST(CollationNames, EachCollationOrdersByItsStyle) {
  const OrderCase cases[] = {
      {"SQL_Latin1_General_CP1_CI_AS", "abc", "ABC  ", 0},
      {"Latin1_General_CS_AS", "abc", "ABC", -1},
      {"Latin1_General_CS_AS", "abc", "abc  ", 0},
      {"Latin1_General_CI_AS", "école", "ECOLE", 1},
      {"Latin1_General_CI_AI", "école", "ECOLE", 0},
      {"Latin1_General_CS_AI", "école", "Ecole", -1},
      {"Latin1_General_CS_AI", "école", "ecole", 0},
      {"Latin1_General_BIN2", "B", "a", -1},
      {"Latin1_General_BIN", "a", "a ", 0},
      {"Latin1_General_CI_AS", "B", "a", 1},
      {"Cyrillic_General_CI_AS", "ЁЖ", "ёж", 0},
      {"Cyrillic_General_CS_AS", "ЁЖ", "ёж", 1},
      // German phone book order puts ä with ae; the general rules with a.
      {"German_PhoneBook_CI_AS", "Ad", "Äb", -1},
      {"Latin1_General_CI_AS", "Ad", "Äb", 1},
      {"Latin1_General_100_CI_AS_SC", "abc", "ABC", 0},
      {"Latin1_General_100_CS_AS", "abc", "ABC", -1},
      {"Cyrillic_General_100_CI_AS", "ЁЖ", "ёж", 0},
  };
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(std::string(c.collation) + ": " + c.a + " vs " + c.b);
    const SqlCollation collation = *FindCollation(c.collation);
    EXPECT_EQ(CompareUnder(collation, c.a, c.b), c.order);
    EXPECT_EQ(CompareUnder(collation, c.b, c.a), -c.order);
    std::string ka, kb;
    AppendSortKeyUnder(collation, c.a, ka);
    AppendSortKeyUnder(collation, c.b, kb);
    const int key_order = ka < kb ? -1 : (ka > kb ? 1 : 0);
    EXPECT_EQ(key_order, c.order);
  }
}

}  // namespace
}  // namespace tessel::collation
