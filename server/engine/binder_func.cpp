// Binding of built-in functions and aggregates.

#include "binder.h"
#include "binder_func_args.h"
#include "collations.h"
#include "datetime2.h"
#include "errors.h"
#include "exact.h"
#include "lexer.h"
#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

using func_args::expectArgs;
using func_args::make;

TypeInfo varcharOf(const TypeInfo& t) {
  if (isCharType(t.type)) return t;
  return makeType(SqlType::VarChar, 8000);
}

std::string datePartName(const Expr& e) {
  if (e.kind == ExprKind::Literal)
    if (auto* s = std::get_if<std::string>(&e.value.data())) return *s;
  if (e.kind == ExprKind::Column && e.names.size() == 1) return e.names[0];
  throw SqlError(155, {"?", "datepart"});
}

// The name SQL Server reports a date part code by (error 9810).
const char* datePartLongName(int code) {
  static constexpr const char* kNames[] = {"year",       "quarter",  "month",       "dayofyear",
                                           "day",        "week",     "weekday",     "hour",
                                           "minute",     "second",   "millisecond", "microsecond",
                                           "nanosecond", "tzoffset", "iso_week"};
  return code >= 0 && code < 15 ? kNames[code] : "";
}

}  // namespace

Typed Binder::bindAggregate(const Expr& e, Scope& scope) {
  const std::string& fn = e.op;
  Typed r;
  r.isAggregate = true;
  if (fn == "COUNT" || fn == "COUNT_BIG") {
    r.type = makeType(fn == "COUNT" ? SqlType::Int : SqlType::BigInt);
    r.type.nullable = false;
    if (e.star || e.args.empty()) {
      r.sql = "count(*)";
    } else {
      Typed x = bindExpr(*e.args[0], scope);
      r.sql = std::string("count(") + (e.distinct ? "DISTINCT " : "") + x.sql + ")";
    }
    return r;
  }
  expectArgs(e, 1, 1);
  Typed x = bindExpr(*e.args[0], scope);
  std::string d = e.distinct ? "DISTINCT " : "";
  const TypeInfo& t = x.type;
  if (fn == "MIN" || fn == "MAX") {
    r.type = t;
    r.type.nullable = true;
    r.sql =
        lower(fn) + "(" + d + x.sql + (isCharType(t.type) ? collateClause(t.collation) : "") + ")";
    return r;
  }
  if (fn == "SUM") {
    if (isIntegerType(t.type)) {
      r.type = makeType(t.type == SqlType::BigInt ? SqlType::BigInt : SqlType::Int);
    } else if (isDecimalType(t.type)) {
      // 38 digits, summed in 128 bits.
      r.type = makeType(SqlType::Decimal, 0, 38, t.scale);
      r.sql = "t_xsum(" + d + x.sql + ")";
      return r;
    } else if (isMoneyType(t.type)) {
      r.type = makeType(SqlType::Money, 0, 19, 4);
    } else if (t.type == SqlType::Real || t.type == SqlType::Float) {
      r.type = makeType(SqlType::Float);
    } else {
      throw SqlError(8117, {typeName(t.type), "sum"});
    }
    r.sql = "sum(" + d + x.sql + ")";
    return r;
  }
  if (fn == "AVG") {
    if (isIntegerType(t.type)) {
      r.type = makeType(t.type == SqlType::BigInt ? SqlType::BigInt : SqlType::Int);
      r.sql = "t_idiv(sum(" + d + x.sql + "),count(" + d + x.sql + "))";
    } else if (isDecimalType(t.type)) {
      int s = std::max<int>(6, t.scale);
      r.type = makeType(SqlType::Decimal, 0, 38, static_cast<std::uint8_t>(s));
      r.sql = "t_xdiv(t_xsum(" + d + x.sql + ")," + std::to_string(t.scale) + ",count(" + d +
              x.sql + "),0," + std::to_string(s) + "," + std::to_string(encodeType(r.type)) + ")";
    } else if (isMoneyType(t.type)) {
      r.type = makeType(SqlType::Money, 0, 19, 4);
      r.sql = "t_xdiv(sum(" + d + x.sql + "),4,count(" + d + x.sql + "),0,4," +
              std::to_string(encodeType(r.type)) + ")";
    } else if (t.type == SqlType::Real || t.type == SqlType::Float) {
      r.type = makeType(SqlType::Float);
      r.sql = "avg(" + d + x.sql + ")";
    } else {
      throw SqlError(8117, {typeName(t.type), "avg"});
    }
    return r;
  }
  if (fn == "STDEV" || fn == "VAR") throw SqlError(195, {lower(fn)});
  throw SqlError(195, {lower(fn)});
}

Typed Binder::bindFunction(const Expr& e, Scope& scope) {
  const std::string& fn = e.op;
  if (fn == "COUNT" || fn == "COUNT_BIG" || fn == "SUM" || fn == "AVG" || fn == "MIN" ||
      fn == "MAX")
    return bindAggregate(e, scope);
  if (auto system = bindSystemFunction(e, scope)) return *system;
  auto arg = [&](std::size_t i) { return bindExpr(*e.args[i], scope); };
  auto text = [&](std::size_t i) {
    Typed a = arg(i);
    if (!isCharType(a.type.type) && !isBinaryType(a.type.type) && !a.nullLiteral)
      a.sql = convertSql(a, makeType(SqlType::VarChar, 8000));
    return a;
  };
  auto integer = [&](std::size_t i) {
    Typed a = arg(i);
    if (!isIntegerType(a.type.type) && !a.nullLiteral)
      a.sql = convertSql(a, makeType(SqlType::Int));
    return a.sql;
  };
  auto datetimeArg = [&](std::size_t i) {
    Typed a = arg(i);
    if (!isDateType(a.type.type) && !a.nullLiteral)
      a.sql = convertSql(a, makeType(SqlType::DateTime));
    return a.sql;
  };
  // The catalog views' access to a sequence's definition:
  // _TESSEL_SEQUENCE(object id, 'column', 'database').
  if (fn == "_TESSEL_SEQUENCE") {
    expectArgs(e, 3, 3);
    const auto* name = std::get_if<std::string>(&e.args[2]->value.data());
    const std::string database = name ? *name : std::string();
    return make("t_seqattr(" + quoteText(ctx_.schemaFor(database)) + ", " + arg(0).sql + ", " +
                    arg(1).sql + ")",
                makeType(SqlType::BigInt));
  }
  // sp_sequence_get_range's steps: _TESSEL_SEQUENCE_RANGE(name, count) takes
  // the values, _TESSEL_SEQUENCE_RANGE_PART(i) reads the rest of the answer.
  if (fn == "_TESSEL_SEQUENCE_RANGE") {
    expectArgs(e, 2, 2);
    Typed name = text(0);
    return make(
        "t_seqrange(t_objdb(" + name.sql + "), t_objname(" + name.sql + "), " + arg(1).sql + ")",
        makeType(SqlType::BigInt));
  }
  if (fn == "_TESSEL_SEQUENCE_RANGE_PART") {
    expectArgs(e, 1, 1);
    return make("t_seqrangepart(" + arg(0).sql + ")", makeType(SqlType::BigInt));
  }
  if (fn == "NEXT VALUE FOR") {
    SequenceRef seq = ctx_.resolveSequence(e.names);
    Typed value = make("t_nextval(" + quoteText(seq.schema) + ", " + std::to_string(seq.id) + ", " +
                           std::to_string(sequenceSite_++) + ")",
                       makeType(SqlType::BigInt));
    if (seq.type.type != SqlType::BigInt) value.sql = convertSql(value, seq.type);
    value.type = seq.type;
    value.type.nullable = false;
    return value;
  }
  TypeInfo intType = makeType(SqlType::Int);
  const std::string db = quoteName(ctx_.schemaFor("")) + ".";
  if (fn == "CURRENT_TIMESTAMP" || fn == "GETDATE")
    return make("t_now(0)", makeType(SqlType::DateTime));
  if (fn == "GETUTCDATE") return make("t_now(1)", makeType(SqlType::DateTime));
  if (fn == "SYSDATETIME" || fn == "SYSUTCDATETIME")
    return make(fn == "SYSDATETIME" ? "t_now2(0)" : "t_now2(1)",
                makeType(SqlType::DateTime2, 0, 0, 7));
  if (fn == "SYSDATETIMEOFFSET")
    return make("t_now2(2)", makeType(SqlType::DateTimeOffset, 0, 0, 7));
  if (fn == "USER" || fn == "CURRENT_USER" || fn == "SESSION_USER" || fn == "USER_NAME")
    return make("'dbo'", makeType(SqlType::NVarChar, 256));
  if (fn == "SYSTEM_USER" || fn == "SUSER_SNAME" || fn == "SUSER_NAME")
    return make(param("@@ login"), makeType(SqlType::NVarChar, 256));
  if (fn == "HOST_NAME") return make(param("@@ host"), makeType(SqlType::NVarChar, 256));
  if (fn == "APP_NAME") return make(param("@@ app"), makeType(SqlType::NVarChar, 256));
  if (fn == "DB_NAME") {
    if (!e.args.empty()) {
      std::string id = integer(0);
      return make("(SELECT name FROM master.sysdatabases WHERE dbid = " + id + ")",
                  makeType(SqlType::NVarChar, 256));
    }
    return make(param("@@ db"), makeType(SqlType::NVarChar, 256));
  }
  if (fn == "DB_ID") {
    if (e.args.empty())
      return make("(SELECT dbid FROM master.sysdatabases WHERE name = " + param("@@ db") + ")",
                  makeType(SqlType::SmallInt));
    return make("(SELECT dbid FROM master.sysdatabases WHERE name = " + text(0).sql + ")",
                makeType(SqlType::SmallInt));
  }
  // The error a CATCH block handles; NULL outside one.
  if (fn == "ERROR_NUMBER" || fn == "ERROR_SEVERITY" || fn == "ERROR_STATE" || fn == "ERROR_LINE") {
    expectArgs(e, 0, 0);
    return make(param("@@ " + lower(fn)), makeType(SqlType::Int));
  }
  if (fn == "ERROR_MESSAGE") {
    expectArgs(e, 0, 0);
    return make(param("@@ error_message"), makeType(SqlType::NVarChar, 4000));
  }
  if (fn == "ERROR_PROCEDURE") {
    expectArgs(e, 0, 0);
    return make(param("@@ error_procedure"), makeType(SqlType::NVarChar, 128));
  }
  if (fn == "SQL_VARIANT_PROPERTY") {
    expectArgs(e, 2, 2);
    Typed value = arg(0);
    TypeInfo variant = makeType(SqlType::Variant);
    std::string held = value.type.type == SqlType::Variant ? value.sql : convertSql(value, variant);
    return make("t_variant_property(" + held + ", " + text(1).sql + ")", variant);
  }
  // UPDATE(column) in a trigger: whether the statement that fired it set the column.
  if (fn == "UPDATE") {
    expectArgs(e, 1, 1);
    if (e.args[0]->kind != ExprKind::Column) throw SqlError(102, {"("});
    return make(param("@@ updated " + lower(e.args[0]->names.back())), makeType(SqlType::Bit));
  }
  // COLUMNS_UPDATED() in a trigger: a bit for each column the statement set.
  if (fn == "COLUMNS_UPDATED") {
    expectArgs(e, 0, 0);
    return make(param("@@ columns_updated"), makeType(SqlType::VarBinary, 8000));
  }
  if (fn == "XACT_STATE") {
    expectArgs(e, 0, 0);
    return make(param("@@ xact_state"), makeType(SqlType::SmallInt));
  }
  if (fn == "SCOPE_IDENTITY")
    return make(param("@@ scope_identity"), makeType(SqlType::Numeric, 0, 38, 0));
  if (fn == "IDENT_CURRENT") {
    expectArgs(e, 1, 1);
    return make("(SELECT current FROM " + db + "_tessel_identity i JOIN " + db +
                    "sysobjects o ON o.id = i.id WHERE o.name = t_objname(" + text(0).sql +
                    ") COLLATE TSQL_CI)",
                makeType(SqlType::Numeric, 0, 38, 0));
  }
  if (fn == "OBJECT_ID") {
    expectArgs(e, 1, 2);
    const std::string name = text(0).sql;
    std::string n = "t_objname(" + name + ")";
    // #names are the session's own; ##names and tempdb's other objects are
    // shared.
    return make("CASE WHEN " + n + " LIKE '#%' AND " + n +
                    " NOT LIKE '##%' THEN (SELECT id FROM temp.sysobjects WHERE name = " + n +
                    " COLLATE TSQL_CI) WHEN " + n + " LIKE '##%' OR t_objdb(" + name +
                    ") = 'tempdb' COLLATE TSQL_CI THEN (SELECT id FROM tempdb.sysobjects WHERE "
                    "name = " +
                    n + " COLLATE TSQL_CI) ELSE coalesce((SELECT id FROM " + db +
                    "sysobjects WHERE name = " + n +
                    " COLLATE TSQL_CI), (SELECT id FROM temp.sysobjects WHERE name = " + n +
                    " COLLATE TSQL_CI)) END",
                intType);
  }
  // OBJECTPROPERTY(id, property): the kind of an object and the properties
  // of a trigger; NULL for no such object or a property that does not apply.
  if (fn == "OBJECTPROPERTY") {
    expectArgs(e, 2, 2);
    std::string id = integer(0);
    std::string property = "upper(" + text(1).sql + ")";
    auto triggerBit = [](const char* name, const char* test) {
      return std::string(" WHEN '") + name + "' THEN CASE WHEN xtype = 'TR' THEN " + test + " END";
    };
    return make("(SELECT CASE " + property +
                    triggerBit("EXECISTRIGGERDISABLED", "status & 2048 <> 0") +
                    triggerBit("EXECISINSTEADOFTRIGGER", "status & 65536 <> 0") +
                    triggerBit("EXECISAFTERTRIGGER", "status & 65536 = 0") +
                    triggerBit("EXECISINSERTTRIGGER", "status & 256 <> 0") +
                    triggerBit("EXECISUPDATETRIGGER", "status & 512 <> 0") +
                    triggerBit("EXECISDELETETRIGGER", "status & 1024 <> 0") +
                    " WHEN 'ISTRIGGER' THEN xtype = 'TR' WHEN 'ISVIEW' THEN xtype = 'V'"
                    " WHEN 'ISPROCEDURE' THEN xtype = 'P' WHEN 'ISUSERTABLE' THEN xtype = 'U'"
                    " WHEN 'ISTABLE' THEN xtype IN ('U', 'S') END FROM " +
                    db + "sysobjects WHERE id = " + id + ")",
                intType);
  }
  if (fn == "OBJECT_NAME") {
    expectArgs(e, 1, 2);
    return make("(SELECT name FROM " + db + "sysobjects WHERE id = " + integer(0) + ")",
                makeType(SqlType::NVarChar, 256));
  }
  if (fn == "ISNULL") {
    expectArgs(e, 2, 2);
    Typed a = arg(0), b = arg(1);
    TypeInfo t = a.nullLiteral ? b.type : a.type;
    Typed r = make("coalesce(" + a.sql + "," + convertSql(b, t) + ")", t);
    r.isAggregate = a.isAggregate || b.isAggregate;
    r.type.nullable = b.type.nullable;
    return r;
  }
  if (fn == "COALESCE") {
    if (e.args.size() < 2) throw SqlError(174, {"coalesce", "2"});
    std::vector<Typed> xs;
    std::optional<TypeInfo> t;
    for (std::size_t i = 0; i < e.args.size(); ++i) {
      xs.push_back(arg(i));
      if (!xs.back().nullLiteral) t = t ? commonType(*t, xs.back().type) : xs.back().type;
    }
    TypeInfo rt = t.value_or(intType);
    std::string sql = "coalesce(";
    for (std::size_t i = 0; i < xs.size(); ++i) sql += (i ? "," : "") + convertSql(xs[i], rt);
    return make(sql + ")", rt);
  }
  if (fn == "NULLIF") {
    expectArgs(e, 2, 2);
    Typed a = arg(0), b = arg(1);
    Typed cmp = bindCompareTyped("=", a, b);
    return make("(CASE WHEN " + cmp.sql + " THEN NULL ELSE " + a.sql + " END)", a.type);
  }
  if (fn == "LEN") {
    expectArgs(e, 1, 1);
    return make("t_len(" + text(0).sql + ")", intType);
  }
  if (fn == "DATALENGTH") {
    expectArgs(e, 1, 1);
    Typed a = arg(0);
    if (isCharType(a.type.type) || isBinaryType(a.type.type))
      return make("t_datalength(" + a.sql + "," + (isUnicodeType(a.type.type) ? "1" : "0") + ")",
                  intType);
    int len = a.type.length;
    if (isDecimalType(a.type.type)) len = decimalLength(a.type.precision);
    return make("(CASE WHEN " + a.sql + " IS NULL THEN NULL ELSE " + std::to_string(len) + " END)",
                intType);
  }
  if (fn == "SUBSTRING") {
    expectArgs(e, 3, 3);
    Typed s = text(0);
    TypeInfo t = s.type;
    if (t.type == SqlType::Text) t = makeType(SqlType::VarChar, 8000);
    if (t.type == SqlType::NText) t = makeType(SqlType::NVarChar, 8000);
    if (t.type == SqlType::Image) t = makeType(SqlType::VarBinary, 8000);
    if (t.type == SqlType::Char) t.type = SqlType::VarChar;
    if (t.type == SqlType::NChar) t.type = SqlType::NVarChar;
    if (t.type == SqlType::Binary) t.type = SqlType::VarBinary;
    return make("t_substring(" + s.sql + "," + integer(1) + "," + integer(2) + ")", t);
  }
  if (fn == "LEFT" || fn == "RIGHT") {
    expectArgs(e, 2, 2);
    Typed s = text(0);
    TypeInfo t = varcharOf(s.type);
    if (t.type == SqlType::Char) t.type = SqlType::VarChar;
    if (t.type == SqlType::NChar) t.type = SqlType::NVarChar;
    return make(std::string(fn == "LEFT" ? "t_left(" : "t_right(") + s.sql + "," + integer(1) + ")",
                t);
  }
  if (fn == "UPPER" || fn == "LOWER" || fn == "LTRIM" || fn == "RTRIM" || fn == "REVERSE") {
    expectArgs(e, 1, 1);
    Typed s = text(0);
    TypeInfo t = varcharOf(s.type);
    if (t.type == SqlType::Char) t.type = SqlType::VarChar;
    if (t.type == SqlType::NChar) t.type = SqlType::NVarChar;
    std::string f = fn == "UPPER"   ? "t_upper"
                    : fn == "LOWER" ? "t_lower"
                    : fn == "LTRIM" ? "t_ltrim"
                    : fn == "RTRIM" ? "t_rtrim"
                                    : "t_reverse";
    return make(f + "(" + s.sql + ")", t);
  }
  if (fn == "CHARINDEX") {
    expectArgs(e, 2, 3);
    std::string sql = "t_charindex(" + text(0).sql + "," + text(1).sql;
    if (e.args.size() == 3) sql += "," + integer(2);
    return make(sql + ")", intType);
  }
  if (fn == "PATINDEX") {
    expectArgs(e, 2, 2);
    throw SqlError(195, {"patindex"});
  }
  if (fn == "REPLACE") {
    expectArgs(e, 3, 3);
    Typed s = text(0);
    return make("t_replace(" + s.sql + "," + text(1).sql + "," + text(2).sql + ")",
                makeType(isUnicodeType(s.type.type) ? SqlType::NVarChar : SqlType::VarChar, 8000));
  }
  if (fn == "STUFF") {
    expectArgs(e, 4, 4);
    return make(
        "t_stuff(" + text(0).sql + "," + integer(1) + "," + integer(2) + "," + text(3).sql + ")",
        makeType(SqlType::VarChar, 8000));
  }
  if (fn == "STR") {
    expectArgs(e, 1, 3);
    Typed x = arg(0);
    std::string sql = "t_str(" + convertSql(x, makeType(SqlType::Float));
    int len = 10;
    for (std::size_t i = 1; i < e.args.size(); ++i) sql += "," + integer(i);
    if (e.args.size() > 1 && e.args[1]->kind == ExprKind::Literal)
      if (auto* v = std::get_if<std::int64_t>(&e.args[1]->value.data())) len = static_cast<int>(*v);
    return make(sql + ")", makeType(SqlType::Char, std::clamp(len, 1, 8000)));
  }
  if (fn == "SPACE") {
    expectArgs(e, 1, 1);
    return make("t_space(" + integer(0) + ")", makeType(SqlType::VarChar, 8000));
  }
  if (fn == "REPLICATE") {
    expectArgs(e, 2, 2);
    // The result is cut at 8000 bytes unless the string is a (max) type.
    Typed s = text(0);
    bool unicode = isUnicodeType(s.type.type);
    TypeInfo t = makeType(unicode ? SqlType::NVarChar : SqlType::VarChar, 8000);
    if (isMaxType(s.type) || isLargeType(s.type.type))
      t.length = unicode ? kMaxLength - 1 : kMaxLength;
    return make(
        "t_replicate(" + s.sql + "," + integer(1) + "," + std::to_string(charLength(t)) + ")", t);
  }
  if (fn == "ASCII" || fn == "UNICODE") {
    expectArgs(e, 1, 1);
    return make((fn == "ASCII" ? "t_ascii(" : "t_unicode(") + text(0).sql + ")", intType);
  }
  if (fn == "CHAR" || fn == "NCHAR") {
    expectArgs(e, 1, 1);
    return make((fn == "CHAR" ? "t_char(" : "t_nchar(") + integer(0) + ")",
                fn == "CHAR" ? makeType(SqlType::Char, 1) : makeType(SqlType::NChar, 2));
  }
  if (fn == "ABS" || fn == "SIGN") {
    expectArgs(e, 1, 1);
    Typed x = arg(0);
    if (exact::isWide(x.type))
      return make("t_xunary(" + std::string(fn == "ABS" ? "1," : "2,") + x.sql + "," +
                      std::to_string(encodeType(x.type)) + ")",
                  x.type);
    if (fn == "SIGN" && isExactType(x.type.type))
      return make("(sign(" + x.sql + ")*" + std::to_string(pow10(storageScale(x.type))) + ")",
                  x.type);
    return make(lower(fn) + "(" + x.sql + ")", x.type);
  }
  if (fn == "ROUND") {
    expectArgs(e, 2, 3);
    Typed x = arg(0);
    std::string trunc = e.args.size() == 3 ? integer(2) : "0";
    if (isExactType(x.type.type) && !isIntegerType(x.type.type))
      return make("t_xround(" + x.sql + "," + std::to_string(storageScale(x.type)) + "," +
                      integer(1) + "," + trunc + "," + std::to_string(encodeType(x.type)) + ")",
                  x.type);
    if (isIntegerType(x.type.type))
      return make("t_xround(" + x.sql + ",0," + integer(1) + "," + trunc + "," +
                      std::to_string(encodeType(x.type)) + ")",
                  x.type);
    return make("t_fround(" + convertSql(x, makeType(SqlType::Float)) + "," + integer(1) + "," +
                    trunc + ")",
                makeType(SqlType::Float));
  }
  if (fn == "FLOOR" || fn == "CEILING") {
    expectArgs(e, 1, 1);
    Typed x = arg(0);
    if (isIntegerType(x.type.type)) return x;
    if (isExactType(x.type.type)) {
      TypeInfo t =
          isMoneyType(x.type.type) ? x.type : makeType(SqlType::Decimal, 0, x.type.precision, 0);
      std::string q = "t_xfloor(" + x.sql + "," + std::to_string(storageScale(x.type)) + "," +
                      (fn == "CEILING" ? "1" : "0") + "," + std::to_string(encodeType(t)) + ")";
      return make(q, t);
    }
    return make(std::string(fn == "FLOOR" ? "floor(" : "ceil(") +
                    convertSql(x, makeType(SqlType::Float)) + ")",
                makeType(SqlType::Float));
  }
  if (fn == "POWER") {
    expectArgs(e, 2, 2);
    Typed x = arg(0);
    std::string p = "pow(" + convertSql(x, makeType(SqlType::Float)) + "," +
                    convertSql(arg(1), makeType(SqlType::Float)) + ")";
    if (isIntegerType(x.type.type)) return make("CAST(" + p + " AS INTEGER)", x.type);
    return make(p, makeType(SqlType::Float));
  }
  if (fn == "SQRT" || fn == "EXP" || fn == "LOG" || fn == "LOG10" || fn == "SIN" || fn == "COS" ||
      fn == "TAN" || fn == "ATAN" || fn == "ASIN" || fn == "ACOS" || fn == "SQUARE" ||
      fn == "DEGREES" || fn == "RADIANS") {
    expectArgs(e, 1, 1);
    std::string x = convertSql(arg(0), makeType(SqlType::Float));
    std::string f = fn == "LOG" ? "ln" : fn == "LOG10" ? "log10" : lower(fn);
    if (fn == "SQUARE") return make("(" + x + "*" + x + ")", makeType(SqlType::Float));
    return make(f + "(" + x + ")", makeType(SqlType::Float));
  }
  if (fn == "PI") return make("pi()", makeType(SqlType::Float));
  if (fn == "RAND") {
    if (e.args.empty()) return make("t_rand()", makeType(SqlType::Float));
    return make("t_rand(" + integer(0) + ")", makeType(SqlType::Float));
  }
  // The date and time types (any year from 0001, to 100 ns) go to the
  // t_w* functions with their type; datetime and smalldatetime keep the
  // datetime ones, unless the part needs more than their precision.
  TypeInfo wide7 = makeType(SqlType::DateTime2, 0, 0, 7);
  auto wideSql = [&](const Typed& a) { return a.sql + "," + std::to_string(encodeType(a.type)); };
  auto asWide = [&](Typed a) {
    if (!isWideDateType(a.type.type)) {
      a.sql = convertSql(a, wide7);
      a.type = wide7;
    }
    return a;
  };
  auto unsupported = [&](int code, const char* function, const TypeInfo& t) {
    return SqlError(9810, {datePartLongName(code), function, typeName(t.type)});
  };
  if (fn == "DATEADD") {
    expectArgs(e, 3, 3);
    std::string part = datePartName(*e.args[0]);
    auto code = normalizeDatePart(part);
    Typed d = arg(2);
    if (code && (*code == 13 || *code == 14)) throw SqlError(155, {part, "dateadd"});
    if (isWideDateType(d.type.type)) {
      if (code && !wideHasPart(d.type.type, *code)) throw unsupported(*code, "dateadd", d.type);
      return make("t_wdateadd(" + sqlLiteral(Stored::text(part)) + "," + integer(1) + "," +
                      wideSql(d) + ")",
                  d.type);
    }
    TypeInfo t = isDateType(d.type.type) ? d.type : makeType(SqlType::DateTime);
    if (code && *code >= 11) throw unsupported(*code, "dateadd", t);
    return make("t_dateadd(" + sqlLiteral(Stored::text(part)) + "," + integer(1) + "," +
                    datetimeArg(2) + "," + (t.type == SqlType::SmallDateTime ? "1" : "0") + ")",
                t);
  }
  if (fn == "DATEDIFF") {
    expectArgs(e, 3, 3);
    std::string part = datePartName(*e.args[0]);
    auto code = normalizeDatePart(part);
    if (code && (*code == 13 || *code == 14)) throw SqlError(155, {part, "datediff"});
    Typed a = arg(1), b = arg(2);
    if (isWideDateType(a.type.type) || isWideDateType(b.type.type) || (code && *code >= 11))
      return make("t_wdatediff(" + sqlLiteral(Stored::text(part)) + "," + wideSql(asWide(a)) + "," +
                      wideSql(asWide(b)) + ")",
                  intType);
    return make("t_datediff(" + sqlLiteral(Stored::text(part)) + "," + datetimeArg(1) + "," +
                    datetimeArg(2) + ")",
                intType);
  }
  if (fn == "DATEPART" || fn == "DATENAME") {
    expectArgs(e, 2, 2);
    std::string part = datePartName(*e.args[0]);
    auto code = normalizeDatePart(part);
    Typed d = arg(1);
    bool wide = isWideDateType(d.type.type);
    const char* function = fn == "DATENAME" ? "datename" : "datepart";
    if (wide && code && !wideHasPart(d.type.type, *code))
      throw unsupported(*code, function, d.type);
    if (!wide && code && *code == 13 && isDateType(d.type.type))
      throw unsupported(*code, function, d.type);
    if (wide || (code && *code >= 11)) {
      std::string call = "(" + sqlLiteral(Stored::text(part)) + "," + wideSql(asWide(d)) + ")";
      if (fn == "DATENAME") return make("t_wdatename" + call, makeType(SqlType::NVarChar, 60));
      return make("t_wdatepart" + call, intType);
    }
    if (fn == "DATENAME")
      return make("t_datename(" + sqlLiteral(Stored::text(part)) + "," + datetimeArg(1) + ")",
                  makeType(SqlType::NVarChar, 60));
    return make("t_datepart(" + sqlLiteral(Stored::text(part)) + "," + datetimeArg(1) + ")",
                intType);
  }
  if (fn == "YEAR" || fn == "MONTH" || fn == "DAY") {
    expectArgs(e, 1, 1);
    Typed d = arg(0);
    // A time is on the base day, 1900-01-01.
    if (isWideDateType(d.type.type))
      return make("t_wdatepart('" + lower(fn) + "'," + wideSql(d) + ")", intType);
    return make("t_datepart('" + lower(fn) + "'," + datetimeArg(0) + ")", intType);
  }
  if (fn == "NEWID") return make("t_newid()", makeType(SqlType::UniqueIdentifier));
  if (fn == "ISNUMERIC") {
    expectArgs(e, 1, 1);
    return make("t_isnumeric(" + arg(0).sql + ")", intType);
  }
  if (fn == "ISDATE") {
    expectArgs(e, 1, 1);
    return make("t_isdate(" + text(0).sql + ")", intType);
  }
  if (fn == "TEXTPTR") {
    expectArgs(e, 1, 1);
    Typed c = arg(0);
    if (!c.column || !c.table || !isLargeType(c.type.type))
      throw SqlError(8116, {typeName(c.type.type), "textptr"});
    return make("t_textptr(" + std::to_string(c.table->id) + "," + std::to_string(c.column->colid) +
                    "," + quoteName(c.sourceAlias) + ".rowid)",
                makeType(SqlType::VarBinary, 16));
  }
  if (fn == "TEXTVALID") {
    expectArgs(e, 2, 2);
    Typed p = arg(1);
    return make("(CASE WHEN length(" + p.sql + ")=16 THEN 1 ELSE 0 END)", intType);
  }
  if (fn == "COL_LENGTH") {
    expectArgs(e, 2, 2);
    return make("(SELECT c.length FROM " + db + "syscolumns c JOIN " + db +
                    "sysobjects o ON o.id = c.id WHERE o.name = t_objname(" + text(0).sql +
                    ") COLLATE TSQL_CI AND c.name = " + text(1).sql + " COLLATE TSQL_CI)",
                makeType(SqlType::SmallInt));
  }
  if (fn == "COLUMNPROPERTY") {
    // UsesAnsiTrim: created with ANSI_PADDING off (syscolumns.colstat 0x2000);
    // AllowsNull. NULL for a column that does not exist or another property.
    expectArgs(e, 3, 3);
    std::string id = integer(0), column = text(1).sql;
    std::string match =
        " WHERE id = " + id + " AND number = 0 AND name = " + column + " COLLATE TSQL_CI";
    return make("(SELECT CASE upper(" + text(2).sql +
                    ") WHEN 'USESANSITRIM' THEN CASE WHEN colstat & 8192 = 0 THEN 0 ELSE 1 END "
                    "WHEN 'ALLOWSNULL' THEN isnullable END "
                    "FROM (SELECT colstat, isnullable FROM " +
                    db + "syscolumns" + match +
                    " UNION ALL SELECT colstat, isnullable FROM temp.syscolumns" + match +
                    " UNION ALL SELECT colstat, isnullable FROM tempdb.syscolumns" + match +
                    ") LIMIT 1)",
                intType);
  }
  if (fn == "COLLATIONPROPERTY") {
    expectArgs(e, 2, 2);
    return make("t_collationproperty(" + text(0).sql + ", " + text(1).sql + ")",
                makeType(SqlType::Variant));
  }
  if (fn == "DATABASEPROPERTYEX") {
    // The collation of an existing database: the server's, which every
    // database has. Other properties are not kept.
    expectArgs(e, 2, 2);
    return make("(CASE WHEN upper(" + text(1).sql +
                    ") = 'COLLATION' AND EXISTS (SELECT 1 FROM master.sysdatabases WHERE name = " +
                    text(0).sql + " COLLATE TSQL_CI) THEN " +
                    sqlLiteral(variantStored(Stored::text(collationName(0)),
                                             makeType(SqlType::NVarChar, 256))) +
                    " END)",
                makeType(SqlType::Variant));
  }
  if (fn == "IDENTITY") throw SqlError(195, {"identity"});
  throw SqlError(195, {lower(fn)});
}

}  // namespace tessel::sqld::engine
