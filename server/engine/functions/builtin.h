#pragma once

// The catalog of built-in T-SQL functions. Each family (string.cpp,
// math.cpp, datetime.cpp, ...) keeps an array of entries: the name, how many
// arguments a call takes, and the routine that binds a call, which picks the
// result type from the arguments' types and writes the SQLite translation.
// Binder::bindFunction looks the name up, checks the argument count (error
// 174) and dispatches; a name not in the catalog is error 195.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "binder.h"

namespace tessel::sqld::engine::builtin {

// One call being bound: its arguments, bound on demand, and the binder's
// services an entry needs.
class Call {
 public:
  // `window`: the OVER clause's SQLite text when the call is a window
  // function, else empty.
  Call(Binder& binder, const Expr& e, Binder::Scope& scope, std::string window = {})
      : binder_(binder), e_(e), scope_(scope), window_(std::move(window)) {}

  const Expr& expr() const { return e_; }
  // The upper-case name the call was written with.
  const std::string& name() const { return e_.op; }
  std::size_t size() const { return e_.args.size(); }
  const Expr& argExpr(std::size_t i) const { return *e_.args[i]; }

  Typed arg(std::size_t i) {
    Typed t = binder_.bindExpr(*e_.args[i], scope_);
    nestedAggregate_ = nestedAggregate_ || t.isAggregate;
    return t;
  }
  Typed bind(const Expr& e) { return binder_.bindExpr(e, scope_); }
  // A string argument: character and binary values as they are, others as
  // varchar(8000).
  Typed text(std::size_t i);
  // An integer argument's SQL (others converted to int).
  std::string integer(std::size_t i);
  // A date argument's SQL (non-date values converted to datetime).
  std::string datetime(std::size_t i);
  std::string convert(const Typed& value, const TypeInfo& to, int style = 0) {
    return binder_.convertSql(value, to, false, style);
  }
  // A numbered SQLite parameter for a variable or session value.
  std::string param(const std::string& name) { return binder_.param(name); }
  Typed compare(const std::string& op, const Typed& a, const Typed& b) {
    return binder_.bindCompareTyped(op, a, b);
  }
  BindContext& context() { return binder_.ctx_; }
  // The current database's SQLite schema, quoted, with the dot.
  std::string db();
  // The window a window function call runs over: its OVER clause as written
  // (null for a plain call) and as SQLite text (" OVER (...)", or empty) to
  // follow each aggregate the translation calls.
  const WindowSpec* over() const { return e_.over.get(); }
  const std::string& window() const { return window_; }
  // Whether an argument bound so far holds an aggregate.
  bool nestedAggregate() const { return nestedAggregate_; }
  // NEXT VALUE FOR references of one row share a site number.
  int nextSequenceSite() { return binder_.sequenceSite_++; }

 private:
  Binder& binder_;
  const Expr& e_;
  Binder::Scope& scope_;
  std::string window_;
  bool nestedAggregate_ = false;
};

inline constexpr std::uint8_t kVariadic = 255;

struct Function {
  std::string_view name;
  std::uint8_t minArgs;
  std::uint8_t maxArgs;  // kVariadic: no limit
  Typed (*bind)(Call&);
};

// The entry for an upper-case name, or null.
const Function* find(std::string_view name);

// The families, each in its own file.
std::span<const Function> aggregateFunctions();
std::span<const Function> stringFunctions();
std::span<const Function> mathFunctions();
std::span<const Function> datetimeFunctions();
std::span<const Function> logicalFunctions();
std::span<const Function> jsonFunctions();
std::span<const Function> conversionFunctions();
std::span<const Function> systemFunctions();
std::span<const Function> metadataFunctions();
std::span<const Function> windowFunctions();
std::span<const Function> datePartsFunctions();
std::span<const Function> formatFunctions();

// Whether an entry is an aggregate, and whether it may take an OVER clause
// (the aggregates but STRING_AGG, and the window functions, which must).
bool isAggregate(const Function& f);
bool takesWindow(const Function& f);
bool needsWindow(const Function& f);

// JSON_VALUE's and JSON_QUERY's translations for the SQL of a document and
// of a path (`root`: the path is `$`), which OPENJSON's columns share.
std::string jsonValueSql(const std::string& doc, const std::string& path, bool strict);
std::string jsonQuerySql(const std::string& doc, const std::string& path, bool strict, bool root);
// A path's text after its `lax` or `strict` mode word; `strict` tells which.
std::string_view jsonPathMode(std::string_view text, bool& strict);

// SQL for the id of the schema an object name (SQL text `name`) gives, in
// the database `db` ("" or a quoted schema with its dot): the default
// schema's when the name gives none, NULL when that schema does not exist.
std::string schemaIdOfName(const std::string& db, const std::string& name);

inline Typed make(std::string sql, TypeInfo type) {
  Typed t;
  t.sql = std::move(sql);
  t.type = type;
  return t;
}

}  // namespace tessel::sqld::engine::builtin
