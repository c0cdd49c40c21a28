// SQL Server's collation names, parsed against a fixed table of families,
// and ICU collators per thread for the ones the root collation's two levels
// (text_collation.h) do not already cover.

#include "collation/sql_collation.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>

#include "collation/text_collation.h"
#include "collator_sort_key.h"

namespace tessel::collation {
namespace {

// A collation designator: the rules and code page its collations share.
// Only appended to: a family's place is part of the ids stored in files.
struct Family {
  const char* Name;
  std::uint32_t Lcid;
  std::uint16_t CodePage;
  const char* Locale;
  // TDS's collation version: 0 for the families of SQL Server 2000, 1 for
  // the _90 ones, 2 for the _100 ones of SQL Server 2008, 3 for _140.
  std::uint8_t Version = 0;
  // _SC: the name ends in _SC after its style, and binary orders do not exist.
  bool Supplementary = false;
  // _UTF8: the name ends in _SC_UTF8 after its style (_UTF8 for the _140
  // families, which always hold supplementary characters), or is _BIN2_UTF8
  // (the one binary order); char and varchar hold UTF-8.
  bool Utf8 = false;
  // _VSS: the name ends in _VSS after its style; the _140 families only,
  // without binary orders.
  bool VariationSelectors = false;
};

constexpr Family kFamilies[] = {
    {"SQL_Latin1_General_CP1", 0x409, 1252, ""},
    {"Latin1_General", 0x409, 1252, ""},
    {"Cyrillic_General", 0x419, 1251, "ru"},
    {"French", 0x40C, 1252, "fr"},
    {"German_PhoneBook", 0x10407, 1252, "de@collation=phonebook"},
    {"Greek", 0x408, 1253, "el"},
    {"Turkish", 0x41F, 1254, "tr"},
    {"Polish", 0x415, 1250, "pl"},
    {"Czech", 0x405, 1250, "cs"},
    {"Hebrew", 0x40D, 1255, "he"},
    {"Arabic", 0x401, 1256, "ar"},
    {"Estonian", 0x425, 1257, "et"},
    {"Finnish_Swedish", 0x40B, 1252, "sv"},
    {"Danish_Norwegian", 0x406, 1252, "da"},
    {"Modern_Spanish", 0xC0A, 1252, "es"},
    {"Latin1_General_100", 0x409, 1252, "", 2},
    {"Latin1_General_100", 0x409, 1252, "", 2, true},
    {"Cyrillic_General_100", 0x419, 1251, "ru", 2},
    {"Cyrillic_General_100", 0x419, 1251, "ru", 2, true},
    {"French_100", 0x40C, 1252, "fr", 2},
    {"French_100", 0x40C, 1252, "fr", 2, true},
    {"German_PhoneBook_100", 0x10407, 1252, "de@collation=phonebook", 2},
    {"German_PhoneBook_100", 0x10407, 1252, "de@collation=phonebook", 2, true},
    {"Greek_100", 0x408, 1253, "el", 2},
    {"Greek_100", 0x408, 1253, "el", 2, true},
    {"Turkish_100", 0x41F, 1254, "tr", 2},
    {"Turkish_100", 0x41F, 1254, "tr", 2, true},
    {"Polish_100", 0x415, 1250, "pl", 2},
    {"Polish_100", 0x415, 1250, "pl", 2, true},
    {"Czech_100", 0x405, 1250, "cs", 2},
    {"Czech_100", 0x405, 1250, "cs", 2, true},
    {"Hebrew_100", 0x40D, 1255, "he", 2},
    {"Hebrew_100", 0x40D, 1255, "he", 2, true},
    {"Arabic_100", 0x401, 1256, "ar", 2},
    {"Arabic_100", 0x401, 1256, "ar", 2, true},
    {"Estonian_100", 0x425, 1257, "et", 2},
    {"Estonian_100", 0x425, 1257, "et", 2, true},
    {"Finnish_Swedish_100", 0x40B, 1252, "sv", 2},
    {"Finnish_Swedish_100", 0x40B, 1252, "sv", 2, true},
    {"Modern_Spanish_100", 0xC0A, 1252, "es", 2},
    {"Modern_Spanish_100", 0xC0A, 1252, "es", 2, true},
    {"Latin1_General_100", 0x409, 65001, "", 2, true, true},
    {"Cyrillic_General_100", 0x419, 65001, "ru", 2, true, true},
    {"French_100", 0x40C, 65001, "fr", 2, true, true},
    {"German_PhoneBook_100", 0x10407, 65001, "de@collation=phonebook", 2, true, true},
    {"Greek_100", 0x408, 65001, "el", 2, true, true},
    {"Turkish_100", 0x41F, 65001, "tr", 2, true, true},
    {"Polish_100", 0x415, 65001, "pl", 2, true, true},
    {"Czech_100", 0x405, 65001, "cs", 2, true, true},
    {"Hebrew_100", 0x40D, 65001, "he", 2, true, true},
    {"Arabic_100", 0x401, 65001, "ar", 2, true, true},
    {"Estonian_100", 0x425, 65001, "et", 2, true, true},
    {"Finnish_Swedish_100", 0x40B, 65001, "sv", 2, true, true},
    {"Modern_Spanish_100", 0xC0A, 65001, "es", 2, true, true},
    // The double-byte families of East Asia: code pages 932, 936, 949 and 950.
    {"Japanese", 0x411, 932, "ja", 0},
    {"Japanese_90", 0x411, 932, "ja", 1},
    {"Japanese_90", 0x411, 932, "ja", 1, true},
    {"Japanese_100", 0x411, 932, "ja", 2},
    {"Japanese_100", 0x411, 932, "ja", 2, true},
    {"Japanese_100", 0x411, 65001, "ja", 2, true, true},
    {"Japanese_XJIS_100", 0x411, 932, "ja", 2},
    {"Japanese_XJIS_100", 0x411, 932, "ja", 2, true},
    {"Japanese_XJIS_100", 0x411, 65001, "ja", 2, true, true},
    {"Japanese_Bushu_Kakusu_100", 0x40411, 932, "ja@collation=unihan", 2},
    {"Japanese_Bushu_Kakusu_100", 0x40411, 932, "ja@collation=unihan", 2, true},
    {"Japanese_Bushu_Kakusu_100", 0x40411, 65001, "ja@collation=unihan", 2, true, true},
    {"Chinese_PRC", 0x804, 936, "zh", 0},
    {"Chinese_PRC_90", 0x804, 936, "zh", 1},
    {"Chinese_PRC_90", 0x804, 936, "zh", 1, true},
    {"Chinese_PRC_100", 0x804, 936, "zh", 2},
    {"Chinese_PRC_100", 0x804, 936, "zh", 2, true},
    {"Chinese_PRC_100", 0x804, 65001, "zh", 2, true, true},
    {"Chinese_PRC_Stroke", 0x20804, 936, "zh@collation=stroke", 0},
    {"Chinese_PRC_Stroke_90", 0x20804, 936, "zh@collation=stroke", 1},
    {"Chinese_PRC_Stroke_90", 0x20804, 936, "zh@collation=stroke", 1, true},
    {"Chinese_PRC_Stroke_100", 0x20804, 936, "zh@collation=stroke", 2},
    {"Chinese_PRC_Stroke_100", 0x20804, 936, "zh@collation=stroke", 2, true},
    {"Chinese_PRC_Stroke_100", 0x20804, 65001, "zh@collation=stroke", 2, true, true},
    {"Korean_Wansung", 0x412, 949, "ko", 0},
    {"Korean_90", 0x412, 949, "ko", 1},
    {"Korean_90", 0x412, 949, "ko", 1, true},
    {"Korean_100", 0x412, 949, "ko", 2},
    {"Korean_100", 0x412, 949, "ko", 2, true},
    {"Korean_100", 0x412, 65001, "ko", 2, true, true},
    {"Chinese_Taiwan_Stroke", 0x404, 950, "zh_Hant@collation=stroke", 0},
    {"Chinese_Taiwan_Stroke_90", 0x404, 950, "zh_Hant@collation=stroke", 1},
    {"Chinese_Taiwan_Stroke_90", 0x404, 950, "zh_Hant@collation=stroke", 1, true},
    {"Chinese_Taiwan_Stroke_100", 0x404, 950, "zh_Hant@collation=stroke", 2},
    {"Chinese_Taiwan_Stroke_100", 0x404, 950, "zh_Hant@collation=stroke", 2, true},
    {"Chinese_Taiwan_Stroke_100", 0x404, 65001, "zh_Hant@collation=stroke", 2, true, true},
    {"Chinese_Taiwan_Bopomofo", 0x30404, 950, "zh_Hant@collation=zhuyin", 0},
    {"Chinese_Taiwan_Bopomofo_90", 0x30404, 950, "zh_Hant@collation=zhuyin", 1},
    {"Chinese_Taiwan_Bopomofo_90", 0x30404, 950, "zh_Hant@collation=zhuyin", 1, true},
    {"Chinese_Taiwan_Bopomofo_100", 0x30404, 950, "zh_Hant@collation=zhuyin", 2},
    {"Chinese_Taiwan_Bopomofo_100", 0x30404, 950, "zh_Hant@collation=zhuyin", 2, true},
    {"Chinese_Taiwan_Bopomofo_100", 0x30404, 65001, "zh_Hant@collation=zhuyin", 2, true, true},
    {"Japanese_XJIS_140", 0x411, 932, "ja", 3},
    {"Japanese_XJIS_140", 0x411, 932, "ja", 3, false, false, true},
    {"Japanese_XJIS_140", 0x411, 65001, "ja", 3, false, true},
    {"Japanese_XJIS_140", 0x411, 65001, "ja", 3, false, true, true},
    {"Japanese_Bushu_Kakusu_140", 0x40411, 932, "ja@collation=unihan", 3},
    {"Japanese_Bushu_Kakusu_140", 0x40411, 932, "ja@collation=unihan", 3, false, false, true},
    {"Japanese_Bushu_Kakusu_140", 0x40411, 65001, "ja@collation=unihan", 3, false, true},
    {"Japanese_Bushu_Kakusu_140", 0x40411, 65001, "ja@collation=unihan", 3, false, true, true},
};

constexpr std::uint16_t kCaseSensitive = 1, kAccentInsensitive = 2, kKanaSensitive = 4,
                        kWidthSensitive = 8, kBin = 16, kBin2 = 32;

// The SQL collations of the SQL_Latin1_General_CP1 family: only these
// styles exist, each with its sort order number.
struct SqlStyle {
  std::uint16_t Style;
  std::uint8_t SortId;
};
constexpr SqlStyle kSqlStyles[] = {{0, 52}, {kCaseSensitive, 51}, {kAccentInsensitive, 54}};

bool IEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);
         });
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() > suffix.size() && IEquals(text.substr(text.size() - suffix.size()), suffix);
}

std::optional<SqlCollation> Make(std::size_t family, std::uint16_t style) {
  const Family& f = kFamilies[family];
  SqlCollation c;
  c.Lcid = f.Lcid;
  c.CodePage = f.CodePage;
  c.Locale = f.Locale;
  c.Id = static_cast<std::uint16_t>(family * 64 + style);
  c.Name = f.Name;
  c.Version = f.Version;
  c.Supplementary = f.Supplementary;
  c.Utf8 = f.Utf8;
  c.VariationSelectors = f.VariationSelectors;
  if (family == 0) {
    const auto* s = std::find_if(std::begin(kSqlStyles), std::end(kSqlStyles),
                                 [&](const SqlStyle& x) { return x.Style == style; });
    if (s == std::end(kSqlStyles)) return std::nullopt;
    c.SortId = s->SortId;
  }
  if (style & (kBin | kBin2)) {
    if ((style != kBin && style != kBin2) || f.VariationSelectors ||
        ((f.Supplementary || f.Utf8) && !(f.Utf8 && style == kBin2)))
      return std::nullopt;
    c.Order = style == kBin ? SortOrder::Binary : SortOrder::CodePoint;
    c.CaseSensitive = c.KanaSensitive = c.WidthSensitive = true;
    c.Supplementary = false;
    c.Name += style == kBin ? "_BIN" : "_BIN2";
    if (c.Utf8) c.Name += "_UTF8";
    return c;
  }
  if (style >= 16) return std::nullopt;
  c.CaseSensitive = style & kCaseSensitive;
  c.AccentSensitive = !(style & kAccentInsensitive);
  c.KanaSensitive = style & kKanaSensitive;
  c.WidthSensitive = style & kWidthSensitive;
  c.Name += c.CaseSensitive ? "_CS" : "_CI";
  c.Name += c.AccentSensitive ? "_AS" : "_AI";
  if (c.KanaSensitive) c.Name += "_KS";
  if (c.WidthSensitive) c.Name += "_WS";
  if (c.Supplementary) c.Name += "_SC";
  if (c.VariationSelectors) c.Name += "_VSS";
  if (c.Utf8) c.Name += "_UTF8";
  return c;
}

// The style bits a name's tail (after the family and its "_") spells, or
// nothing: CI|CS, AI|AS, then optionally KS and WS in that order; or BIN,
// or BIN2.
std::optional<std::uint16_t> ParseStyle(std::string_view tail) {
  if (IEquals(tail, "BIN")) return kBin;
  if (IEquals(tail, "BIN2")) return kBin2;
  std::vector<std::string_view> parts;
  for (std::size_t at = 0;;) {
    const std::size_t end = tail.find('_', at);
    parts.push_back(tail.substr(at, end == std::string_view::npos ? end : end - at));
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  if (parts.size() < 2 || parts.size() > 4) return std::nullopt;
  std::uint16_t style = 0;
  if (IEquals(parts[0], "CS"))
    style |= kCaseSensitive;
  else if (!IEquals(parts[0], "CI"))
    return std::nullopt;
  if (IEquals(parts[1], "AI"))
    style |= kAccentInsensitive;
  else if (!IEquals(parts[1], "AS"))
    return std::nullopt;
  std::size_t i = 2;
  if (i < parts.size() && IEquals(parts[i], "KS")) style |= kKanaSensitive, ++i;
  if (i < parts.size() && IEquals(parts[i], "WS")) style |= kWidthSensitive, ++i;
  if (i != parts.size()) return std::nullopt;
  return style;
}

void Check(UErrorCode status, const char* what) {
  if (U_FAILURE(status)) {
    throw std::runtime_error(std::string("ICU cannot ") + what + ": " + u_errorName(status));
  }
}

// The calling thread's collator for a dictionary-order collation.
icu::Collator& CollatorFor(const SqlCollation& c) {
  thread_local std::map<std::uint16_t, std::unique_ptr<icu::Collator>> collators;
  std::unique_ptr<icu::Collator>& slot = collators[c.Id];
  if (!slot) {
    UErrorCode status = U_ZERO_ERROR;
    slot.reset(icu::Collator::createInstance(
        *c.Locale ? icu::Locale::createCanonical(c.Locale) : icu::Locale::getRoot(), status));
    Check(status, "open a collation");
    slot->setAttribute(UCOL_NORMALIZATION_MODE, UCOL_ON, status);
    if (c.AccentSensitive) {
      slot->setStrength(c.CaseSensitive ? icu::Collator::TERTIARY : icu::Collator::SECONDARY);
    } else {
      // Case without accents: the primary strength with ICU's case level.
      slot->setStrength(icu::Collator::PRIMARY);
      if (c.CaseSensitive) slot->setAttribute(UCOL_CASE_LEVEL, UCOL_ON, status);
    }
    Check(status, "set a collation's strength");
  }
  return *slot;
}

// The root collation's two levels already have fast byte loops.
std::optional<Level> RootLevel(const SqlCollation& c) {
  if (c.Order != SortOrder::Dictionary || *c.Locale || !c.AccentSensitive) return std::nullopt;
  return c.CaseSensitive ? Level::Case : Level::IgnoreCase;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

}  // namespace

std::int32_t SqlCollation::ComparisonStyle() const {
  if (Order != SortOrder::Dictionary) return 0;
  return (CaseSensitive ? 0 : 1) | (AccentSensitive ? 0 : 2) | (KanaSensitive ? 0 : 0x10000) |
         (WidthSensitive ? 0 : 0x20000);
}

std::array<std::uint8_t, 5> SqlCollation::TdsBytes() const {
  std::uint32_t info = Lcid & 0xFFFFF;
  if (Order == SortOrder::Dictionary) {
    if (!CaseSensitive) info |= 1u << 20;
    if (!AccentSensitive) info |= 1u << 21;
    if (!WidthSensitive) info |= 1u << 22;
    if (!KanaSensitive) info |= 1u << 23;
  } else {
    info |= Order == SortOrder::Binary ? 1u << 24 : 1u << 25;
  }
  if (Utf8) info |= 1u << 26;
  info |= static_cast<std::uint32_t>(Version & 0x0F) << 28;
  return {static_cast<std::uint8_t>(info), static_cast<std::uint8_t>(info >> 8),
          static_cast<std::uint8_t>(info >> 16), static_cast<std::uint8_t>(info >> 24), SortId};
}

std::string SqlCollation::Description() const {
  std::string family = kFamilies[Id / 64].Name;
  if (Id / 64 == 0) family = "Latin1_General";
  std::replace(family.begin(), family.end(), '_', '-');
  const std::string utf8 = Utf8 ? ", UTF8" : "";
  if (Order == SortOrder::Binary) return family + ", binary sort";
  if (Order == SortOrder::CodePoint) return family + ", binary code point comparison sort" + utf8;
  std::string d = family + (CaseSensitive ? ", case-sensitive" : ", case-insensitive") +
                  (AccentSensitive ? ", accent-sensitive" : ", accent-insensitive") +
                  (KanaSensitive ? ", kanatype-sensitive" : ", kanatype-insensitive") +
                  (WidthSensitive ? ", width-sensitive" : ", width-insensitive") +
                  (Version >= 3 ? (VariationSelectors ? ", variation selector-sensitive"
                                                      : ", variation selector-insensitive")
                                : "") +
                  (Supplementary ? ", supplementary characters" : "") + utf8;
  if (SortId != 0) {
    d += " for Unicode Data, SQL Server Sort Order " + std::to_string(SortId) + " on Code Page " +
         std::to_string(CodePage) + " for non-Unicode Data";
  }
  return d;
}

std::optional<SqlCollation> FindCollation(std::string_view name) {
  for (std::size_t f = 0; f < std::size(kFamilies); ++f) {
    const std::string_view family = kFamilies[f].Name;
    if (name.size() <= family.size() + 1 || !IEquals(name.substr(0, family.size()), family) ||
        name[family.size()] != '_')
      continue;
    std::string_view tail = name.substr(family.size() + 1);
    if (kFamilies[f].Utf8) {
      if (!EndsWith(tail, "_UTF8")) continue;
      tail.remove_suffix(5);
    }
    if (kFamilies[f].VariationSelectors) {
      if (!EndsWith(tail, "_VSS")) continue;
      tail.remove_suffix(4);
    }
    // A _UTF8 family's binary order carries no _SC.
    if (kFamilies[f].Supplementary && !(kFamilies[f].Utf8 && IEquals(tail, "BIN2"))) {
      if (!EndsWith(tail, "_SC")) continue;
      tail.remove_suffix(3);
      // Binary orders have no _SC form.
      if (IEquals(tail, "BIN") || IEquals(tail, "BIN2")) continue;
    }
    // A family's name never goes on where another's ends with a style: the
    // tail of Latin1_General_100_CI_AS read for Latin1_General is no style.
    if (const auto style = ParseStyle(tail)) {
      if (auto collation = Make(f, *style)) return collation;
    }
  }
  return std::nullopt;
}

std::optional<SqlCollation> CollationById(std::uint16_t id) {
  if (id / 64 >= std::size(kFamilies)) return std::nullopt;
  return Make(id / 64, id % 64);
}

std::uint16_t CodePageById(std::uint16_t id) {
  return id / 64 < std::size(kFamilies) ? kFamilies[id / 64].CodePage : 1252;
}

std::uint16_t CodePageOfTdsBytes(const std::array<std::uint8_t, 5>& bytes) {
  if (bytes[3] & 0x04) return 65001;
  if (bytes[4] != 0) {
    for (const SqlStyle& s : kSqlStyles)
      if (s.SortId == bytes[4]) return kFamilies[0].CodePage;
    return 1252;
  }
  // The LCID's low 16 bits name the language; the bits above them its sort
  // (Bushu-Kakusu, stroke, bopomofo), which keeps its language's code page.
  const std::uint32_t language = bytes[0] | static_cast<std::uint32_t>(bytes[1]) << 8;
  for (const Family& f : kFamilies)
    if ((f.Lcid & 0xFFFF) == language && !f.Utf8) return f.CodePage;
  return 1252;
}

const std::vector<SqlCollation>& AllCollations() {
  static const std::vector<SqlCollation> all = [] {
    std::vector<SqlCollation> v;
    for (std::uint16_t id = 0; id < std::size(kFamilies) * 64; ++id) {
      if (auto c = CollationById(id)) v.push_back(std::move(*c));
    }
    std::sort(v.begin(), v.end(),
              [](const SqlCollation& a, const SqlCollation& b) { return a.Name < b.Name; });
    return v;
  }();
  return all;
}

int CompareUnder(const SqlCollation& c, std::string_view a, std::string_view b) {
  a = TrimBlanks(a);
  b = TrimBlanks(b);
  if (c.Order != SortOrder::Dictionary) {
    // UTF-8's byte order is code point order.
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  if (const auto level = RootLevel(c)) return Compare(a, b, *level);
  if (a == b) return 0;
  UErrorCode status = U_ZERO_ERROR;
  const UCollationResult result = CollatorFor(c).compareUTF8(
      icu::StringPiece(a.data(), static_cast<std::int32_t>(a.size())),
      icu::StringPiece(b.data(), static_cast<std::int32_t>(b.size())), status);
  Check(status, "compare two texts");
  return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
}

void AppendSortKeyUnder(const SqlCollation& c, std::string_view text, std::string& out) {
  text = TrimBlanks(text);
  if (c.Order != SortOrder::Dictionary) {
    out += text;
    return;
  }
  if (const auto level = RootLevel(c)) return AppendSortKey(text, out, *level);
  AppendCollatorSortKey(CollatorFor(c), text, out);
}

}  // namespace tessel::collation
