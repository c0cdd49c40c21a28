// SQL Server's collation names: which exist, what each means (code page,
// comparison style, TDS bytes), and the order each puts texts in.

#include <gtest/gtest.h>

#include <string>

#include "collation/code_page.h"
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
      // The double-byte families, and _140's variation selectors.
      {"Japanese_CI_AS", "Japanese_CI_AS", 932, 0x30001, 0},
      {"japanese_xjis_140_ci_as_vss", "Japanese_XJIS_140_CI_AS_VSS", 932, 0x30001, 0},
      {"Japanese_Bushu_Kakusu_140_CS_AS_KS_WS_VSS_UTF8",
       "Japanese_Bushu_Kakusu_140_CS_AS_KS_WS_VSS_UTF8", 65001, 0, 0},
      {"Japanese_XJIS_140_BIN2_UTF8", "Japanese_XJIS_140_BIN2_UTF8", 65001, 0, 0},
      {"Korean_Wansung_BIN", "Korean_Wansung_BIN", 949, 0, 0},
      {"Chinese_PRC_100_CI_AS_SC_UTF8", "Chinese_PRC_100_CI_AS_SC_UTF8", 65001, 0x30001, 0},
      {"Chinese_Taiwan_Bopomofo_90_CI_AI_SC", "Chinese_Taiwan_Bopomofo_90_CI_AI_SC", 950, 0x30003,
       0},
      {"Japanese_CI_AS_VSS", nullptr, 0, 0, 0},
      {"Japanese_XJIS_140_CI_AS_SC", nullptr, 0, 0, 0},
      {"Japanese_XJIS_140_BIN_UTF8", nullptr, 0, 0, 0},
      {"Japanese_XJIS_140_BIN2_VSS", nullptr, 0, 0, 0},
      {"Japanese_XJIS_140_CI_AS_UTF8_VSS", nullptr, 0, 0, 0},
      {"Japanese_CI_AS_SC", nullptr, 0, 0, 0},
      {"Korean_Wansung_90_CI_AS", nullptr, 0, 0, 0},
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
  // _140 is version 3; Bushu-Kakusu is the Japanese LCID's sort 4.
  EXPECT_EQ(FindCollation("Japanese_XJIS_140_CI_AS")->TdsBytes(),
            (Bytes{0x11, 0x04, 0xD0, 0x30, 0}));
  EXPECT_EQ(FindCollation("Japanese_Bushu_Kakusu_140_CI_AS")->TdsBytes(),
            (Bytes{0x11, 0x04, 0xD4, 0x30, 0}));
  // A client's text under any collation's bytes is read in its code page.
  for (const SqlCollation& c : AllCollations()) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(CodePageOfTdsBytes(c.TdsBytes()), c.CodePage);
  }
  EXPECT_EQ(CodePageOfTdsBytes(Bytes{0x09, 0x08, 0xD0, 0, 0}), 1252);  // no such language
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
      // Kana type and width decide only under _KS and _WS.
      {"Japanese_CI_AS", "かたかな", "カタカナ", 0},
      {"Japanese_CS_AS", "ｶﾀ", "カタ", 0},
      {"Japanese_XJIS_140_CI_AS", "ABC", "abc", 0},
      // Pinyin puts da before ren; strokes put 人 (2) before 大 (3).
      {"Chinese_PRC_CI_AS", "大", "人", -1},
      {"Chinese_Taiwan_Stroke_CI_AS", "大", "人", 1},
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

// The double-byte code pages: a lead byte and the next hold one character;
// where several bytes read as one character, Windows' own are written.
TEST(CodePages, DoubleBytePagesReadAndWriteOneOrTwoBytes) {
  const struct {
    int number;
    char32_t character;
    const char* bytes;  // "" where the code page lacks the character
  } cases[] = {
      {932, U'カ', "\x83\x4A"}, {932, U'ｶ', "\xB6"},      {932, U'漢', "\x8A\xBF"},
      {932, U'≒', "\x81\xE0"},  {932, U'한', ""},         {936, U'中', "\xD6\xD0"},
      {949, U'한', "\xC7\xD1"}, {950, U'中', "\xA4\xA4"}, {1251, U'Ж', "\xC6"},
      {1252, U'€', "\x80"},     {1252, U'カ', ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.number) + ": " + c.bytes);
    const CodePage* page = FindCodePage(c.number);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->DoubleByte(), c.number < 1000);
    char out[2];
    const std::size_t n = page->Encode(c.character, out);
    EXPECT_EQ(std::string(out, n), c.bytes);
    if (n == 2) {
      EXPECT_TRUE(page->IsLead(static_cast<unsigned char>(out[0])));
      EXPECT_EQ(
          page->Decode(static_cast<unsigned char>(out[0]), static_cast<unsigned char>(out[1])),
          c.character);
    } else if (n == 1 && c.character >= 0x80) {
      EXPECT_FALSE(page->IsLead(static_cast<unsigned char>(out[0])));
      EXPECT_EQ(page->Decode(static_cast<unsigned char>(out[0])), c.character);
    }
  }
  EXPECT_EQ(FindCodePage(932)->Decode(0x83, 0x20), U'\xFFFD');
  EXPECT_EQ(FindCodePage(437), nullptr);
}

}  // namespace
}  // namespace tessel::collation
