// Expressions, types and SELECT.

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <set>

#include "errors.h"
#include "parser.h"
#include "parser_impl.h"
#include "sqld/charset.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// The words SQL Server reserves: none of them names a table, column or
// alias unless delimited ([user], "file").
const std::set<std::string>& reservedWords() {
  static const std::set<std::string> words = [] {
    std::string_view all =
        "ADD ALL ALTER AND ANY AS ASC AUTHORIZATION BACKUP BEGIN BETWEEN BREAK BROWSE BULK BY "
        "CASCADE CASE CHECK CHECKPOINT CLOSE CLUSTERED COALESCE COLLATE COLUMN COMMIT COMPUTE "
        "CONSTRAINT CONTAINS CONTAINSTABLE CONTINUE CONVERT CREATE CROSS CURRENT CURRENT_DATE "
        "CURRENT_TIME CURRENT_TIMESTAMP CURRENT_USER CURSOR DATABASE DBCC DEALLOCATE DECLARE "
        "DEFAULT DELETE DENY DESC DISK DISTINCT DISTRIBUTED DOUBLE DROP DUMP ELSE END ERRLVL "
        "ESCAPE EXCEPT EXEC EXECUTE EXISTS EXIT EXTERNAL FETCH FILE FILLFACTOR FOR FOREIGN "
        "FREETEXT FREETEXTTABLE FROM FULL FUNCTION GOTO GRANT GROUP HAVING HOLDLOCK IDENTITY "
        "IDENTITY_INSERT IDENTITYCOL IF IN INDEX INNER INSERT INTERSECT INTO IS JOIN KEY KILL "
        "LEFT LIKE LINENO LOAD MERGE NATIONAL NOCHECK NONCLUSTERED NOT NULL NULLIF OF OFF "
        "OFFSETS ON OPEN OPENDATASOURCE OPENQUERY OPENROWSET OPENXML OPTION OR ORDER OUTER "
        "OVER PERCENT PIVOT PLAN PRECISION PRIMARY PRINT PROC PROCEDURE PUBLIC RAISERROR READ "
        "READTEXT RECONFIGURE REFERENCES REPLICATION RESTORE RESTRICT RETURN REVERT REVOKE "
        "RIGHT ROLLBACK ROWCOUNT ROWGUIDCOL RULE SAVE SCHEMA SECURITYAUDIT SELECT "
        "SEMANTICKEYPHRASETABLE SEMANTICSIMILARITYDETAILSTABLE SEMANTICSIMILARITYTABLE "
        "SESSION_USER SET SETUSER SHUTDOWN SOME STATISTICS SYSTEM_USER TABLE TABLESAMPLE "
        "TEXTSIZE THEN TO TOP TRAN TRANSACTION TRIGGER TRUNCATE TRY_CONVERT TSEQUAL UNION "
        "UNIQUE UNPIVOT UPDATE UPDATETEXT USE USER VALUES VARYING VIEW WAITFOR WHEN WHERE "
        "WHILE WITH WRITETEXT ";
    std::set<std::string> set;
    for (std::size_t at = 0, end; at < all.size(); at = end + 1) {
      end = all.find(' ', at);
      set.emplace(all.substr(at, end - at));
    }
    return set;
  }();
  return words;
}

// Reserved words that are also the names of built-in functions.
bool isReservedFunction(const Token& t) {
  static constexpr std::string_view kNames[] = {"COALESCE", "CONVERT", "IDENTITY",    "LEFT",
                                                "NULLIF",   "RIGHT",   "TRY_CONVERT", "UPDATE"};
  for (std::string_view n : kNames)
    if (iequals(t.text, n)) return true;
  return false;
}

ExprPtr makeExpr(ExprKind kind, std::size_t offset) {
  auto e = std::make_unique<Expr>();
  e->kind = kind;
  e->offset = offset;
  return e;
}

ExprPtr makeBinary(ExprKind kind, std::string op, ExprPtr a, ExprPtr b) {
  auto e = makeExpr(kind, a->offset);
  e->op = std::move(op);
  e->args.push_back(std::move(a));
  e->args.push_back(std::move(b));
  return e;
}

// `a AND b AND c` as one node with three operands: a generated condition of
// thousands of terms stays one level deep.
ExprPtr appendLogical(ExprKind kind, ExprPtr left, ExprPtr right) {
  if (left->kind != kind)
    return makeBinary(kind, kind == ExprKind::And ? "AND" : "OR", std::move(left),
                      std::move(right));
  left->args.push_back(std::move(right));
  return left;
}

}  // namespace

Parser::Parser(std::string_view sql, bool quotedIdentifier)
    : sql_(sql), tokens_(tokenize(sql, quotedIdentifier)) {}

const Token& Parser::peek(std::size_t ahead) const {
  std::size_t i = pos_ + ahead;
  return i < tokens_.size() ? tokens_[i] : tokens_.back();
}

const Token& Parser::next() {
  const Token& t = tokens_[pos_];
  if (pos_ + 1 < tokens_.size()) ++pos_;
  return t;
}

bool Parser::isWord(std::string_view w, std::size_t ahead) const {
  const Token& t = peek(ahead);
  return t.kind == TokenKind::Word && iequals(t.text, w);
}

bool Parser::isSymbol(std::string_view s, std::size_t ahead) const {
  const Token& t = peek(ahead);
  return t.kind == TokenKind::Symbol && t.text == s;
}

bool Parser::acceptWord(std::string_view w) {
  if (!isWord(w)) return false;
  next();
  return true;
}

bool Parser::acceptSymbol(std::string_view s) {
  if (!isSymbol(s)) return false;
  next();
  return true;
}

void Parser::expectWord(std::string_view w) {
  if (!acceptWord(w)) syntaxError();
}

void Parser::expectSymbol(std::string_view s) {
  if (!acceptSymbol(s)) syntaxError();
}

bool Parser::isReserved(const Token& t) const {
  return t.kind == TokenKind::Word && reservedWords().count(upper(t.text)) > 0;
}

void Parser::syntaxError() const {
  syntaxErrorAt(peek());
}

void Parser::syntaxErrorAt(const Token& t) const {
  if (t.kind == TokenKind::End) {
    // Past the end, SQL Server names the last token of the batch as 102,
    // keyword or not.
    std::string last = pos_ > 0 ? tokens_[pos_ - 1].text : std::string();
    throw SqlError(102, {last});
  }
  if (isReserved(t)) throw SqlError(156, {t.text});
  std::string text = t.text;
  if (t.kind == TokenKind::String || t.kind == TokenKind::NString) text = t.text;
  throw SqlError(102, {text});
}

std::string Parser::sourceText(std::size_t from, std::size_t to) const {
  if (to > sql_.size()) to = sql_.size();
  if (from > to) return {};
  return std::string(sql_.substr(from, to - from));
}

bool Parser::atIdentifier() const {
  const Token& t = peek();
  return t.kind == TokenKind::QuotedName || (t.kind == TokenKind::Word && !isReserved(t));
}

std::string Parser::parseIdentifier() {
  const Token& t = peek();
  if (t.kind == TokenKind::QuotedName || t.kind == TokenKind::Word) {
    if (t.kind == TokenKind::Word && isReserved(t)) syntaxError();
    return next().text;
  }
  syntaxError();
}

// a, a.b, a.b.c, a..c (the empty middle part stays empty).
Name Parser::parseName() {
  Name name;
  name.push_back(parseIdentifier());
  while (isSymbol(".")) {
    next();
    while (isSymbol(".")) {
      next();
      name.emplace_back();
    }
    if (isSymbol("*")) break;  // t.* is handled by the caller
    name.push_back(parseIdentifier());
  }
  return name;
}

Name Parser::parseTableName() {
  if (peek().kind == TokenKind::Variable) return {next().text};
  return parseName();
}

Parser::DepthGuard::DepthGuard(Parser& p) : parser(p) {
  deeper();
}

void Parser::DepthGuard::deeper() {
  if (parser.depth_ >= kMaxDepth) throw SqlError(191, {});
  ++parser.depth_;
  ++levels;
}

ExprPtr Parser::parseExpr() {
  DepthGuard guard(*this);
  return parseOr();
}

ExprPtr Parser::parseOr() {
  ExprPtr left = parseAnd();
  while (isWord("OR")) {
    next();
    left = appendLogical(ExprKind::Or, std::move(left), parseAnd());
  }
  return left;
}

ExprPtr Parser::parseAnd() {
  ExprPtr left = parseNot();
  while (isWord("AND")) {
    next();
    left = appendLogical(ExprKind::And, std::move(left), parseNot());
  }
  return left;
}

ExprPtr Parser::parseNot() {
  DepthGuard guard(*this);
  if (isWord("NOT")) {
    std::size_t offset = next().offset;
    auto e = makeExpr(ExprKind::Not, offset);
    e->args.push_back(parseNot());
    return e;
  }
  return parsePredicate();
}

ExprPtr Parser::parsePredicate() {
  if (isWord("EXISTS")) {
    std::size_t offset = next().offset;
    expectSymbol("(");
    auto e = makeExpr(ExprKind::Exists, offset);
    e->query = parseSelect();
    expectSymbol(")");
    return e;
  }
  ExprPtr left = parseAdditive();
  // One predicate at most: they do not chain in T-SQL (`a = b = c` is a
  // syntax error), and a chain would nest the tree as deep as it is long.
  static constexpr std::string_view kCompare[] = {"=",  "<>", "!=", "<", ">",
                                                  "<=", ">=", "!<", "!>"};
  for (std::string_view op : kCompare) {
    if (!isSymbol(op)) continue;
    next();
    std::string o(op);
    if (o == "!=") o = "<>";
    if (o == "!<") o = ">=";
    if (o == "!>") o = "<=";
    return makeBinary(ExprKind::Compare, o, std::move(left), parseAdditive());
  }
  bool negated = false;
  if (isWord("NOT") && (isWord("IN", 1) || isWord("LIKE", 1) || isWord("BETWEEN", 1))) {
    next();
    negated = true;
  }
  if (acceptWord("IS")) {
    auto e = makeExpr(ExprKind::IsNull, left->offset);
    e->negated = acceptWord("NOT");
    expectWord("NULL");
    e->args.push_back(std::move(left));
    return e;
  }
  if (acceptWord("IN")) {
    expectSymbol("(");
    ExprPtr e;
    if (isWord("SELECT")) {
      e = makeExpr(ExprKind::InSubquery, left->offset);
      e->args.push_back(std::move(left));
      e->query = parseSelect();
    } else {
      e = makeExpr(ExprKind::InList, left->offset);
      e->args.push_back(std::move(left));
      do e->args.push_back(parseExpr());
      while (acceptSymbol(","));
    }
    expectSymbol(")");
    e->negated = negated;
    return e;
  }
  if (acceptWord("LIKE")) {
    auto e = makeExpr(ExprKind::Like, left->offset);
    e->args.push_back(std::move(left));
    e->args.push_back(parseAdditive());
    if (acceptWord("ESCAPE")) e->args.push_back(parseAdditive());
    e->negated = negated;
    return e;
  }
  if (acceptWord("BETWEEN")) {
    auto e = makeExpr(ExprKind::Between, left->offset);
    e->args.push_back(std::move(left));
    e->args.push_back(parseAdditive());
    expectWord("AND");
    e->args.push_back(parseAdditive());
    e->negated = negated;
    return e;
  }
  if (negated) syntaxError();
  return left;
}

ExprPtr Parser::parseAdditive() {
  ExprPtr left = parseMultiplicative();
  for (;;) {
    if (isSymbol("+") || isSymbol("-") || isSymbol("&") || isSymbol("|") || isSymbol("^") ||
        isSymbol("||")) {
      std::string op = next().text;
      if (op == "||") op = "+";
      left = makeBinary(ExprKind::Binary, op, std::move(left), parseMultiplicative());
    } else {
      return left;
    }
  }
}

ExprPtr Parser::parseMultiplicative() {
  ExprPtr left = parseUnary();
  while (isSymbol("*") || isSymbol("/") || isSymbol("%")) {
    std::string op = next().text;
    left = makeBinary(ExprKind::Binary, op, std::move(left), parseUnary());
  }
  return left;
}

ExprPtr Parser::parseUnary() {
  DepthGuard guard(*this);
  if (isSymbol("-") || isSymbol("+") || isSymbol("~")) {
    const Token& t = next();
    std::string op = t.text;
    std::size_t offset = t.offset;
    if (op == "-" && peek().kind == TokenKind::Money && peek().text[0] != '-') {
      // -$922337203685477.5808 is the smallest money: the sign belongs to the digits.
      ExprPtr operand = parseLiteral(true);
      return operand;
    }
    ExprPtr operand = parseUnary();
    if (op == "+") return operand;
    // Fold the sign into a numeric literal so that -2147483648 stays an int.
    if (op == "-" && operand->kind == ExprKind::Literal && !operand->value.isNull()) {
      auto& d = operand->value.data();
      if (auto* i = std::get_if<std::int64_t>(&d)) {
        *i = -*i;
        if (*i == -2147483648LL && operand->type.type == SqlType::BigInt)
          operand->type = makeType(SqlType::Int);
        return operand;
      }
      if (auto* f = std::get_if<double>(&d)) {
        *f = -*f;
        return operand;
      }
      if (auto* m = std::get_if<MoneyValue>(&d)) {
        m->tenThousandths = -m->tenThousandths;
        return operand;
      }
      if (auto* dec = std::get_if<DecimalValue>(&d)) {
        dec->unscaled = -dec->unscaled;
        if (dec->unscaled == -2147483648LL && dec->scale == 0 &&
            operand->type.type == SqlType::Numeric && operand->type.precision == 10 &&
            operand->type.scale == 0) {
          operand->value = Value(std::int64_t{-2147483648LL});
          operand->type = makeType(SqlType::Int);
        }
        return operand;
      }
    }
    auto e = makeExpr(ExprKind::Unary, offset);
    e->op = op;
    e->args.push_back(std::move(operand));
    return e;
  }
  ExprPtr operand = parsePrimary();
  while (isWord("COLLATE")) {
    auto e = makeExpr(ExprKind::Collate, next().offset);
    e->op = parseIdentifier();
    e->args.push_back(std::move(operand));
    operand = std::move(e);
  }
  return operand;
}

namespace {

// The digits of an exact literal without leading zeros ("0" for zero).
std::string significantDigits(const std::string& digits) {
  std::size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? "0" : digits.substr(first);
}

}  // namespace

ExprPtr Parser::parseLiteral(bool negate) {
  const Token& t = next();
  auto e = makeExpr(ExprKind::Literal, t.offset);
  switch (t.kind) {
    case TokenKind::String: {
      // A varchar literal holds code-page characters: one byte each. Where
      // code page 1252 lacks some, op keeps the text as written for a
      // database of another code page (the binder's bindLiteral).
      std::string text = utf8WithinCp1252(t.text);
      if (text != t.text) e->op = t.text;
      int chars = 0;
      for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++chars;
      e->value = Value(std::move(text));
      e->type = makeType(SqlType::VarChar, std::max(1, chars));
      break;
    }
    case TokenKind::NString: {
      int chars = 0;
      for (unsigned char c : t.text)
        if ((c & 0xC0) != 0x80) ++chars;
      e->value = Value(t.text);
      e->type = makeType(SqlType::NVarChar, std::max(1, chars) * 2);
      break;
    }
    case TokenKind::Integer: {
      // int when it fits, otherwise numeric(p,0) with the digits written.
      std::string digits = significantDigits(t.text);
      if (digits.size() > 38) throw SqlError(1007, {t.text});
      __int128 v = 0;
      for (char c : digits) v = v * 10 + (c - '0');
      if (v <= 2147483647) {
        e->value = Value(static_cast<std::int64_t>(v));
        e->type = makeType(SqlType::Int);
      } else {
        auto p = static_cast<std::uint8_t>(digits.size());
        e->value = Value(DecimalValue{v, p, 0});
        e->type = makeType(SqlType::Numeric, 0, p, 0);
      }
      break;
    }
    case TokenKind::Decimal: {
      // An exact literal stays exact: numeric with the precision and scale
      // it is written with, up to 38 digits.
      DecimalValue d;
      std::size_t dot = t.text.find('.');
      std::string frac = t.text.substr(dot + 1);
      std::string digits = significantDigits(t.text.substr(0, dot) + frac);
      int precision = std::max<int>(static_cast<int>(digits.size()), static_cast<int>(frac.size()));
      if (precision > 38) throw SqlError(1007, {t.text});
      for (char c : digits) d.unscaled = d.unscaled * 10 + (c - '0');
      d.scale = static_cast<std::uint8_t>(frac.size());
      d.precision = static_cast<std::uint8_t>(std::max(precision, 1));
      e->value = Value(d);
      e->type = makeType(SqlType::Numeric, 0, d.precision, d.scale);
      break;
    }
    case TokenKind::Float:
      e->value = Value(std::strtod(t.text.c_str(), nullptr));
      e->type = makeType(SqlType::Float);
      break;
    case TokenKind::Money: {
      // Exact to the ten-thousandth: a double would lose the last digits of
      // large amounts.
      std::string_view text = t.text;
      bool negative = negate;
      if (!text.empty() && text[0] == '-') {
        negative = !negative;
        text.remove_prefix(1);
      }
      __int128 unscaled = 0;
      int fraction = -1;  // digits seen after the point; -1 before it
      bool roundUp = false;
      for (char c : text) {
        if (c == '.' && fraction < 0) {
          fraction = 0;
        } else if (c >= '0' && c <= '9') {
          if (fraction >= 4) {
            if (fraction++ == 4) roundUp = c >= '5';
            continue;
          }
          if (fraction >= 0) ++fraction;
          unscaled = unscaled * 10 + (c - '0');
          if (unscaled > static_cast<__int128>(1) << 64)
            throw SqlError(8115, {"expression", "money"});
        } else {
          throw SqlError(102, {t.text});
        }
      }
      for (int i = std::max(fraction, 0); i < 4; ++i) unscaled *= 10;
      if (roundUp) ++unscaled;
      if (negative) unscaled = -unscaled;
      if (unscaled > std::numeric_limits<std::int64_t>::max() ||
          unscaled < std::numeric_limits<std::int64_t>::min())
        throw SqlError(8115, {"expression", "money"});
      e->value = Value(MoneyValue{static_cast<std::int64_t>(unscaled)});
      e->type = makeType(SqlType::Money, 0, 19, 4);
      break;
    }
    case TokenKind::Binary:
      e->value = Value(BytesValue{t.text});
      e->type = makeType(SqlType::VarBinary, std::max<int>(1, static_cast<int>(t.text.size())));
      break;
    default:
      syntaxErrorAt(t);
  }
  return e;
}

TypeInfo Parser::parseType() {
  const Token& t = peek();
  if (t.kind != TokenKind::Word && t.kind != TokenKind::QuotedName) syntaxError();
  std::string name = next().text;
  if (iequals(name, "double")) acceptWord("precision");
  if (iequals(name, "national")) {
    if (acceptWord("char") || acceptWord("character")) {
      name = acceptWord("varying") ? "nvarchar" : "nchar";
    } else if (acceptWord("text")) {
      name = "ntext";
    }
  }
  if ((iequals(name, "char") || iequals(name, "character")) && acceptWord("varying"))
    name = "varchar";
  std::vector<int> args;
  if (acceptSymbol("(")) {
    do {
      if (acceptWord("max")) {
        args.push_back(-1);
      } else if (peek().kind == TokenKind::Integer) {
        args.push_back(std::atoi(next().text.c_str()));
      } else {
        syntaxError();
      }
    } while (acceptSymbol(","));
    expectSymbol(")");
  }
  static const char* const kSizedNames[] = {"char",     "character", "varchar",  "nchar",
                                            "nvarchar", "binary",    "varbinary"};
  lastTypeLacksLength_ =
      args.empty() && std::any_of(std::begin(kSizedNames), std::end(kSizedNames),
                                  [&](const char* sized) { return iequals(name, sized); });
  auto type = typeFromName(name, args);
  if (!type) throw SqlError(2715, {"1", name});
  return *type;
}

TypeInfo Parser::parseDeclaredType(Name& userType) {
  const Token& t = peek();
  bool builtIn =
      (t.kind == TokenKind::Word || t.kind == TokenKind::QuotedName) && !isSymbol(".", 1) &&
      (typeFromName(t.text, {}) || iequals(t.text, "national") || iequals(t.text, "character"));
  if (builtIn) return parseType();
  userType = parseName();
  return makeType(SqlType::Int);
}

// CAST and CONVERT give character and binary types written without a length
// 30; types that are such types underneath (xml, sysname, rowversion) keep
// their own size.
TypeInfo Parser::parseCastType() {
  TypeInfo t = parseType();
  if (lastTypeLacksLength_) t.length = isUnicodeType(t.type) ? 60 : 30;
  return t;
}

ExprPtr Parser::parseCase() {
  auto e = makeExpr(ExprKind::Case, next().offset);
  if (!isWord("WHEN")) {
    e->caseOperand = true;
    e->args.push_back(parseExpr());
  }
  while (acceptWord("WHEN")) {
    e->args.push_back(parseExpr());
    expectWord("THEN");
    e->args.push_back(parseExpr());
  }
  if (acceptWord("ELSE")) {
    e->caseElse = true;
    e->args.push_back(parseExpr());
  }
  expectWord("END");
  return e;
}

ExprPtr Parser::parseFunction(std::string name, std::size_t offset) {
  expectSymbol("(");
  std::string fn = upper(name);
  // TRY_CAST and TRY_CONVERT are built-in functions with CAST's and
  // CONVERT's syntax: the target type in `type`, the value and style as
  // arguments.
  bool attempt = fn == "TRY_CAST" || fn == "TRY_CONVERT";
  if (fn == "CAST" || fn == "TRY_CAST") {
    auto e = makeExpr(attempt ? ExprKind::Function : ExprKind::Cast, offset);
    e->op = fn;
    e->args.push_back(parseExpr());
    expectWord("AS");
    e->type = parseCastType();
    expectSymbol(")");
    return e;
  }
  if (fn == "CONVERT" || fn == "TRY_CONVERT") {
    auto e = makeExpr(attempt ? ExprKind::Function : ExprKind::Cast, offset);
    e->op = fn;
    e->type = parseCastType();
    expectSymbol(",");
    e->args.push_back(parseExpr());
    if (acceptSymbol(",")) e->args.push_back(parseExpr());
    expectSymbol(")");
    return e;
  }
  auto e = makeExpr(ExprKind::Function, offset);
  e->op = fn;
  if (acceptSymbol(")")) return e;
  // TRIM(characters FROM string) binds as TRIM(string, characters).
  if (fn == "TRIM") {
    ExprPtr first = parseExpr();
    if (acceptWord("FROM")) e->args.push_back(parseExpr());
    e->args.push_back(std::move(first));
    expectSymbol(")");
    return e;
  }
  if (isSymbol("*")) {
    next();
    e->star = true;
    expectSymbol(")");
    return e;
  }
  if (acceptWord("DISTINCT")) {
    e->distinct = true;
  } else {
    acceptWord("ALL");
  }
  // DATEADD(day, ...) and friends take a date part as a bare word.
  bool datePart = fn == "DATEADD" || fn == "DATEDIFF" || fn == "DATEPART" || fn == "DATENAME";
  do {
    if (datePart && e->args.empty() && peek().kind == TokenKind::Word) {
      auto part = makeExpr(ExprKind::Literal, peek().offset);
      std::string text = lower(next().text);
      part->value = Value(text);
      part->type = makeType(SqlType::VarChar, static_cast<int>(text.size()));
      e->args.push_back(std::move(part));
    } else {
      e->args.push_back(parseExpr());
    }
  } while (acceptSymbol(","));
  expectSymbol(")");
  if (fn == "STRING_AGG" && acceptWord("WITHIN")) {
    expectWord("GROUP");
    expectSymbol("(");
    expectWord("ORDER");
    expectWord("BY");
    do {
      e->args.push_back(parseExpr());
      bool descending = acceptWord("DESC");
      if (!descending) acceptWord("ASC");
      e->withinGroup.push_back(descending);
    } while (acceptSymbol(","));
    expectSymbol(")");
  }
  return e;
}

ExprPtr Parser::parseCall(std::string name, std::size_t offset) {
  ExprPtr e = parseFunction(std::move(name), offset);
  if (e->kind == ExprKind::Function && isWord("OVER")) parseOver(*e);
  return e;
}

void Parser::parseOver(Expr& call) {
  expectWord("OVER");
  expectSymbol("(");
  auto w = std::make_unique<WindowSpec>();
  if (acceptWord("PARTITION")) {
    expectWord("BY");
    do w->partitionBy.push_back(parseExpr());
    while (acceptSymbol(","));
  }
  if (acceptWord("ORDER")) {
    expectWord("BY");
    do {
      OrderItem item;
      item.expr = parseExpr();
      item.descending = acceptWord("DESC");
      if (!item.descending) acceptWord("ASC");
      w->orderBy.push_back(std::move(item));
    } while (acceptSymbol(","));
  }
  if (isWord("ROWS") || isWord("RANGE")) {
    w->frameUnit = upper(next().text);
    if (acceptWord("BETWEEN")) {
      w->start = parseFrameBound();
      expectWord("AND");
      w->end = parseFrameBound();
    } else {
      // The short form names the start; the frame ends at the current row.
      const Token& at = peek();
      w->start = parseFrameBound();
      using K = WindowSpec::Bound::Kind;
      if (w->start.kind == K::Following || w->start.kind == K::UnboundedFollowing)
        syntaxErrorAt(at);
    }
  }
  expectSymbol(")");
  call.over = std::move(w);
}

WindowSpec::Bound Parser::parseFrameBound() {
  using K = WindowSpec::Bound::Kind;
  WindowSpec::Bound b;
  if (acceptWord("CURRENT")) {
    expectWord("ROW");
    return b;
  }
  if (acceptWord("UNBOUNDED")) {
    if (acceptWord("PRECEDING")) {
      b.kind = K::UnboundedPreceding;
    } else {
      expectWord("FOLLOWING");
      b.kind = K::UnboundedFollowing;
    }
    return b;
  }
  // n PRECEDING or n FOLLOWING: an unsigned integer.
  const Token& t = peek();
  if (t.kind != TokenKind::Integer) syntaxError();
  const std::string& digits = t.text;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), b.offset);
  if (ec != std::errc() || end != digits.data() + digits.size()) syntaxError();
  next();
  if (acceptWord("PRECEDING")) {
    b.kind = K::Preceding;
  } else {
    expectWord("FOLLOWING");
    b.kind = K::Following;
  }
  return b;
}

ExprPtr Parser::parsePrimary() {
  const Token& t = peek();
  switch (t.kind) {
    case TokenKind::String:
    case TokenKind::NString:
    case TokenKind::Integer:
    case TokenKind::Decimal:
    case TokenKind::Float:
    case TokenKind::Money:
    case TokenKind::Binary:
      return parseLiteral();
    case TokenKind::Variable: {
      auto e = makeExpr(ExprKind::Variable, t.offset);
      e->op = next().text;
      return parseXmlMethods(std::move(e));
    }
    case TokenKind::Symbol:
      if (t.text == "(") {
        std::size_t offset = next().offset;
        if (isWord("SELECT")) {
          auto e = makeExpr(ExprKind::Subquery, offset);
          e->query = parseSelect();
          expectSymbol(")");
          if (e->query->forXml && isSymbol(".") && isWord("value", 1) && isSymbol("(", 2) &&
              peek(3).kind == TokenKind::String && peek(3).text == ".")
            return parseXmlValue(std::move(e));
          return parseXmlMethods(std::move(e));
        }
        ExprPtr inner = parseExpr();
        expectSymbol(")");
        return parseXmlMethods(std::move(inner));
      }
      if (t.text == "*") {
        auto e = makeExpr(ExprKind::Star, next().offset);
        return e;
      }
      syntaxError();
    case TokenKind::Word:
    case TokenKind::QuotedName:
      break;
    case TokenKind::End:
      syntaxError();
  }
  std::size_t offset = t.offset;
  if (t.kind == TokenKind::Word) {
    if (isWord("NULL")) {
      next();
      auto e = makeExpr(ExprKind::Literal, offset);
      e->type = makeType(SqlType::Int);
      return e;
    }
    if (isWord("CASE")) return parseCase();
    // NEXT VALUE FOR sequence: a function without arguments that names its sequence.
    if (isWord("NEXT") && isWord("VALUE", 1) && isWord("FOR", 2)) {
      next();
      next();
      next();
      auto e = makeExpr(ExprKind::Function, offset);
      e->op = "NEXT VALUE FOR";
      e->names = parseName();
      sequenceRefs_.push_back(e->names);
      return e;
    }
    if (isSymbol("(", 1) && (!isReserved(t) || isReservedFunction(t))) {
      std::string name = next().text;
      // CAST(... AS xml).value(...) and the like.
      return parseXmlMethods(parseCall(name, offset));
    }
    static constexpr std::string_view kNiladic[] = {"CURRENT_TIMESTAMP", "CURRENT_USER",
                                                    "SESSION_USER", "SYSTEM_USER", "USER"};
    for (std::string_view n : kNiladic) {
      if (isWord(n) && !isSymbol(".", 1)) {
        auto e = makeExpr(ExprKind::Function, offset);
        e->op = std::string(n);
        next();
        return e;
      }
    }
  }
  Name name = parseName();
  bool afterDot =
      pos_ > 0 && tokens_[pos_ - 1].kind == TokenKind::Symbol && tokens_[pos_ - 1].text == ".";
  if (afterDot && isSymbol("*")) {
    next();
    auto e = makeExpr(ExprKind::Star, offset);
    e->names = std::move(name);
    return e;
  }
  // column.value(...): an xml method, not a function of a schema.
  if (isSymbol("(") && name.size() > 1 &&
      (name.back() == "value" || name.back() == "query" || name.back() == "exist")) {
    const std::string method = name.back();
    name.pop_back();
    auto target = makeExpr(ExprKind::Column, offset);
    target->names = std::move(name);
    return parseXmlMethods(parseXmlMethodCall(std::move(target), method));
  }
  // schema.function(...) calls: keep the last part as the function name.
  if (isSymbol("(") && name.size() > 1) {
    ExprPtr call = parseCall(name.back(), offset);
    // The whole name: it may name a user-defined function.
    if (call->kind == ExprKind::Function) call->names = std::move(name);
    return call;
  }
  auto e = makeExpr(ExprKind::Column, offset);
  e->names = std::move(name);
  return e;
}

void Parser::skipTableHints(bool allowBare) {
  // WITH (NOLOCK, ...) or a bare (NOLOCK) after a table name.
  bool with = isWord("WITH") && isSymbol("(", 1);
  bool bare = allowBare && isSymbol("(") && peek(1).kind == TokenKind::Word &&
              (isSymbol(")", 2) || isSymbol(",", 2));
  if (!with && !bare) return;
  if (with) next();
  expectSymbol("(");
  int depth = 1;
  while (depth > 0 && !atEnd()) {
    const Token& t = next();
    if (t.kind == TokenKind::Symbol && t.text == "(") ++depth;
    if (t.kind == TokenKind::Symbol && t.text == ")") --depth;
  }
}

TableRefPtr Parser::parseTablePrimary() {
  auto ref = std::make_unique<TableRef>();
  if (acceptSymbol("(")) {
    if (isWord("SELECT")) {
      ref->kind = TableRef::Kind::Derived;
      ref->derived = parseSelect();
      expectSymbol(")");
    } else if (isWord("VALUES")) {
      parseValuesRows(*ref);
      expectSymbol(")");
    } else {
      TableRefPtr inner = parseTableSource();
      expectSymbol(")");
      return inner;
    }
  } else {
    // ::fn_helpcollations(), the old spelling of a system table function.
    bool system = isSymbol(":") && isSymbol(":", 1);
    if (system) next(), next();
    ref->name = parseTableName();
    // @x.nodes(...): the variable's name and the method's.
    if (ref->name.size() == 1 && ref->name[0].starts_with("@") && isSymbol(".") &&
        peek(1).kind == TokenKind::Word && peek(1).text == "nodes" && isSymbol("(", 2)) {
      next();
      ref->name.push_back(next().text);
    }
    const bool nodes = ref->name.size() > 1 && ref->name.back() == "nodes" && isSymbol("(");
    if (nodes) parseXmlNodes(*ref);
    const bool tableFunction =
        !nodes && ref->name.size() == 1 && isSymbol("(") &&
        (iequals(ref->name[0], "STRING_SPLIT") || iequals(ref->name[0], "OPENJSON"));
    // name(...) that is no table hint: a user-defined table-valued function.
    auto hint = [&] {
      static constexpr std::string_view kHints[] = {
          "NOLOCK",         "READUNCOMMITTED", "UPDLOCK", "HOLDLOCK",    "TABLOCK", "TABLOCKX",
          "ROWLOCK",        "PAGLOCK",         "NOWAIT",  "READPAST",    "XLOCK",   "SERIALIZABLE",
          "REPEATABLEREAD", "READCOMMITTED",   "INDEX",   "FASTFIRSTROW"};
      if (peek(1).kind != TokenKind::Word) return false;
      for (std::string_view h : kHints)
        if (isWord(h, 1)) return true;
      return false;
    };
    const bool userFunction = !nodes && !tableFunction && !system && isSymbol("(") && !hint() &&
                              !iequals(ref->name.back(), "fn_helpcollations");
    if (tableFunction || userFunction) {
      parseTableFunction(*ref);
    } else if (iequals(ref->name.back(), "fn_helpcollations") && isSymbol("(") &&
               isSymbol(")", 1)) {
      next();
      next();
      ref->name = {"sys", ref->name.back()};
    } else if (system) {
      syntaxError();
    }
  }
  if (ref->kind != TableRef::Kind::Function) skipTableHints();
  if (acceptWord("AS")) {
    ref->alias = parseIdentifier();
  } else if (atIdentifier()) {
    ref->alias = next().text;
  }
  // nodes(...) AS t(c) names its one column as a derived table does.
  bool derived = ref->kind == TableRef::Kind::Derived || ref->kind == TableRef::Kind::Values ||
                 (ref->kind == TableRef::Kind::Function && ref->name[0] == ".NODES");
  if (derived && !ref->alias.empty() && acceptSymbol("(")) {
    do ref->columnAliases.push_back(parseIdentifier());
    while (acceptSymbol(","));
    expectSymbol(")");
  } else if (ref->kind != TableRef::Kind::Function) {
    skipTableHints();
  }
  if (derived && ref->alias.empty()) syntaxError();
  return ref;
}

// STRING_SPLIT(...) or OPENJSON(...) [WITH (column type ['path'] [AS JSON], ...)].
void Parser::parseTableFunction(TableRef& ref) {
  ref.kind = TableRef::Kind::Function;
  expectSymbol("(");
  if (!acceptSymbol(")")) {
    do ref.args.push_back(parseExpr());
    while (acceptSymbol(","));
    expectSymbol(")");
  }
  if (!iequals(ref.name.back(), "OPENJSON") || !isWord("WITH") || !isSymbol("(", 1)) return;
  next();
  next();
  do {
    JsonColumn c;
    c.name = parseIdentifier();
    c.type = parseCastType();
    if (peek().kind == TokenKind::String || peek().kind == TokenKind::NString) c.path = next().text;
    if (isWord("AS") && isWord("JSON", 1)) {
      next();
      next();
      c.asJson = true;
    }
    ref.jsonColumns.push_back(std::move(c));
  } while (acceptSymbol(","));
  expectSymbol(")");
}

TableRefPtr Parser::parseTableSource() {
  DepthGuard guard(*this);
  TableRefPtr left = parseTablePrimary();
  for (;;) {
    // Each join nests the tree of sources one level deeper.
    if (isWord("JOIN") || isWord("INNER") || isWord("CROSS") || isWord("LEFT") || isWord("RIGHT") ||
        isWord("FULL") || (isWord("OUTER") && isWord("APPLY", 1)))
      guard.deeper();
    std::string type;
    if (isWord("JOIN")) {
      type = "INNER";
    } else if (isWord("INNER") && isWord("JOIN", 1)) {
      next();
      type = "INNER";
    } else if (isWord("CROSS") && isWord("JOIN", 1)) {
      next();
      type = "CROSS";
    } else if ((isWord("CROSS") || isWord("OUTER")) && isWord("APPLY", 1)) {
      // APPLY: the right side is bound once per row of the left, which it
      // may name.
      type = upper(next().text) + " APPLY";
      next();
      auto apply = std::make_unique<TableRef>();
      apply->kind = TableRef::Kind::Join;
      apply->joinType = type;
      apply->left = std::move(left);
      apply->right = parseTablePrimary();
      left = std::move(apply);
      continue;
    } else if (isWord("LEFT") || isWord("RIGHT") || isWord("FULL")) {
      type = upper(peek().text);
      next();
      acceptWord("OUTER");
      if (!isWord("JOIN")) syntaxError();
    } else {
      return left;
    }
    expectWord("JOIN");
    auto join = std::make_unique<TableRef>();
    join->kind = TableRef::Kind::Join;
    join->joinType = type;
    join->left = std::move(left);
    join->right = parseTablePrimary();
    if (type != "CROSS") {
      expectWord("ON");
      join->on = parseExpr();
    }
    left = std::move(join);
  }
}

std::vector<TableRefPtr> Parser::parseFromList() {
  std::vector<TableRefPtr> from;
  do from.push_back(parseTableSource());
  while (acceptSymbol(","));
  return from;
}

void Parser::parseSelectItems(SelectStmt& s) {
  do {
    SelectItem item;
    const Token& t = peek();
    if (t.kind == TokenKind::Variable && isSymbol("=", 1)) {
      item.assignVar = next().text;
      next();
      item.expr = parseExpr();
    } else if ((t.kind == TokenKind::QuotedName || t.kind == TokenKind::String ||
                (t.kind == TokenKind::Word && !isReserved(t))) &&
               isSymbol("=", 1)) {
      item.alias = next().text;
      next();
      item.expr = parseExpr();
    } else {
      item.expr = parseExpr();
      if (acceptWord("AS")) {
        const Token& a = peek();
        if (a.kind == TokenKind::String) {
          item.alias = next().text;
        } else {
          item.alias = parseIdentifier();
        }
      } else if (atIdentifier() || peek().kind == TokenKind::String) {
        item.alias = next().text;
      }
    }
    s.items.push_back(std::move(item));
  } while (acceptSymbol(","));
}

SelectPtr Parser::parseSelectCore() {
  if (acceptSymbol("(")) {
    SelectPtr inner = parseSelect();
    expectSymbol(")");
    // A parenthesised UNION, INTERSECT or EXCEPT keeps its own grouping.
    return inner->unions.empty() ? inner : groupedQuery(std::move(inner));
  }
  expectWord("SELECT");
  auto s = std::make_shared<SelectStmt>();
  if (acceptWord("DISTINCT")) {
    s->distinct = true;
  } else {
    acceptWord("ALL");
  }
  if (acceptWord("TOP")) {
    // TOP (expression), a subquery among them, or a bare number.
    s->top = isSymbol("(") ? parsePrimary() : parseLiteral();
    s->topPercent = acceptWord("PERCENT");
    if (isWord("WITH") && isWord("TIES", 1)) {
      next();
      next();
      s->withTies = true;
    }
  }
  parseSelectItems(*s);
  if (acceptWord("INTO")) s->into = parseName();
  if (acceptWord("FROM")) s->from = parseFromList();
  if (acceptWord("WHERE")) s->where = parseExpr();
  if (isWord("GROUP")) {
    next();
    expectWord("BY");
    acceptWord("ALL");
    do s->groupBy.push_back(parseExpr());
    while (acceptSymbol(","));
  }
  if (acceptWord("HAVING")) s->having = parseExpr();
  return s;
}

// OFFSET n {ROW | ROWS} [FETCH {FIRST | NEXT} m {ROW | ROWS} ONLY].
void Parser::parseOffsetFetch(SelectStmt& s) {
  next();
  s.offset = parseExpr();
  if (!acceptWord("ROWS")) expectWord("ROW");
  if (!acceptWord("FETCH")) return;
  if (!acceptWord("NEXT")) expectWord("FIRST");
  s.fetch = parseExpr();
  if (!acceptWord("ROWS")) expectWord("ROW");
  expectWord("ONLY");
}

// (VALUES (a, b), (c, d)): the rows of a table value constructor, after
// the opening parenthesis.
void Parser::parseValuesRows(TableRef& ref) {
  expectWord("VALUES");
  ref.kind = TableRef::Kind::Values;
  do {
    expectSymbol("(");
    auto& row = ref.rows.emplace_back();
    do row.push_back(parseExpr());
    while (acceptSymbol(","));
    expectSymbol(")");
  } while (acceptSymbol(","));
}

// SELECT * FROM (query): a compound query as one operand of another.
SelectPtr Parser::groupedQuery(SelectPtr inner) {
  auto outer = std::make_shared<SelectStmt>();
  SelectItem star;
  star.expr = makeExpr(ExprKind::Star, 0);
  outer->items.push_back(std::move(star));
  auto ref = std::make_unique<TableRef>();
  ref->kind = TableRef::Kind::Derived;
  ref->derived = std::move(inner);
  ref->alias = "$query";
  outer->from.push_back(std::move(ref));
  return outer;
}

SelectPtr Parser::parseIntersection() {
  SelectPtr first = parseSelectCore();
  while (acceptWord("INTERSECT")) {
    SelectStmt::Union u;
    u.op = SelectStmt::SetOp::Intersect;
    u.select = parseSelectCore();
    first->unions.push_back(std::move(u));
  }
  return first;
}

// UNION and EXCEPT apply left to right after INTERSECT; the operands are
// kept in one list, an INTERSECT operand after the first grouped on its own.
SelectPtr Parser::parseSelect() {
  DepthGuard guard(*this);
  SelectPtr first = parseIntersection();
  while (isWord("UNION") || isWord("EXCEPT")) {
    SelectStmt::Union u;
    if (acceptWord("EXCEPT")) {
      u.op = SelectStmt::SetOp::Except;
    } else {
      next();
      u.all = acceptWord("ALL");
    }
    u.select = parseIntersection();
    if (!u.select->unions.empty()) u.select = groupedQuery(std::move(u.select));
    first->unions.push_back(std::move(u));
  }
  if (isWord("ORDER") && isWord("BY", 1)) {
    next();
    next();
    do {
      OrderItem item;
      item.expr = parseExpr();
      if (acceptWord("DESC")) {
        item.descending = true;
      } else {
        acceptWord("ASC");
      }
      first->orderBy.push_back(std::move(item));
    } while (acceptSymbol(","));
    if (isWord("OFFSET")) parseOffsetFetch(*first);
  }
  if (isWord("FOR") && isWord("BROWSE", 1)) {
    next();
    next();
    first->forBrowse = true;
  } else if (isWord("FOR") && isWord("XML", 1)) {
    next();
    next();
    first->forXml = parseForXml();
  }
  parseQueryOptions(first.get());
  return first;
}

// (SELECT ... FOR XML ...).value('.', 'type'): the XML's text, converted to
// the type named. Only the path '.' (the whole document) is understood.
ExprPtr Parser::parseXmlValue(ExprPtr query) {
  const std::size_t offset = query->offset;
  next();
  next();
  expectSymbol("(");
  if (peek().kind != TokenKind::String || next().text != ".") syntaxError();
  expectSymbol(",");
  if (peek().kind != TokenKind::String) syntaxError();
  TypeInfo type = Parser(next().text, false).parseTypeOnly();
  expectSymbol(")");
  auto text = makeExpr(ExprKind::Function, offset);
  text->op = ".VALUE";
  text->args.push_back(std::move(query));
  auto cast = makeExpr(ExprKind::Cast, offset);
  cast->type = type;
  cast->args.push_back(std::move(text));
  return cast;
}

bool Parser::atXmlMethod(std::size_t ahead, bool mutator) const {
  // The methods' names are spelled in lower case only.
  if (!isSymbol(".", ahead) || peek(ahead + 1).kind != TokenKind::Word || !isSymbol("(", ahead + 2))
    return false;
  const std::string& m = peek(ahead + 1).text;
  return mutator ? m == "modify" : m == "value" || m == "query" || m == "exist";
}

// target.method(arguments): a call of ".XML_METHOD" with the target first.
ExprPtr Parser::parseXmlMethodCall(ExprPtr target, const std::string& method) {
  auto call = makeExpr(ExprKind::Function, target->offset);
  call->op = ".XML_" + upper(method);
  call->args.push_back(std::move(target));
  expectSymbol("(");
  if (!isSymbol(")")) {
    do call->args.push_back(parseExpr());
    while (acceptSymbol(","));
  }
  expectSymbol(")");
  return call;
}

ExprPtr Parser::parseXmlMethods(ExprPtr target) {
  while (atXmlMethod(0)) {
    next();
    const std::string method = next().text;
    target = parseXmlMethodCall(std::move(target), method);
  }
  return target;
}

// x.nodes('query') or @x.nodes('query'): a table function of one column.
void Parser::parseXmlNodes(TableRef& ref) {
  Name name = std::move(ref.name);
  name.pop_back();
  ExprPtr target;
  if (name.size() == 1 && name[0].starts_with("@")) {
    target = makeExpr(ExprKind::Variable, peek().offset);
    target->op = name[0];
  } else {
    target = makeExpr(ExprKind::Column, peek().offset);
    target->names = std::move(name);
  }
  ref.kind = TableRef::Kind::Function;
  ref.name = {".NODES"};
  ExprPtr call = parseXmlMethodCall(std::move(target), "nodes");
  ref.args = std::move(call->args);
}

std::shared_ptr<const ForXml> Parser::parseForXml() {
  auto x = std::make_shared<ForXml>();
  // An optional ('name') after RAW, PATH or ROOT.
  auto name = [&]() -> std::optional<std::string> {
    if (!acceptSymbol("(")) return std::nullopt;
    if (peek().kind != TokenKind::String) syntaxError();
    std::string text = next().text;
    expectSymbol(")");
    return text;
  };
  if (acceptWord("RAW")) {
    x->mode = ForXml::Mode::Raw;
    x->rowName = name();
    if (!x->rowName) x->rowName = "row";
  } else if (acceptWord("AUTO")) {
    x->mode = ForXml::Mode::Auto;
  } else if (acceptWord("PATH")) {
    x->mode = ForXml::Mode::Path;
    x->rowName = name();
    if (!x->rowName) x->rowName = "row";
    x->elements = true;
  } else {
    syntaxError();
  }
  while (acceptSymbol(",")) {
    if (acceptWord("ELEMENTS")) {
      x->elements = true;
      if (acceptWord("XSINIL"))
        x->xsinil = true;
      else
        acceptWord("ABSENT");
    } else if (acceptWord("ROOT")) {
      x->root = name();
      if (!x->root) x->root = "root";
    } else if (acceptWord("TYPE")) {
      x->type = true;
    } else if (acceptWord("BINARY")) {
      if (!acceptWord("BASE64")) syntaxError();
      x->binaryBase64 = true;
    } else {
      syntaxError();
    }
  }
  return x;
}

void Parser::parseQueryOptions(SelectStmt* select) {
  if (!isWord("OPTION") || !isSymbol("(", 1)) return;
  next();
  next();
  // Each hint is a word and what follows it up to the next comma: plan
  // hints (RECOMPILE, OPTIMIZE FOR (...), MAXDOP n ...) change nothing here.
  do {
    if (peek().kind != TokenKind::Word) syntaxError();
    if (acceptWord("MAXRECURSION")) {
      if (peek().kind != TokenKind::Integer) syntaxError();
      const Token& n = next();
      long value = std::strtol(n.text.c_str(), nullptr, 10);
      if (value > 32767) throw SqlError(310, {n.text});
      if (select) select->maxRecursion = static_cast<int>(value);
      continue;
    }
    int depth = 0;
    while (!atEnd() && (depth > 0 || (!isSymbol(",") && !isSymbol(")")))) {
      if (isSymbol("(")) ++depth;
      if (isSymbol(")")) --depth;
      next();
    }
  } while (acceptSymbol(","));
  expectSymbol(")");
}

TypeInfo Parser::parseTypeOnly() {
  TypeInfo t = parseType();
  if (!atEnd()) syntaxError();
  return t;
}

TypeInfo parseTypeName(std::string_view text) {
  return Parser(text, false).parseTypeOnly();
}

}  // namespace tessel::sqld::engine
