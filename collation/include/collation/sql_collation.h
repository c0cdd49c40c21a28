#pragma once

// SQL Server's collation names (Latin1_General_CS_AS, SQL_Latin1_General_CP1_CI_AS,
// Cyrillic_General_BIN2 ...) and what each stands for: its locale, code page
// and comparison style, the bytes TDS describes it with, and the order it
// puts texts in, carried out by ICU. The server's default collation,
// SQL_Latin1_General_CP1_CI_AS, is id 0 and compares as text_collation.h's
// IgnoreCase level. Any thread.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::collation {

// How texts are ordered: by the locale's dictionary rules, or by code point
// (_BIN and _BIN2: both compare the characters' code points, which is the
// byte order of UTF-8).
enum class SortOrder : std::uint8_t { Dictionary, Binary, CodePoint };

struct SqlCollation {
  // Stable across servers and files: the family's place in the table of
  // families times 64 plus the style bits. 0 is SQL_Latin1_General_CP1_CI_AS.
  std::uint16_t Id = 0;
  std::string Name;  // as SQL Server spells it
  std::uint32_t Lcid = 0x409;
  std::uint16_t CodePage = 1252;
  std::uint8_t SortId = 0;  // SQL collations only; 0 for Windows collations
  bool CaseSensitive = false;
  bool AccentSensitive = true;
  bool KanaSensitive = false;
  bool WidthSensitive = false;
  SortOrder Order = SortOrder::Dictionary;
  std::uint8_t Version = 0;    // TDS's collation version: 1 for _90, 2 for _100, 3 for _140
  bool Supplementary = false;  // _SC: its name ends so (texts here are UTF-8 throughout)
  const char* Locale = "";     // ICU's locale of the family's rules ("" is the root)
  // _UTF8: char and varchar hold UTF-8 (code page 65001) rather than a
  // Windows code page; the _100 families (_SC or _BIN2) and the _140 ones.
  bool Utf8 = false;
  // _VSS: the _140 families tell characters apart by the variation
  // selectors after them (ICU always does).
  bool VariationSelectors = false;

  // COLLATIONPROPERTY(name, 'ComparisonStyle'): 1 ignore case, 2 ignore
  // accents, 0x10000 ignore kana type, 0x20000 ignore width; 0 when binary.
  std::int32_t ComparisonStyle() const;
  // The five bytes of TDS's COLLATION: LCID and flags, then the sort id.
  std::array<std::uint8_t, 5> TdsBytes() const;
  // sys.fn_helpcollations().description.
  std::string Description() const;
};

// The collation a name (any letter case) stands for, or nothing for a name
// SQL Server does not know.
std::optional<SqlCollation> FindCollation(std::string_view name);
std::optional<SqlCollation> CollationById(std::uint16_t id);
// CollationById(id)->CodePage without building the collation (1252 for an
// unknown id), for the encoding of every value.
std::uint16_t CodePageById(std::uint16_t id);
// The code page of the text a client sends under the five bytes of a TDS
// COLLATION: 65001 for the UTF-8 flag, else the code page of the sort id or
// of the LCID's language; 1252 for one this table does not know.
std::uint16_t CodePageOfTdsBytes(const std::array<std::uint8_t, 5>& bytes);
// Every collation FindCollation knows, in name order.
const std::vector<SqlCollation>& AllCollations();

// -1, 0 or 1 as `collation` orders UTF-8 texts a and b, trailing blanks
// ignored as SQL Server pads shorter texts for comparison.
int CompareUnder(const SqlCollation& collation, std::string_view a, std::string_view b);
// Appends bytes whose unsigned order is CompareUnder's; equal texts have
// equal keys.
void AppendSortKeyUnder(const SqlCollation& collation, std::string_view text, std::string& out);

}  // namespace tessel::collation
