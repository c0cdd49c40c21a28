// The JSON functions, over SQLite's json1: ISJSON, JSON_VALUE, JSON_QUERY.
// A path may start with `lax` (the default: what is not there, or not of
// the kind asked for, is NULL) or `strict` (errors 13608, 13623, 13624);
// the rest of the path is json1's syntax too ($.a.b, $.a[0], $."a b").

#include "builtin.h"
#include "errors.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

TypeInfo jsonText() {
  return makeType(SqlType::NVarChar, 8000);
}

// The JSON text argument: a character string (8116 for other types).
std::string jsonArg(Call& c) {
  Typed x = c.arg(0);
  if (!isCharType(x.type.type) && !x.nullLiteral)
    throw SqlError(8116, {typeName(x.type.type), lower(c.name())});
  return x.sql;
}

struct Path {
  std::string sql;
  bool strict = false;
  bool root = false;  // the whole document, `$`
};

// A literal path's mode is read when the call binds; a path from a variable
// or column runs in lax mode.
Path pathArg(Call& c, std::size_t i) {
  Path p;
  if (i >= c.size()) {
    p.sql = "'$'";
    p.root = true;
    return p;
  }
  const Expr& e = c.argExpr(i);
  if (e.kind == ExprKind::Literal)
    if (const auto* s = std::get_if<std::string>(&e.value.data())) {
      std::string_view text = jsonPathMode(*s, p.strict);
      p.sql = sqlLiteral(Stored::text(std::string(text)));
      p.root = text == "$";
      return p;
    }
  p.sql = c.text(i).sql;
  return p;
}

// ISJSON(x [, VALUE | ARRAY | OBJECT | SCALAR]): without a kind, an object
// or an array.
Typed isJson(Call& c) {
  std::string x = jsonArg(c);
  std::string kinds = "('object','array')";
  if (c.size() == 2) {
    const Expr& k = c.argExpr(1);
    std::string kind = k.kind == ExprKind::Column && k.names.size() == 1 ? upper(k.names[0]) : "";
    if (kind == "VALUE")
      kinds = "('object','array','integer','real','text','true','false','null')";
    else if (kind == "ARRAY")
      kinds = "('array')";
    else if (kind == "SCALAR")
      kinds = "('integer','real','text')";
    else if (kind != "OBJECT")
      throw SqlError(102, {kind.empty() ? "(" : kind});
    if (kind == "OBJECT") kinds = "('object')";
  }
  return make("(CASE WHEN " + x + " IS NULL THEN NULL WHEN NOT json_valid(" + x +
                  ") THEN 0 WHEN json_type(" + x + ") IN " + kinds + " THEN 1 ELSE 0 END)",
              makeType(SqlType::Int));
}

Typed jsonValue(Call& c) {
  std::string x = jsonArg(c);
  Path p = pathArg(c, 1);
  return make(jsonValueSql(x, p.sql, p.strict), jsonText());
}

Typed jsonQuery(Call& c) {
  std::string x = jsonArg(c);
  Path p = pathArg(c, 1);
  return make(jsonQuerySql(x, p.sql, p.strict, p.root),
              makeType(SqlType::NVarChar, kMaxLength - 1));
}

constexpr Function kFunctions[] = {
    {"ISJSON", 1, 2, isJson},
    {"JSON_QUERY", 1, 2, jsonQuery},
    {"JSON_VALUE", 2, 2, jsonValue},
};

}  // namespace

std::string_view jsonPathMode(std::string_view text, bool& strict) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  auto mode = [&](std::string_view word) {
    if (text.size() <= word.size() || !iequals(text.substr(0, word.size()), word) ||
        text[word.size()] != ' ')
      return false;
    text.remove_prefix(word.size() + 1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    return true;
  };
  strict = mode("strict");
  if (!strict) mode("lax");
  return text;
}

// A scalar as text: strings unquoted, numbers as written, true and false;
// NULL for a string longer than 4000 characters.
std::string jsonValueSql(const std::string& x, const std::string& path, bool strict) {
  Path p{path, strict, false};
  std::string type = "json_type(" + x + "," + p.sql + ")";
  std::string value = "json_extract(" + x + "," + p.sql + ")";
  std::string missing = p.strict ? "t_error(13608)" : "NULL";
  std::string nonScalar = p.strict ? "t_error(13623)" : "NULL";
  return "(CASE WHEN " + x + " IS NULL THEN NULL ELSE (CASE " + type +
         " WHEN 'text' THEN (CASE WHEN length(" + value + ") <= 4000 THEN " + value +
         " END) WHEN 'integer' THEN (" + x + " -> " + p.sql + ") WHEN 'real' THEN (" + x + " -> " +
         p.sql +
         ") WHEN 'true' THEN 'true' WHEN 'false' THEN 'false' WHEN 'null' THEN NULL "
         "WHEN 'object' THEN " +
         nonScalar + " WHEN 'array' THEN " + nonScalar + " ELSE " + missing + " END) END)";
}

// An object or an array as JSON text; the whole document comes back as
// written.
std::string jsonQuerySql(const std::string& x, const std::string& path, bool strict, bool root) {
  Path p{path, strict, root};
  std::string type = "json_type(" + x + "," + p.sql + ")";
  std::string fragment = p.root ? x : "(" + x + " -> " + p.sql + ")";
  std::string missing = p.strict ? "t_error(13608)" : "NULL";
  std::string scalar = p.strict ? "t_error(13624)" : "NULL";
  return "(CASE WHEN " + x + " IS NULL THEN NULL ELSE (CASE " + type + " WHEN 'object' THEN " +
         fragment + " WHEN 'array' THEN " + fragment + " WHEN 'integer' THEN " + scalar +
         " WHEN 'real' THEN " + scalar + " WHEN 'text' THEN " + scalar + " WHEN 'true' THEN " +
         scalar + " WHEN 'false' THEN " + scalar + " WHEN 'null' THEN " + scalar + " ELSE " +
         missing + " END) END)";
}

std::span<const Function> jsonFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
