// Binding of expressions: names, literals, operators, CASE, CAST, IN.

#include <algorithm>
#include <climits>
#include <cstdio>

#include "binder.h"
#include "collations.h"
#include "errors.h"
#include "exact.h"
#include "lexer.h"
#include "sqld/charset.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

TypeInfo decimalOf(const TypeInfo& t) {
  // The decimal an exact operand takes part in arithmetic as.
  switch (t.type) {
    case SqlType::TinyInt:
      return makeType(SqlType::Decimal, 0, 3, 0);
    case SqlType::SmallInt:
      return makeType(SqlType::Decimal, 0, 5, 0);
    case SqlType::Int:
      return makeType(SqlType::Decimal, 0, 10, 0);
    case SqlType::BigInt:
      return makeType(SqlType::Decimal, 0, 19, 0);
    case SqlType::Bit:
      return makeType(SqlType::Decimal, 0, 1, 0);
    case SqlType::Money:
      return makeType(SqlType::Decimal, 0, 19, 4);
    case SqlType::SmallMoney:
      return makeType(SqlType::Decimal, 0, 10, 4);
    default:
      return t;
  }
}

// Past 38 digits a result gives up scale. Sums and differences keep their
// integer digits (`integral`, plus one for a carry when there is room).
TypeInfo sumType(SqlType type, int integral, int s, int carry) {
  int p = integral + s + carry;
  if (p > 38) {
    s = std::max(0, std::min(s, 38 - integral));
    p = 38;
  }
  s = std::clamp(s, 0, p);
  return makeType(type, 0, static_cast<std::uint8_t>(std::max(p, 1)), static_cast<std::uint8_t>(s));
}

// Products and quotients keep at least six decimals (all, if fewer).
TypeInfo productType(SqlType type, int p, int s) {
  if (p > 38) {
    s = std::max(std::min(s, 6), s - (p - 38));
    p = 38;
  }
  s = std::clamp(s, 0, p);
  return makeType(type, 0, static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(s));
}

std::string scaleUp(const std::string& sql, int by) {
  if (by <= 0) return sql;
  return "(" + sql + "*" + std::to_string(pow10(by)) + ")";
}

bool isStringish(const TypeInfo& t) {
  return isCharType(t.type);
}

}  // namespace

TypeInfo commonType(const TypeInfo& a, const TypeInfo& b) {
  if (isCharType(a.type) && isCharType(b.type)) {
    bool unicode = isUnicodeType(a.type) || isUnicodeType(b.type);
    if (isLargeType(a.type) || isLargeType(b.type))
      return makeType(unicode ? SqlType::NText : SqlType::Text);
    int len = std::max(charLength(a), charLength(b));
    bool fixed = isFixedLengthType(a.type) && isFixedLengthType(b.type);
    SqlType t = unicode ? (fixed ? SqlType::NChar : SqlType::NVarChar)
                        : (fixed ? SqlType::Char : SqlType::VarChar);
    // A (max) length is near INT_MAX: doubled it would overflow.
    const int bytes = !unicode ? len : len > INT_MAX / 2 ? INT_MAX : len * 2;
    return makeType(t, bytes);
  }
  if (isBinaryType(a.type) && isBinaryType(b.type))
    return makeType(SqlType::VarBinary, std::max(a.length, b.length));
  if (isDecimalType(a.type) || isDecimalType(b.type)) {
    if (a.type == SqlType::Float || b.type == SqlType::Float || a.type == SqlType::Real ||
        b.type == SqlType::Real || isDateType(a.type) || isDateType(b.type))
      return typePrecedence(a.type) >= typePrecedence(b.type) ? a : b;
    if (isExactType(a.type) && isExactType(b.type)) {
      TypeInfo x = decimalOf(a), y = decimalOf(b);
      int s = std::max(x.scale, y.scale);
      int integral = std::max(x.precision - x.scale, y.precision - y.scale);
      bool numeric = a.type == SqlType::Numeric || b.type == SqlType::Numeric;
      return sumType(numeric ? SqlType::Numeric : SqlType::Decimal, integral, s, 0);
    }
  }
  TypeInfo r = typePrecedence(a.type) >= typePrecedence(b.type) ? a : b;
  r.nullable = true;
  return r;
}

std::string sqlLiteral(const Stored& v) {
  switch (v.kind) {
    case Stored::Kind::Null:
      return "NULL";
    case Stored::Kind::Int:
      return std::to_string(v.i);
    case Stored::Kind::Real: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.17g", v.r);
      std::string s = buf;
      if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
      return s;
    }
    case Stored::Kind::Text: {
      std::string out = "'";
      for (char c : v.s) {
        if (c == '\'') out += '\'';
        out += c;
      }
      return out + "'";
    }
    case Stored::Kind::Blob: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      std::string out = "X'";
      for (unsigned char c : v.s) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
      }
      return out + "'";
    }
  }
  return "NULL";
}

std::string Binder::param(const std::string& name) {
  for (std::size_t i = 0; i < params_.size(); ++i)
    if (iequals(params_[i], name)) return "?" + std::to_string(i + 1);
  params_.push_back(name);
  return "?" + std::to_string(params_.size());
}

namespace {

// Character and binary values (text, ntext and image too) become xml; xml
// becomes character and binary values, and nothing else.
void checkXmlConversion(const TypeInfo& from, const TypeInfo& to, bool assignment) {
  const TypeInfo& other = to.type == SqlType::Xml ? from : to;
  if (isCharType(other.type) || isBinaryType(other.type)) {
    if (to.type == SqlType::Xml || !isLargeType(to.type)) return;
  }
  if (assignment || to.type == SqlType::Variant)
    throw SqlError(206, {typeName(from.type), typeName(to.type)});
  throw SqlError(529, {typeName(from.type), typeName(to.type)});
}

}  // namespace

std::string Binder::convertSql(const Typed& v, const TypeInfo& to, bool assignment, int style) {
  if (v.nullLiteral) return "NULL";
  const TypeInfo& from = v.type;
  if ((from.type == SqlType::Xml) != (to.type == SqlType::Xml))
    checkXmlConversion(from, to, assignment);
  bool same = false;
  if (from.type == to.type) {
    if (isDecimalType(to.type)) {
      same = from.scale == to.scale && from.precision <= to.precision &&
             exact::isWide(from) == exact::isWide(to);
    } else if (isFixedLengthType(to.type)) {
      // A char(n) or binary(n) column that trims holds values shorter than n.
      same = from.length == to.length && !v.unpadded;
    } else if (isCharType(to.type) || isBinaryType(to.type)) {
      same = isLargeType(to.type) || from.length <= to.length;
    } else {
      same = true;
    }
  } else if (isIntegerType(from.type) && isIntegerType(to.type) && to.type != SqlType::Bit &&
             from.type != SqlType::Bit) {
    same = makeType(to.type).length >= makeType(from.type).length && to.type != SqlType::TinyInt;
  } else if (isIntegerType(from.type) && to.type == SqlType::Float) {
    return "CAST(" + v.sql + " AS REAL)";
  } else if (from.type == SqlType::Real && to.type == SqlType::Float) {
    same = true;
  } else if (from.type == SqlType::SmallDateTime && to.type == SqlType::DateTime) {
    same = true;
  } else if ((from.type == SqlType::VarChar || from.type == SqlType::Char) &&
             (to.type == SqlType::NVarChar || to.type == SqlType::NText) &&
             (isLargeType(to.type) || charLength(from) <= charLength(to))) {
    same = true;
  } else if (from.type == SqlType::VarChar &&
             (to.type == SqlType::VarChar || to.type == SqlType::Text) &&
             (isLargeType(to.type) || charLength(from) <= charLength(to))) {
    same = true;
  } else if (isIntegerType(from.type) && (isDecimalType(to.type) || isMoneyType(to.type)) &&
             from.type != SqlType::Bit && !isDecimalType(to.type)) {
    return scaleUp(v.sql, storageScale(to));
  }
  if (same && style == 0) return v.sql;
  return "t_cast(" + v.sql + "," + std::to_string(encodeType(from)) + "," +
         std::to_string(encodeType(to)) + "," + std::to_string(style) + "," +
         (assignment ? "1" : "0") + ")";
}

std::string Binder::columnValueSql(const Typed& v, const ColumnInfo& column) {
  std::string sql = convertSql(v, storedType(column), true);
  if (!trimsTrailing(column) || v.nullLiteral) return sql;
  return "t_trim(" + sql + ")";
}

Typed Binder::bindExpr(const Expr& e, Scope& scope) {
  // The parser bounds how deep expressions nest; views bind their own text
  // within an expression, so the binder keeps a bound of its own.
  struct Depth {
    explicit Depth(int& d) : depth(d) {
      if (depth >= kMaxBindDepth) throw SqlError(191, {});
      ++depth;
    }
    ~Depth() { --depth; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;
    int& depth;
  } depth(exprDepth_);
  Typed t = bindExprKind(e, scope);
  // Text that holds no collation of its own (a literal, a variable, text
  // made from other values) has the current database's.
  if (t.collationLabel == Typed::CollationLabel::Default && t.type.collation == 0 &&
      isCharType(t.type.type))
    t.type.collation = ctx_.databaseCollation();
  return t;
}

Typed Binder::bindExprKind(const Expr& e, Scope& scope) {
  switch (e.kind) {
    case ExprKind::Literal:
      return bindLiteral(e);
    case ExprKind::Column:
      return bindColumn(e, scope);
    case ExprKind::Variable:
      return bindVariable(e);
    case ExprKind::Star:
      throw SqlError(102, {"*"});
    case ExprKind::Unary:
      return bindUnary(e, scope);
    case ExprKind::Binary:
      return bindBinary(e, scope);
    case ExprKind::Compare:
      return bindCompare(e, scope);
    case ExprKind::And:
    case ExprKind::Or:
      return bindLogical(e, scope);
    case ExprKind::Not: {
      Typed a = bindExpr(*e.args[0], scope);
      a.sql = "(NOT " + a.sql + ")";
      return a;
    }
    case ExprKind::Function:
      if (e.op.starts_with(".XML_")) return bindXmlMethod(e, scope);
      if (!e.names.empty() && e.op != "NEXT VALUE FOR")
        if (auto call = bindUserFunction(e, scope)) return *call;
      return bindFunction(e, scope);
    case ExprKind::Case:
      return bindCase(e, scope);
    case ExprKind::Cast:
      return bindCast(e, scope);
    case ExprKind::Subquery:
    case ExprKind::Exists:
    case ExprKind::InSubquery:
      return bindSubqueryExpr(e, scope);
    case ExprKind::InList:
      return bindInList(e, scope);
    case ExprKind::Between: {
      Typed x = bindExpr(*e.args[0], scope);
      Typed lo = bindCompareTyped(">=", x, bindExpr(*e.args[1], scope));
      Typed hi = bindCompareTyped("<=", x, bindExpr(*e.args[2], scope));
      Typed r;
      r.type = makeType(SqlType::Bit);
      r.sql = std::string("(") + (e.negated ? "NOT " : "") + "(" + lo.sql + " AND " + hi.sql + "))";
      return r;
    }
    case ExprKind::Like: {
      Typed x = bindExpr(*e.args[0], scope), p = bindExpr(*e.args[1], scope);
      if (x.type.type == SqlType::Xml || p.type.type == SqlType::Xml)
        throw SqlError(8116, {"xml", "like"});
      TypeInfo text = makeType(SqlType::VarChar, 8000);
      std::string xs = isStringish(x.type) ? x.sql : convertSql(x, text);
      std::string ps = isStringish(p.type) ? p.sql : convertSql(p, text);
      Typed r;
      r.type = makeType(SqlType::Bit);
      const std::uint16_t coll = resolveCollation(x, p, "like");
      if (coll != 0) {
        // Characters match as the collation compares them.
        r.sql = std::string("(") + (e.negated ? "NOT " : "") + "t_like_under(" + ps + "," + xs +
                "," + (e.args.size() > 2 ? bindExpr(*e.args[2], scope).sql : "NULL") + "," +
                std::to_string(coll) + "))";
        return r;
      }
      r.sql = "(" + xs + (e.negated ? " NOT LIKE " : " LIKE ") + ps;
      if (e.args.size() > 2) r.sql += " ESCAPE " + bindExpr(*e.args[2], scope).sql;
      r.sql += ")";
      return r;
    }
    case ExprKind::Collate: {
      Typed x = bindExpr(*e.args[0], scope);
      const std::uint16_t id =
          iequals(e.op, "DATABASE_DEFAULT") ? ctx_.databaseCollation() : collationId(e.op);
      if (!isCharType(x.type.type) && !x.nullLiteral) throw SqlError(447, {typeName(x.type.type)});
      x.type.collation = id;
      x.collationLabel = Typed::CollationLabel::Explicit;
      return x;
    }
    case ExprKind::IsNull: {
      const bool context = xmlContextUse_;
      xmlContextUse_ = e.args[0]->kind == ExprKind::Column;
      Typed x;
      try {
        x = bindExpr(*e.args[0], scope);
      } catch (...) {
        xmlContextUse_ = context;
        throw;
      }
      xmlContextUse_ = context;
      Typed r;
      r.type = makeType(SqlType::Bit);
      r.sql = "(" + x.sql + (e.negated ? " IS NOT NULL)" : " IS NULL)");
      return r;
    }
  }
  throw SqlError(102, {""});
}

Typed Binder::bindLiteral(const Expr& e) {
  Typed t;
  t.type = e.type;
  if (e.value.isNull()) {
    t.nullLiteral = true;
    t.sql = "NULL";
    return t;
  }
  Stored value = storedFromValue(e.value, e.type);
  const int page = collationCodePage(ctx_.databaseCollation());
  if (e.type.type == SqlType::VarChar && page != 1252) {
    // A varchar literal holds the characters of the database's code page;
    // the parser kept the text as written (op) where code page 1252 lacks
    // some.
    value = Stored::text(utf8WithinCodePage(e.op.empty() ? value.s : e.op, page));
    // Under UTF-8, or a double-byte code page, it is as long as its bytes.
    t.type.length = std::max(1, static_cast<int>(codePageLength(value.s, page)));
    t.type.collation = ctx_.databaseCollation();
  }
  t.sql = sqlLiteral(value);
  t.type.nullable = false;
  t.literal = true;
  return t;
}

Typed Binder::bindVariable(const Expr& e) {
  if (!arguments_.empty() && e.op.rfind("@@", 0) != 0) {
    // Inside an inline function's query only its parameters are known.
    auto it = arguments_.back().find(lower(e.op));
    if (it == arguments_.back().end()) throw SqlError(137, {e.op});
    return it->second;
  }
  auto type = ctx_.variableType(e.op);
  if (!type) throw SqlError(137, {e.op});
  Typed t;
  t.type = *type;
  t.sql = param(e.op);
  t.isVariable = true;
  return t;
}

Typed Binder::bindColumn(const Expr& e, Scope& scope) {
  const Name& n = e.names;
  std::string column = n.back();
  std::string qualifier = n.size() >= 2 ? n[n.size() - 2] : std::string();
  for (Scope* s = &scope; s; s = s->outer) {
    const Source* found = nullptr;
    const ColumnInfo* foundCol = nullptr;
    std::size_t foundIndex = 0;
    for (const Source& src : s->sources) {
      if (!qualifier.empty() && !iequals(src.exposedName, qualifier)) continue;
      for (std::size_t i = 0; i < src.columns.size(); ++i) {
        const ColumnInfo& c = src.columns[i];
        if (!iequals(c.name, column)) continue;
        if (found) throw SqlError(209, {column});
        found = &src;
        foundCol = &c;
        foundIndex = i;
      }
    }
    if (found) {
      if (foundCol->type.type == SqlType::Xml && foundCol->type.precision == kXmlContextNode &&
          !xmlContextUse_)
        throw SqlError(493, {column});
      Typed t;
      t.sql = found->columnSql(foundIndex);
      t.type = foundCol->type;
      if (isCharType(t.type.type)) t.collationLabel = Typed::CollationLabel::Implicit;
      if (found->table && found->table->xtype != "V") {
        t.table = found->table.get();
        t.column = foundCol;
      }
      t.unpadded = isFixedLengthType(t.type.type) && trimsTrailing(*foundCol);
      t.sourceAlias = found->sqlAlias;
      return t;
    }
  }
  std::string shown = qualifier.empty() ? column : qualifier + "." + column;
  // A qualifier that names no source is reported as the multi-part identifier.
  if (!qualifier.empty()) {
    bool anySource = false;
    for (Scope* s = &scope; s; s = s->outer)
      for (const Source& src : s->sources)
        if (iequals(src.exposedName, qualifier)) anySource = true;
    if (!anySource) throw SqlError(4104, {shown});
  }
  throw SqlError(207, {column});
}

Typed Binder::bindUnary(const Expr& e, Scope& scope) {
  Typed x = bindExpr(*e.args[0], scope);
  if (e.op == "-" && exact::isWide(x.type)) {
    x.sql = "t_xunary(0," + x.sql + "," + std::to_string(encodeType(x.type)) + ")";
  } else if (e.op == "~") {
    x.sql = "(~" + x.sql + ")";
  } else {
    x.sql = "(-" + x.sql + ")";
  }
  return x;
}

Typed Binder::combineBinary(const std::string& op, Typed a, Typed b) {
  Typed r;
  r.isAggregate = a.isAggregate || b.isAggregate;
  if (a.nullLiteral && b.nullLiteral) {
    r.nullLiteral = true;
    r.sql = "NULL";
    r.type = makeType(SqlType::Int);
    return r;
  }
  // An untyped NULL takes the other operand's type.
  if (a.nullLiteral) a.type = b.type;
  if (b.nullLiteral) b.type = a.type;
  const TypeInfo &ta = a.type, &tb = b.type;
  if (ta.type == SqlType::Xml || tb.type == SqlType::Xml)
    throw SqlError(402, {typeName(ta.type), typeName(tb.type),
                         op == "-"   ? "subtract"
                         : op == "*" ? "multiply"
                         : op == "/" ? "divide"
                         : op == "%" ? "modulo"
                                     : "add"});
  bool settingsConcat = ctx_.settings().concatNullYieldsNull;
  if (op == "+" && ((isCharType(ta.type) && isCharType(tb.type)) ||
                    (isBinaryType(ta.type) && isBinaryType(tb.type)))) {
    if (isCharType(ta.type)) {
      bool unicode = isUnicodeType(ta.type) || isUnicodeType(tb.type);
      int len = static_cast<int>(std::min<std::int64_t>(
          unicode ? 4000 : 8000, std::int64_t{charLength(ta)} + charLength(tb)));
      r.type = makeType(unicode ? SqlType::NVarChar : SqlType::VarChar, unicode ? len * 2 : len);
      // A (max) or large operand makes the result (max), so nothing is cut at 8000 bytes.
      if (isMaxType(ta) || isMaxType(tb) || isLargeType(ta.type) || isLargeType(tb.type))
        r.type.length = unicode ? kMaxLength - 1 : kMaxLength;
    } else {
      r.type = makeType(SqlType::VarBinary, static_cast<std::int32_t>(std::min<std::int64_t>(
                                                8000, std::int64_t{ta.length} + tb.length)));
      if (isMaxType(ta) || isMaxType(tb) || isLargeType(ta.type) || isLargeType(tb.type))
        r.type.length = kMaxLength;
    }
    if (isCharType(ta.type)) combineCollation(r, a, b);
    if (settingsConcat && isCharType(ta.type)) {
      r.sql = "(" + a.sql + "||" + b.sql + ")";
    } else {
      r.sql = "t_concat(" + a.sql + "," + b.sql + ")";
    }
    return r;
  }
  if (op == "&" || op == "|" || op == "^") {
    // A binary operand works as the integer it converts to (COLUMNS_UPDATED() & 14).
    if (isBinaryType(ta.type) != isBinaryType(tb.type)) {
      Typed& bin = isBinaryType(ta.type) ? a : b;
      const TypeInfo& to = isBinaryType(ta.type) ? tb : ta;
      bin.sql = convertSql(bin, to);
      bin.type = to;
    }
    r.type = commonType(a.type, b.type);
    if (op == "^") {
      r.sql = "t_ixor(" + a.sql + "," + b.sql + ")";
    } else {
      r.sql = "(" + a.sql + op + b.sql + ")";
    }
    return r;
  }
  // Dates: datetime +/- number adds days; datetime - datetime gives a datetime.
  if (isDateType(ta.type) || isDateType(tb.type)) {
    const Typed& d = isDateType(ta.type) ? a : b;
    const Typed& n = isDateType(ta.type) ? b : a;
    r.type = d.type;
    if (op != "+" && op != "-")
      throw SqlError(8117, {typeName(d.type.type), op == "*"   ? "multiply"
                                                   : op == "/" ? "divide"
                                                               : "modulo"});
    std::string nsql;
    if (isDateType(n.type.type)) {
      nsql = n.sql;
    } else if (isIntegerType(n.type.type)) {
      nsql = "(" + n.sql + "*" + std::to_string(kTicksPerDay) + ")";
    } else if (isCharType(n.type.type)) {
      nsql = convertSql(n, makeType(SqlType::DateTime));
    } else {
      nsql = "CAST(round(" + convertSql(n, makeType(SqlType::Float)) + "*" +
             std::to_string(kTicksPerDay) + ") AS INTEGER)";
    }
    std::string dsql = d.sql;
    if (&d == &a) {
      r.sql = "(" + dsql + op + nsql + ")";
    } else {
      r.sql = "(" + nsql + op + dsql + ")";
    }
    if (r.type.type == SqlType::SmallDateTime) r.type = makeType(SqlType::SmallDateTime);
    return r;
  }
  TypeInfo t = commonType(ta, tb);
  if (isCharType(t.type) || isBinaryType(t.type) || t.type == SqlType::UniqueIdentifier)
    throw SqlError(8117, {typeName(t.type), op == "-"   ? "subtract"
                                            : op == "*" ? "multiply"
                                            : op == "/" ? "divide"
                                            : op == "%" ? "modulo"
                                                        : "add"});
  if (t.type == SqlType::Bit) t = makeType(SqlType::Int);
  // Operands of lower types convert to the result's numeric family.
  if (t.type == SqlType::Float || t.type == SqlType::Real) {
    TypeInfo f = makeType(t.type);
    std::string x = convertSql(a, makeType(SqlType::Float)),
                y = convertSql(b, makeType(SqlType::Float));
    r.type = f;
    if (op == "/") {
      r.sql = "t_fdiv(" + x + "," + y + ")";
    } else if (op == "%") {
      throw SqlError(402, {typeName(t.type), typeName(t.type), "modulo"});
    } else {
      r.sql = "(" + x + op + y + ")";
    }
    return r;
  }
  if (isIntegerType(t.type)) {
    std::string x = isIntegerType(ta.type) ? a.sql : convertSql(a, t);
    std::string y = isIntegerType(tb.type) ? b.sql : convertSql(b, t);
    r.type = t;
    if (op == "/") {
      r.sql = "t_idiv(" + x + "," + y + ")";
    } else if (op == "%") {
      r.sql = "t_imod(" + x + "," + y + ")";
    } else {
      r.sql = "t_iarith(" + x + "," + y + "," +
              (op == "+"   ? "0"
               : op == "-" ? "1"
                           : "2") +
              "," + std::to_string(makeType(t.type).length) + ")";
    }
    return r;
  }
  // Exact arithmetic on scaled integers: money or decimal.
  TypeInfo xa = isExactType(ta.type) ? ta : t, xb = isExactType(tb.type) ? tb : t;
  std::string x = isExactType(ta.type) ? a.sql : convertSql(a, t);
  std::string y = isExactType(tb.type) ? b.sql : convertSql(b, t);
  int sa = storageScale(xa), sb = storageScale(xb);
  if (isMoneyType(t.type)) {
    r.type = makeType(t.type, 0, t.precision, 4);
    // money with money or integers stays money.
    // Checked in 128 bits: a result past 8 bytes is 8115, never a float.
    if (op == "+" || op == "-") {
      r.sql = "t_xop(" + std::string(op == "+" ? "0" : "1") + "," + x + "," + std::to_string(sa) +
              "," + y + "," + std::to_string(sb) + ",4," + std::to_string(encodeType(r.type)) + ")";
    } else if (op == "*") {
      r.sql = "t_xmul(" + x + "," + std::to_string(sa) + "," + y + "," + std::to_string(sb) +
              ",4," + std::to_string(encodeType(r.type)) + ")";
    } else if (op == "/") {
      r.sql = "t_xdiv(" + x + "," + std::to_string(sa) + "," + y + "," + std::to_string(sb) +
              ",4," + std::to_string(encodeType(r.type)) + ")";
    } else {
      r.sql = "t_imod(" + scaleUp(x, 4 - sa) + "," + scaleUp(y, 4 - sb) + ")";
    }
    return r;
  }
  // Integer constants take part with just the digits they have.
  auto literalDecimal = [](const Typed& t, const TypeInfo& x) {
    if (!t.literal || !isIntegerType(x.type)) return decimalOf(x);
    int digits = 0;
    for (char c : t.sql)
      if (c >= '0' && c <= '9') ++digits;
    return makeType(SqlType::Decimal, 0, static_cast<std::uint8_t>(std::max(1, digits)), 0);
  };
  TypeInfo da = literalDecimal(a, xa), db = literalDecimal(b, xb);
  SqlType decimalKind = ta.type == SqlType::Numeric || tb.type == SqlType::Numeric
                            ? SqlType::Numeric
                            : SqlType::Decimal;
  int p1 = da.precision, s1 = da.scale, p2 = db.precision, s2 = db.scale;
  exact::Op kind;
  if (op == "+" || op == "-") {
    kind = op == "+" ? exact::Op::Add : exact::Op::Subtract;
    r.type = sumType(decimalKind, std::max(p1 - s1, p2 - s2), std::max(s1, s2), 1);
  } else if (op == "%") {
    kind = exact::Op::Modulo;
    int s = std::max(s1, s2);
    r.type = sumType(decimalKind, std::min(p1 - s1, p2 - s2), s, 0);
  } else if (op == "*") {
    kind = exact::Op::Multiply;
    r.type = productType(decimalKind, p1 + p2 + 1, s1 + s2);
  } else {
    kind = exact::Op::Divide;
    int s = std::max(6, s1 + p2 + 1);
    r.type = productType(decimalKind, p1 - s1 + s2 + s, s);
  }
  bool narrow = !exact::isWide(xa) && !exact::isWide(xb) && !exact::isWide(r.type);
  if (narrow && (op == "+" || op == "-") && r.type.scale >= std::max(sa, sb)) {
    // Up to 18 digits the stored integers add as they are.
    r.sql = "(" + scaleUp(x, r.type.scale - sa) + op + scaleUp(y, r.type.scale - sb) + ")";
  } else {
    r.sql = "t_xop(" + std::to_string(static_cast<int>(kind)) + "," + x + "," + std::to_string(sa) +
            "," + y + "," + std::to_string(sb) + "," + std::to_string(r.type.scale) + "," +
            std::to_string(encodeType(r.type)) + ")";
  }
  return r;
}

Typed Binder::bindCompareTyped(const std::string& op, const Typed& a, const Typed& b) {
  Typed r;
  r.type = makeType(SqlType::Bit);
  r.isAggregate = a.isAggregate || b.isAggregate;
  r.sql = compareParts(op, a, b).sql();
  return r;
}

Binder::Comparison Binder::compareParts(const std::string& op, const Typed& a, const Typed& b) {
  // xml values have no order, and no equality either.
  if (a.type.type == SqlType::Xml || b.type.type == SqlType::Xml) throw SqlError(305, {});
  Comparison r;
  r.op = op;
  bool ansiNulls = ctx_.settings().ansiNulls;
  if (!ansiNulls && (op == "=" || op == "<>") &&
      (a.nullLiteral || b.nullLiteral || a.isVariable || b.isVariable)) {
    // With ANSI_NULLS off, = NULL and <> NULL test for NULL.
    const char* is = op == "=" ? " IS " : " IS NOT ";
    TypeInfo t = a.nullLiteral ? b.type : b.nullLiteral ? a.type : commonType(a.type, b.type);
    Typed aa = a, bb = b;
    if (aa.nullLiteral) aa.type = t;
    if (bb.nullLiteral) bb.type = t;
    std::string coll =
        isCharType(t.type) ? collateClause(resolveCollation(a, b, comparisonOperation(op))) : "";
    r.whole = "(" + convertSql(aa, t) + coll + is + convertSql(bb, t) + ")";
    return r;
  }
  if (a.nullLiteral || b.nullLiteral) {
    r.whole = "(NULL" + std::string(op == "<>" ? "<>" : op) + "NULL)";
    return r;
  }
  if (a.type.type == SqlType::Variant || b.type.type == SqlType::Variant) {
    // The other side becomes a sql_variant; values compare by base type
    // family, then by value within the family.
    TypeInfo variant = makeType(SqlType::Variant);
    auto key = [&](const Typed& x) {
      return "t_variant_key(" + (x.type.type == SqlType::Variant ? x.sql : convertSql(x, variant)) +
             ")";
    };
    r.whole = "(" + key(a) + op + key(b) + ")";
    return r;
  }
  TypeInfo t = commonType(a.type, b.type);
  if (isCharType(t.type)) {
    // Strings compare whatever their lengths; keep them as they are.
    r.lhs = a.sql + collateClause(resolveCollation(a, b, comparisonOperation(op)));
    r.rhs = b.sql;
    return r;
  }
  std::string x = a.sql, y = b.sql;
  bool exactPair = isExactType(a.type.type) && isExactType(b.type.type);
  int sa = storageScale(a.type), sb = storageScale(b.type);
  bool wideA = exact::isWide(a.type), wideB = exact::isWide(b.type);
  if (exactPair && sa == sb && wideA == wideB) {
    // Same scale and form: compare the stored values directly (keeps index use).
  } else if (exactPair) {
    int s = std::max(sa, sb);
    // Digits each side has once brought to scale s.
    int da = decimalOf(a.type).precision + s - sa, db = decimalOf(b.type).precision + s - sb;
    auto scalesInPlace = [&](bool wide, int digits, int own) {
      return !wide && (own == s || digits <= exact::kNarrowDigits);
    };
    // A wide constant or variable against a narrow side that stays narrow:
    // the wide value comes down to an INTEGER (a REAL past 64 bits, which
    // still orders correctly), keeping the narrow side's index usable.
    auto constant = [](const Typed& t) {
      return t.literal || t.isVariable || (!t.sql.empty() && t.sql[0] == '?');
    };
    auto narrowed = [&](const std::string& sql, int own) {
      return "t_xnarrow(" + sql + "," + std::to_string(own) + "," + std::to_string(s) + ")";
    };
    if (scalesInPlace(wideA, da, sa) && scalesInPlace(wideB, db, sb)) {
      x = scaleUp(x, s - sa);
      y = scaleUp(y, s - sb);
    } else if (wideA && !wideB && constant(a) && scalesInPlace(false, db, sb)) {
      x = narrowed(x, sa);
      y = scaleUp(y, s - sb);
    } else if (wideB && !wideA && constant(b) && scalesInPlace(false, da, sa)) {
      x = scaleUp(x, s - sa);
      y = narrowed(y, sb);
    } else if (da <= 38 && db <= 38) {
      // Both as 38-digit values of one scale; a wide side already of that
      // scale stays as it is (keeps index use).
      TypeInfo wide = makeType(SqlType::Decimal, 0, 38, static_cast<std::uint8_t>(s));
      if (!(wideA && sa == s)) x = convertSql(a, wide);
      if (!(wideB && sb == s)) y = convertSql(b, wide);
    } else {
      r.whole = "(t_xcmp(" + x + "," + std::to_string(sa) + "," + y + "," + std::to_string(sb) +
                ")" + op + "0)";
      return r;
    }
  } else if (a.type.type == t.type && isDateType(t.type) && isDateType(b.type.type)) {
  } else {
    if (!(a.type.type == t.type && !isDecimalType(t.type))) x = convertSql(a, t);
    if (!(b.type.type == t.type && !isDecimalType(t.type))) y = convertSql(b, t);
    if (isDecimalType(t.type)) {
      x = convertSql(a, t);
      y = convertSql(b, t);
    }
  }
  r.lhs = std::move(x);
  r.rhs = std::move(y);
  return r;
}

Typed Binder::bindCompare(const Expr& e, Scope& scope) {
  return bindCompareTyped(e.op, bindExpr(*e.args[0], scope), bindExpr(*e.args[1], scope));
}

Typed Binder::bindCase(const Expr& e, Scope& scope) {
  std::size_t i = 0;
  std::optional<Typed> operand;
  if (e.caseOperand) operand = bindExpr(*e.args[i++], scope);
  std::size_t end = e.args.size() - (e.caseElse ? 1 : 0);
  std::vector<std::pair<std::string, Typed>> branches;
  for (; i + 1 < end + 1 && i < end; i += 2) {
    std::string cond;
    if (operand) {
      cond = bindCompareTyped("=", *operand, bindExpr(*e.args[i], scope)).sql;
    } else {
      cond = bindExpr(*e.args[i], scope).sql;
    }
    branches.emplace_back(cond, bindExpr(*e.args[i + 1], scope));
  }
  std::optional<Typed> otherwise;
  if (e.caseElse) otherwise = bindExpr(*e.args.back(), scope);
  std::optional<TypeInfo> t;
  auto meet = [&](const Typed& x) {
    if (x.nullLiteral) return;
    t = t ? commonType(*t, x.type) : x.type;
  };
  for (auto& b : branches) meet(b.second);
  if (otherwise) meet(*otherwise);
  Typed r;
  r.type = t.value_or(makeType(SqlType::Int));
  if (isCharType(r.type.type)) {
    // The result holds the collation its values hold most firmly.
    Typed labels;
    labels.nullLiteral = true;
    for (auto& b : branches) foldCollation(labels, b.second);
    if (otherwise) foldCollation(labels, *otherwise);
    if (!labels.nullLiteral) {
      r.type.collation = labels.type.collation;
      r.collationLabel = labels.collationLabel;
    }
  }
  r.sql = "(CASE";
  for (auto& b : branches) r.sql += " WHEN " + b.first + " THEN " + convertSql(b.second, r.type);
  if (otherwise) r.sql += " ELSE " + convertSql(*otherwise, r.type);
  r.sql += " END)";
  for (auto& b : branches) r.isAggregate |= b.second.isAggregate;
  return r;
}

Typed Binder::bindCast(const Expr& e, Scope& scope) {
  Typed x = bindExpr(*e.args[0], scope);
  int style = 0;
  if (e.args.size() > 1) {
    const Expr& s = *e.args[1];
    if (s.kind != ExprKind::Literal) throw SqlError(102, {","});
    if (auto* v = std::get_if<std::int64_t>(&s.value.data())) style = static_cast<int>(*v);
  }
  Typed r;
  r.type = e.type;
  r.isAggregate = x.isAggregate;
  if (isCharType(x.type.type) && isCharType(r.type.type)) {
    // Text converted to text keeps its collation, and how firmly it holds it.
    r.type.collation = x.type.collation;
    r.collationLabel = x.collationLabel;
  } else if (isCharType(r.type.type)) {
    // Other values become text of the database's code page.
    r.type.collation = ctx_.databaseCollation();
  }
  if (x.nullLiteral) {
    r.nullLiteral = false;
    r.sql = "NULL";
    return r;
  }
  r.sql = convertSql(x, r.type, false, style);
  return r;
}

Typed Binder::bindSubqueryExpr(const Expr& e, Scope& scope) {
  TypeInfo first;
  std::string inner = subquerySql(*e.query, scope, &first);
  Typed r;
  if (e.kind == ExprKind::Exists) {
    r.type = makeType(SqlType::Bit);
    r.sql = std::string("(") + (e.negated ? "NOT " : "") + "EXISTS (" + inner + "))";
  } else if (e.kind == ExprKind::InSubquery) {
    Typed x = bindExpr(*e.args[0], scope);
    r.type = makeType(SqlType::Bit);
    std::string lhs = x.sql;
    TypeInfo t = commonType(x.type, first);
    if (isCharType(t.type)) {
      lhs += collateClause(x.type.collation);
    } else {
      lhs = convertSql(x, t);
      // Exact values match only in one storage form and scale: the
      // subquery's values convert to the common type as well.
      if (isExactType(first.type) && isExactType(t.type) &&
          (storageScale(first) != storageScale(t) || exact::isWide(first) != exact::isWide(t)))
        inner = subquerySql(*e.query, scope, &first, &t);
    }
    r.sql = "(" + lhs + (e.negated ? " NOT IN (" : " IN (") + inner + "))";
  } else {
    r.type = first;
    r.type.nullable = true;
    r.sql = "(" + inner + ")";
  }
  return r;
}

}  // namespace tessel::sqld::engine
