#include "value_table.h"

#include <cfloat>
#include <cstdio>

namespace tessel::fidelity {
namespace {

using Py = std::optional<std::string>;

FidelityValue V(std::string label, std::string text, std::string expect, Py python = {}) {
  FidelityValue v;
  v.label = std::move(label);
  v.text = std::move(text);
  v.expect = std::move(expect);
  v.python = std::move(python);
  return v;
}

// A value that arrives as it was given.
FidelityValue Same(std::string label, const std::string& text, Py python = {}) {
  return V(std::move(label), text, text, std::move(python));
}

FidelityValue Null() {
  FidelityValue v;
  v.label = "NULL";
  v.given = FidelityValue::Null;
  return v;
}

FidelityValue Refused(std::string label, std::string text, std::string part) {
  FidelityValue v = V(std::move(label), std::move(text), "");
  v.refused = std::move(part);
  return v;
}

FidelityValue Num(std::string label, double number, std::string expect, Py python = {}) {
  FidelityValue v = V(std::move(label), "", std::move(expect), std::move(python));
  v.given = FidelityValue::Number;
  v.number = number;
  return v;
}

std::string Repeat(const std::string& unit, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += unit;
  return text;
}

std::string Utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

// Every character code page 1252 has above ASCII, in code order, between
// brackets (the brackets keep the no-break space off the ends).
std::string Cp1252Upper() {
  static const char32_t k80[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                   0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  std::string text = "[";
  for (char32_t c : k80) {
    if (c != 0) text += Utf8(c);
  }
  for (char32_t c = 0xA0; c <= 0xFF; ++c) text += Utf8(c);
  return text + "]";
}

// Printable ASCII, quote, backslash and comment markers included.
std::string Ascii() {
  std::string text;
  for (char c = '!'; c <= '~'; ++c) text += c;
  return text + " O'Brien '' ; -- /* */";
}

// Greek, Cyrillic, CJK, Arabic, Hebrew, an emoji outside the BMP and an e
// with a combining acute accent: 43 UTF-16 code units.
const std::string kScripts = "Ελληνικά Кириллица 日本語 العربية עברית 😀 e\u0301";

std::string EveryByte() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

std::string BytePattern(int length) {
  std::string bytes;
  for (int i = 0; i < length; ++i) bytes += static_cast<char>((i * 7 + i / 256) & 0xFF);
  return bytes;
}

std::vector<FidelityValue> UnicodeText(int length) {
  return {Same("five scripts, emoji, combining mark", kScripts),
          Same("ASCII with quotes", Ascii()),
          Same("code page 1252", Cp1252Upper()),
          Same("empty", ""),
          Null(),
          Same("full length Cyrillic", Repeat("Ж", length)),
          Same("full length emoji", Repeat("😀", length / 2))};
}

std::vector<FidelityValue> Cp1252Text(int length) {
  return {Same("code page 1252", Cp1252Upper()),
          Same("ASCII with quotes", Ascii()),
          Same("empty", ""),
          Null(),
          Same("full length", Repeat("é", length)),
          Refused("CJK", "日本", "日"),
          Refused("emoji", "a😀", "😀"),
          Refused("combining mark", "e\u0301", "\u0301"),
          Refused("Cyrillic", "Ж", "Ж")};
}

std::vector<FidelityColumn> BuildTable() {
  const std::string cp = Cp1252Upper();
  const std::string bytes = EveryByte();
  std::vector<FidelityColumn> table;

  table.push_back(
      {"nvarchar(130)", "nvarchar", ParamKind::Text, ftString, -1, false, UnicodeText(130)});
  table.push_back({"nchar(10)",
                   "nchar",
                   ParamKind::Text,
                   ftString,
                   -1,
                   false,
                   {V("scripts", "Жx日😀é", "Жx日😀é    "), V("padded", "ab", "ab        "),
                    V("emoji", "😀", "😀        "), Same("full length", "ЖЖЖЖЖЖЖЖЖЖ"), Null()}});
  table.push_back(
      {"ntext",
       "ntext",
       ParamKind::Memo,
       ftMemo,
       -1,
       true,
       {Same("five scripts, emoji, combining mark", kScripts), Same("code page 1252", cp),
        Same("empty", ""), Null(), Same("long", Repeat("Жx😀", 3000))}});
  table.push_back({"nvarchar(max)",
                   "nvarcharmax",
                   ParamKind::Memo,
                   ftMemo,
                   -1,
                   true,
                   {Same("five scripts, emoji, combining mark", kScripts), Same("empty", ""),
                    Null(), Same("long", Repeat("Ж", 9000))}});
  table.push_back(
      {"varchar(130)", "varchar", ParamKind::Text, ftString, -1, false, Cp1252Text(130)});
  // char(n) NULL and binary(n) NULL columns made in a DB-Library session
  // (ANSI_PADDING off, as the package leaves it) hold values as varchar and
  // varbinary do there: unpadded, trailing blanks or zero bytes dropped, a
  // value made only of them keeping one.
  table.push_back({"char(10)",
                   "char",
                   ParamKind::Text,
                   ftString,
                   -1,
                   false,
                   {Same("short, unpadded", "é€"), V("trailing blanks", "é€  ", "é€"),
                    Same("full length", "ÿÿÿÿÿÿÿÿÿÿ"), Null(), Refused("CJK", "日", "日")}});
  table.push_back({"text",
                   "text",
                   ParamKind::Memo,
                   ftMemo,
                   -1,
                   true,
                   {Same("code page 1252", cp), Same("empty", ""), Null(),
                    Same("long", Repeat("ÿa", 5000)), Refused("CJK", "日本", "日")}});
  table.push_back({"varchar(max)",
                   "varcharmax",
                   ParamKind::Memo,
                   ftMemo,
                   -1,
                   true,
                   {Same("code page 1252", cp), Same("long", Repeat("€", 9000)), Null(),
                    Refused("Cyrillic", "Ж", "Ж")}});
  // A column's collation decides its code page; a sized column takes no
  // more than its length (characters, or bytes in the code page), whole
  // values at the limit included.
  table.push_back({"varchar(20) COLLATE Cyrillic_General_CI_AS",
                   "varcharcyr",
                   ParamKind::Text,
                   ftString,
                   -1,
                   false,
                   {Same("Cyrillic", "Привет, мир №1"), Same("full length", Repeat("Ж", 20)),
                    Null(), Refused("Greek", "ЖΩ", "Ω"), Refused("Latin-1 accent", "café", "é"),
                    Refused("one too long", Repeat("ж", 21), "21 bytes in code page 1251")}});
  // A double-byte code page: a character takes one byte or two.
  table.push_back({"varchar(8) COLLATE Japanese_CI_AS",
                   "varcharjp",
                   ParamKind::Text,
                   ftString,
                   -1,
                   false,
                   {Same("katakana", "カタカナ"), Same("half-width and kanji", "ｶﾀ漢字ab"), Null(),
                    Refused("Korean", "日本한", "한"),
                    Refused("one byte too long", "カタカナa", "9 bytes in code page 932")}});
  table.push_back(
      {"varchar(10)",
       "varchar10",
       ParamKind::Text,
       ftString,
       -1,
       false,
       {Same("full length", "0123456789"), Same("full length accented", Repeat("é", 10)),
        Refused("one too long", "01234567890", "11 bytes in code page 1252"),
        Refused("accented one too long", Repeat("é", 11), "11 bytes")}});
  table.push_back({"nvarchar(10)",
                   "nvarchar10",
                   ParamKind::Text,
                   ftString,
                   -1,
                   false,
                   {Same("full length", Repeat("Ж", 10)), Same("five emoji", Repeat("😀", 5)),
                    Refused("one too long", Repeat("ж", 11), "11 characters"),
                    Refused("six emoji", Repeat("😀", 6), "12 characters")}});

  table.push_back({"decimal(38,20)",
                   "dec38_20",
                   ParamKind::Bcd,
                   ftBCD,
                   20,
                   false,
                   {V("zero", "0", "0.00000000000000000000"),
                    V("thousand", "1000", "1000.00000000000000000000"),
                    V("negative", "-0.5", "-0.50000000000000000000"),
                    Same("maximum", "999999999999999999.99999999999999999999"),
                    Same("minimum", "-999999999999999999.99999999999999999999"),
                    Same("finest fraction", "0.00000000000000000001"),
                    Same("negative finest fraction", "-0.00000000000000000001"), Null(),
                    Refused("out of range", "1000000000000000000", "1000000000000000000")}});
  table.push_back(
      {"decimal(38,0)",
       "dec38_0",
       ParamKind::Bcd,
       ftBCD,
       0,
       false,
       {Same("maximum", std::string(38, '9')), Same("minimum", "-" + std::string(38, '9')),
        Same("zero", "0"), Null(),
        Refused("out of range", "1" + std::string(38, '0'), "1" + std::string(38, '0'))}});
  table.push_back({"numeric(5,2)",
                   "num5_2",
                   ParamKind::Bcd,
                   ftBCD,
                   2,
                   false,
                   {Same("maximum", "999.99"), Same("minimum", "-999.99"), Same("finest", "0.01"),
                    V("zero", "0", "0.00"), Num("float rounded to the scale", 123.456, "123.46"),
                    Num("0.1 + 0.2 rounded to the scale", 0.1 + 0.2, "0.30"), Null(),
                    Refused("out of range", "1000", "1000")}});
  table.push_back(
      {"money",
       "money",
       ParamKind::Typed,
       ftCurrency,
       4,
       false,
       {Same("maximum", "922337203685477.5807"), Same("minimum", "-922337203685477.5808"),
        Same("finest", "0.0001"), Same("negative finest", "-0.0001"), V("zero", "0", "0", "0.0000"),
        V("one and a half", "1.5", "1.5", "1.5000"), Null(),
        Refused("out of range", "922337203685477.5808", "922337203685477.5808")}});
  table.push_back(
      {"smallmoney",
       "smallmoney",
       ParamKind::Typed,
       ftCurrency,
       4,
       false,
       {Same("maximum", "214748.3647"), Same("minimum", "-214748.3648"), Same("finest", "0.0001"),
        Null(), Refused("out of range", "214748.3648", "214748.3648")}});

  table.push_back({"float",
                   "float",
                   ParamKind::Typed,
                   ftFloat,
                   -1,
                   false,
                   {Num("0.1 + 0.2", 0.1 + 0.2, "0.30000000000000004"),
                    Num("maximum", DBL_MAX, "1.7976931348623157e+308"),
                    Num("negative maximum", -DBL_MAX, "-1.7976931348623157e+308"),
                    Num("smallest normal", DBL_MIN, "2.2250738585072014e-308"),
                    Num("zero", 0.0, "0", Py{"0.0"}), Num("negative", -1.5, "-1.5"),
                    V("text 0.1", "0.1", "0.10000000000000001", Py{"0.1"}), Null()}});
  table.push_back(
      {"real",
       "real",
       ParamKind::Typed,
       ftFloat,
       -1,
       false,
       {Num("maximum", FLT_MAX, "3.4028234663852886e+38"), Num("half", 0.5, "0.5"), Null()}});
  table.push_back(
      {"int",
       "int",
       ParamKind::Typed,
       ftInteger,
       -1,
       false,
       {Same("maximum", "2147483647"), Same("minimum", "-2147483648"), Same("zero", "0"), Null(),
        Refused("out of range", "2147483648", "2147483648")}});
  table.push_back({"bigint",
                   "bigint",
                   ParamKind::Typed,
                   ftLargeint,
                   -1,
                   false,
                   {Same("maximum", "9223372036854775807"), Same("minimum", "-9223372036854775808"),
                    Same("zero", "0"), Null()}});
  table.push_back({"smallint",
                   "smallint",
                   ParamKind::Typed,
                   ftSmallint,
                   -1,
                   false,
                   {Same("maximum", "32767"), Same("minimum", "-32768"), Null()}});
  table.push_back(
      {"tinyint",
       "tinyint",
       ParamKind::Typed,
       ftInteger,
       -1,
       false,
       {Same("maximum", "255"), Same("zero", "0"), Null(), Refused("out of range", "256", "256")}});
  table.push_back({"bit",
                   "bit",
                   ParamKind::Typed,
                   ftBoolean,
                   -1,
                   false,
                   {Same("true", "True"), Same("false", "False"), Null()}});

  table.push_back({"datetime",
                   "datetime",
                   ParamKind::Text,
                   ftString,
                   -1,
                   false,
                   {Same("minimum", "1753-01-01 00:00:00"),
                    Same("maximum", "9999-12-31 23:59:59.997", Py{"9999-12-31 23:59:59.997000"}),
                    Same("tick .003", "2024-01-02 03:04:05.003", Py{"2024-01-02 03:04:05.003000"}),
                    Same("tick .007", "2024-01-02 03:04:05.007", Py{"2024-01-02 03:04:05.007000"}),
                    V(".002 rounds to .003", "2024-01-02 03:04:05.002", "2024-01-02 03:04:05.003",
                      Py{"2024-01-02 03:04:05.003000"}),
                    Null()}});
  table.push_back(
      {"smalldatetime",
       "smalldatetime",
       ParamKind::Text,
       ftString,
       -1,
       false,
       {Same("minimum", "1900-01-01 00:00:00"), Same("maximum", "2079-06-06 23:59:00"), Null()}});
  table.push_back({"date",
                   "date",
                   ParamKind::Text,
                   ftString,
                   -1,
                   false,
                   {Same("minimum", "0001-01-01"), Same("maximum", "9999-12-31"),
                    Same("leap day", "2024-02-29"), Null()}});
  table.push_back(
      {"datetime2(7)",
       "datetime2",
       ParamKind::Text,
       ftString,
       -1,
       false,
       {Same("finest fraction", "2024-01-02 03:04:05.1234567", Py{"2024-01-02 03:04:05.123456"}),
        Same("minimum", "0001-01-01 00:00:00.0000000", Py{"0001-01-01 00:00:00"}),
        Same("maximum", "9999-12-31 23:59:59.9999999", Py{"9999-12-31 23:59:59.999999"}), Null()}});
  table.push_back({"time(7)",
                   "time",
                   ParamKind::Text,
                   ftString,
                   -1,
                   false,
                   {Same("maximum", "23:59:59.9999999", Py{"23:59:59.999999"}),
                    Same("midnight", "00:00:00.0000000", Py{"00:00:00"}),
                    Same("finest fraction", "12:34:56.1234567", Py{"12:34:56.123456"}), Null()}});
  table.push_back(
      {"datetimeoffset(7)",
       "dto",
       ParamKind::Text,
       ftString,
       -1,
       false,
       {Same("finest fraction", "2024-05-06 12:34:56.1234567 +02:30",
             Py{"2024-05-06 12:34:56.123456+02:30"}),
        Same("minimum", "0001-01-01 00:00:00.0000000 +00:00", Py{"0001-01-01 00:00:00+00:00"}),
        Same("maximum", "9999-12-31 23:59:59.9999999 +14:00",
             Py{"9999-12-31 23:59:59.999999+14:00"}),
        Null()}});
  table.push_back({"uniqueidentifier",
                   "guid",
                   ParamKind::Text,
                   ftString,
                   -1,
                   false,
                   {Same("mixed", "{6F9619FF-8B86-D011-B42D-00C04FC964FF}",
                         Py{"6f9619ff-8b86-d011-b42d-00c04fc964ff"}),
                    Same("zero", "{00000000-0000-0000-0000-000000000000}",
                         Py{"00000000-0000-0000-0000-000000000000"}),
                    Same("all ones", "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}",
                         Py{"ffffffff-ffff-ffff-ffff-ffffffffffff"}),
                    Null()}});

  const std::string zeros16(16, '\0');
  table.push_back(
      {"binary(16)",
       "binary",
       ParamKind::Bytes,
       ftBytes,
       -1,
       false,
       {Same("full length with zero bytes",
             std::string("\0\xff\0\x01", 4) + bytes.substr(250) + std::string(5, '\0') + "\x01"),
        Same("short, unpadded", std::string("\x01\0\x02", 3)),
        V("trailing zero bytes", std::string("\x01\0\x02\0\0", 5), std::string("\x01\0\x02", 3)),
        V("all zero", zeros16, std::string(1, '\0')), Null()}});
  table.push_back({"varbinary(300)",
                   "varbinary",
                   ParamKind::Bytes,
                   ftVarBytes,
                   -1,
                   false,
                   {Same("every byte", bytes), Same("one zero byte", std::string(1, '\0')),
                    Same("empty", ""), Same("full length", BytePattern(300)), Null()}});
  table.push_back({"image",
                   "image",
                   ParamKind::Blob,
                   ftBlob,
                   -1,
                   true,
                   {Same("every byte", bytes), Same("zero bytes", std::string(2, '\0')),
                    Same("empty", ""), Same("long", BytePattern(9000)), Null()}});
  table.push_back({"varbinary(max)",
                   "varbinarymax",
                   ParamKind::Blob,
                   ftBlob,
                   -1,
                   true,
                   {Same("every byte", bytes), Same("zero bytes", std::string(3, '\0')),
                    Same("empty", ""), Same("long", BytePattern(9000)), Null()}});
  return table;
}

}  // namespace

const std::vector<FidelityColumn>& ValueTable() {
  static const std::vector<FidelityColumn> table = BuildTable();
  return table;
}

std::string Printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (out.size() >= 60) return out + "...(" + std::to_string(bytes.size()) + " bytes)";
    if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace tessel::fidelity
