// The string functions. Most run as t_* SQLite functions (functions.cpp)
// that count characters as SQL Server does and ignore trailing blanks where
// it does; the result keeps the argument's character type, made variable
// length.

#include <algorithm>
#include <vector>

#include "builtin.h"
#include "collations.h"
#include "errors.h"
#include "lexer.h"
#include "sqld/charset.h"
#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

TypeInfo intType() {
  return makeType(SqlType::Int);
}

// The argument's type made variable length (char to varchar, non-strings to
// varchar(8000)).
TypeInfo varyingOf(const TypeInfo& t) {
  TypeInfo r = isCharType(t.type) ? t : makeType(SqlType::VarChar, 8000);
  if (r.type == SqlType::Char) r.type = SqlType::VarChar;
  if (r.type == SqlType::NChar) r.type = SqlType::NVarChar;
  return r;
}

Typed len(Call& c) {
  return make("t_len(" + c.text(0).sql + ")", intType());
}

Typed dataLength(Call& c) {
  Typed a = c.arg(0);
  if (isCharType(a.type.type) || isBinaryType(a.type.type)) {
    const int page = collationCodePage(a.type.collation);
    return make("t_datalength(" + a.sql + "," +
                    (isUnicodeType(a.type.type)   ? "1"
                     : page == kUtf8CodePage      ? "2"
                     : isDoubleByteCodePage(page) ? std::to_string(page)
                                                  : "0") +
                    ")",
                intType());
  }
  int n = a.type.length;
  if (isDecimalType(a.type.type)) n = decimalLength(a.type.precision);
  return make("(CASE WHEN " + a.sql + " IS NULL THEN NULL ELSE " + std::to_string(n) + " END)",
              intType());
}

Typed substring(Call& c) {
  Typed s = c.text(0);
  TypeInfo t = s.type;
  if (t.type == SqlType::Text) t = makeType(SqlType::VarChar, 8000);
  if (t.type == SqlType::NText) t = makeType(SqlType::NVarChar, 8000);
  if (t.type == SqlType::Image) t = makeType(SqlType::VarBinary, 8000);
  if (t.type == SqlType::Char) t.type = SqlType::VarChar;
  if (t.type == SqlType::NChar) t.type = SqlType::NVarChar;
  if (t.type == SqlType::Binary) t.type = SqlType::VarBinary;
  return make("t_substring(" + s.sql + "," + c.integer(1) + "," + c.integer(2) + ")", t);
}

Typed leftRight(Call& c) {
  Typed s = c.text(0);
  return make(
      std::string(c.name() == "LEFT" ? "t_left(" : "t_right(") + s.sql + "," + c.integer(1) + ")",
      varyingOf(s.type));
}

// UPPER, LOWER, LTRIM, RTRIM, REVERSE: one string in, the same type out.
Typed oneString(Call& c) {
  Typed s = c.text(0);
  return make("t_" + lower(c.name()) + "(" + s.sql + ")", varyingOf(s.type));
}

Typed charIndex(Call& c) {
  std::string sql = "t_charindex(" + c.text(0).sql + "," + c.text(1).sql;
  if (c.size() == 3) sql += "," + c.integer(2);
  return make(sql + ")", intType());
}

Typed patIndex(Call&) {
  throw SqlError(195, {"patindex"});
}

Typed replace(Call& c) {
  Typed s = c.text(0);
  return make("t_replace(" + s.sql + "," + c.text(1).sql + "," + c.text(2).sql + ")",
              makeType(isUnicodeType(s.type.type) ? SqlType::NVarChar : SqlType::VarChar, 8000));
}

Typed stuff(Call& c) {
  return make("t_stuff(" + c.text(0).sql + "," + c.integer(1) + "," + c.integer(2) + "," +
                  c.text(3).sql + ")",
              makeType(SqlType::VarChar, 8000));
}

Typed str(Call& c) {
  std::string sql = "t_str(" + c.convert(c.arg(0), makeType(SqlType::Float));
  int n = 10;
  for (std::size_t i = 1; i < c.size(); ++i) sql += "," + c.integer(i);
  if (c.size() > 1 && c.argExpr(1).kind == ExprKind::Literal)
    if (auto* v = std::get_if<std::int64_t>(&c.argExpr(1).value.data())) n = static_cast<int>(*v);
  return make(sql + ")", makeType(SqlType::Char, std::clamp(n, 1, 8000)));
}

Typed space(Call& c) {
  return make("t_space(" + c.integer(0) + ")", makeType(SqlType::VarChar, 8000));
}

Typed replicate(Call& c) {
  // The result is cut at 8000 bytes unless the string is a (max) type.
  Typed s = c.text(0);
  bool unicode = isUnicodeType(s.type.type);
  TypeInfo t = makeType(unicode ? SqlType::NVarChar : SqlType::VarChar, 8000);
  if (isMaxType(s.type) || isLargeType(s.type.type))
    t.length = unicode ? kMaxLength - 1 : kMaxLength;
  return make(
      "t_replicate(" + s.sql + "," + c.integer(1) + "," + std::to_string(charLength(t)) + ")", t);
}

Typed codeOf(Call& c) {
  return make((c.name() == "ASCII" ? "t_ascii(" : "t_unicode(") + c.text(0).sql + ")", intType());
}

Typed charOf(Call& c) {
  bool ascii = c.name() == "CHAR";
  return make((ascii ? "t_char(" : "t_nchar(") + c.integer(0) + ")",
              ascii ? makeType(SqlType::Char, 1) : makeType(SqlType::NChar, 2));
}

Typed textPtr(Call& c) {
  Typed col = c.arg(0);
  if (!col.column || !col.table || !isLargeType(col.type.type))
    throw SqlError(8116, {typeName(col.type.type), "textptr"});
  return make("t_textptr(" + std::to_string(col.table->id) + "," +
                  std::to_string(col.column->colid) + "," + quoteName(col.sourceAlias) + ".rowid)",
              makeType(SqlType::VarBinary, 16));
}

Typed textValid(Call& c) {
  Typed p = c.arg(1);
  return make("(CASE WHEN length(" + p.sql + ")=16 THEN 1 ELSE 0 END)", intType());
}

// CONCAT and CONCAT_WS: NULLs count as empty strings (CONCAT_WS leaves them
// out with their separator); nvarchar when any argument is Unicode.
TypeInfo concatType(const std::vector<Typed>& xs) {
  bool unicode = false, max = false;
  for (const Typed& x : xs) {
    unicode = unicode || isUnicodeType(x.type.type);
    max = max || isMaxType(x.type) || isLargeType(x.type.type);
  }
  TypeInfo t = makeType(unicode ? SqlType::NVarChar : SqlType::VarChar, 8000);
  if (max) t.length = unicode ? kMaxLength - 1 : kMaxLength;
  t.nullable = false;
  return t;
}

// CONCAT takes 2 to 254 arguments, CONCAT_WS 3 to 254 (error 189).
void expectConcatArgs(Call& c, std::size_t least) {
  if (c.size() < least || c.size() > 254)
    throw SqlError(189, {lower(c.name()), std::to_string(least), "254"});
}

Typed concat(Call& c) {
  expectConcatArgs(c, 2);
  std::vector<Typed> xs;
  for (std::size_t i = 0; i < c.size(); ++i) xs.push_back(c.text(i));
  std::string sql = "(''";
  for (const Typed& x : xs) sql += " || coalesce(" + x.sql + ",'')";
  return make(sql + ")", concatType(xs));
}

Typed concatWs(Call& c) {
  expectConcatArgs(c, 3);
  std::vector<Typed> xs;
  for (std::size_t i = 0; i < c.size(); ++i) xs.push_back(c.text(i));
  // Each value comes with the separator before it; the first one's is cut.
  std::string sep = "coalesce(" + xs[0].sql + ",'')";
  std::string joined = "(''";
  for (std::size_t i = 1; i < xs.size(); ++i)
    joined += " || coalesce(" + sep + " || " + xs[i].sql + ",'')";
  joined += ")";
  return make("substr(" + joined + ", length(" + sep + ") + 1)", concatType(xs));
}

// TRIM(string) takes off spaces, TRIM(characters FROM string) any of the
// characters, at both ends.
Typed trim(Call& c) {
  Typed s = c.text(0);
  if (c.size() == 1) return make("trim(" + s.sql + ")", varyingOf(s.type));
  return make("trim(" + s.sql + ", " + c.text(1).sql + ")", varyingOf(s.type));
}

// The result keeps the string's type; the two character lists must be as
// long as each other (error 9828, raised by t_translate).
Typed translate(Call& c) {
  Typed s = c.text(0);
  TypeInfo t = isCharType(s.type.type) ? s.type : makeType(SqlType::VarChar, 8000);
  return make("t_translate(" + s.sql + "," + c.text(1).sql + "," + c.text(2).sql + ")", t);
}

constexpr Function kFunctions[] = {
    {"ASCII", 1, 1, codeOf},
    {"CHAR", 1, 1, charOf},
    {"CHARINDEX", 2, 3, charIndex},
    {"CONCAT", 0, kVariadic, concat},
    {"CONCAT_WS", 0, kVariadic, concatWs},
    {"DATALENGTH", 1, 1, dataLength},
    {"LEFT", 2, 2, leftRight},
    {"LEN", 1, 1, len},
    {"LOWER", 1, 1, oneString},
    {"LTRIM", 1, 1, oneString},
    {"NCHAR", 1, 1, charOf},
    {"PATINDEX", 2, 2, patIndex},
    {"REPLACE", 3, 3, replace},
    {"REPLICATE", 2, 2, replicate},
    {"REVERSE", 1, 1, oneString},
    {"RIGHT", 2, 2, leftRight},
    {"RTRIM", 1, 1, oneString},
    {"SPACE", 1, 1, space},
    {"STR", 1, 3, str},
    {"STUFF", 4, 4, stuff},
    {"SUBSTRING", 3, 3, substring},
    {"TEXTPTR", 1, 1, textPtr},
    {"TEXTVALID", 2, 2, textValid},
    {"UNICODE", 1, 1, codeOf},
    {"UPPER", 1, 1, oneString},
    {"TRANSLATE", 3, 3, translate},
    {"TRIM", 1, 2, trim},
};

}  // namespace

std::span<const Function> stringFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
