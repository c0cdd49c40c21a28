// The session and server functions: who is connected (USER, SYSTEM_USER,
// HOST_NAME, APP_NAME, DB_NAME ...), the error a CATCH block handles, the
// state of the transaction and of identity values, trigger context
// (UPDATE(), COLUMNS_UPDATED()), sequences, NEWID and SQL_VARIANT_PROPERTY.
// Session values are parameters the executor binds when the statement runs.

#include "builtin.h"
#include "errors.h"
#include "lexer.h"
#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

TypeInfo sysname() {
  return makeType(SqlType::NVarChar, 256);
}
TypeInfo bigint() {
  return makeType(SqlType::BigInt);
}

Typed user(Call&) {
  return make("'dbo'", sysname());
}
Typed login(Call& c) {
  return make(c.param("@@ login"), sysname());
}
Typed hostName(Call& c) {
  return make(c.param("@@ host"), sysname());
}
Typed appName(Call& c) {
  return make(c.param("@@ app"), sysname());
}

Typed dbName(Call& c) {
  if (c.size() == 0) return make(c.param("@@ db"), sysname());
  return make("(SELECT name FROM master.sysdatabases WHERE dbid = " + c.integer(0) + ")",
              sysname());
}

Typed dbId(Call& c) {
  std::string name = c.size() == 0 ? c.param("@@ db") : c.text(0).sql;
  return make("(SELECT dbid FROM master.sysdatabases WHERE name = " + name + ")",
              makeType(SqlType::SmallInt));
}

// The error a CATCH block handles; NULL outside one.
Typed errorInt(Call& c) {
  return make(c.param("@@ " + lower(c.name())), makeType(SqlType::Int));
}
Typed errorMessage(Call& c) {
  return make(c.param("@@ error_message"), makeType(SqlType::NVarChar, 4000));
}
Typed errorProcedure(Call& c) {
  return make(c.param("@@ error_procedure"), makeType(SqlType::NVarChar, 128));
}

Typed xactState(Call& c) {
  return make(c.param("@@ xact_state"), makeType(SqlType::SmallInt));
}

Typed scopeIdentity(Call& c) {
  return make(c.param("@@ scope_identity"), makeType(SqlType::Numeric, 0, 38, 0));
}

Typed identCurrent(Call& c) {
  std::string db = c.db();
  // A table that never had a row (or was truncated) answers its seed.
  return make("(SELECT coalesce(current, seed) FROM " + db + "_tessel_identity i JOIN " + db +
                  "sysobjects o ON o.id = i.id WHERE o.name = t_objname(" + c.text(0).sql +
                  ") COLLATE TSQL_CI AND o.uid = " + schemaIdOfName(db, c.text(0).sql) + ")",
              makeType(SqlType::Numeric, 0, 38, 0));
}

// IDENT_SEED and IDENT_INCR: the identity column's definition.
Typed identDefinition(Call& c) {
  std::string db = c.db();
  const char* column = c.name() == "IDENT_SEED" ? "seed" : "increment";
  return make(std::string("(SELECT ") + column + " FROM " + db + "_tessel_identity i JOIN " + db +
                  "sysobjects o ON o.id = i.id WHERE o.name = t_objname(" + c.text(0).sql +
                  ") COLLATE TSQL_CI AND o.uid = " + schemaIdOfName(db, c.text(0).sql) + ")",
              makeType(SqlType::Numeric, 0, 38, 0));
}

Typed minActiveRowversion(Call& c) {
  TypeInfo type = makeType(SqlType::Binary, 8);
  type.nullable = false;
  return make(c.param("@@ min_active_rowversion"), type);
}

Typed identity(Call&) {
  throw SqlError(195, {"identity"});
}

Typed newId(Call&) {
  return make("t_newid()", makeType(SqlType::UniqueIdentifier));
}

Typed variantProperty(Call& c) {
  Typed value = c.arg(0);
  TypeInfo variant = makeType(SqlType::Variant);
  std::string held = value.type.type == SqlType::Variant ? value.sql : c.convert(value, variant);
  return make("t_variant_property(" + held + ", " + c.text(1).sql + ")", variant);
}

// UPDATE(column) in a trigger: whether the statement that fired it set the column.
Typed updated(Call& c) {
  if (c.argExpr(0).kind != ExprKind::Column) throw SqlError(102, {"("});
  return make(c.param("@@ updated " + lower(c.argExpr(0).names.back())), makeType(SqlType::Bit));
}

// COLUMNS_UPDATED() in a trigger: a bit for each column the statement set.
Typed columnsUpdated(Call& c) {
  return make(c.param("@@ columns_updated"), makeType(SqlType::VarBinary, 8000));
}

Typed nextValue(Call& c) {
  SequenceRef seq = c.context().resolveSequence(c.expr().names);
  Typed value = make("t_nextval(" + quoteText(seq.schema) + ", " + std::to_string(seq.id) + ", " +
                         std::to_string(c.nextSequenceSite()) + ")",
                     bigint());
  if (seq.type.type != SqlType::BigInt) value.sql = c.convert(value, seq.type);
  value.type = seq.type;
  value.type.nullable = false;
  return value;
}

// The catalog views' access to a sequence's definition:
// _TESSEL_SEQUENCE(object id, 'column', 'database').
Typed sequenceAttribute(Call& c) {
  const auto* name = std::get_if<std::string>(&c.argExpr(2).value.data());
  const std::string database = name ? *name : std::string();
  return make("t_seqattr(" + quoteText(c.context().schemaFor(database)) + ", " + c.arg(0).sql +
                  ", " + c.arg(1).sql + ")",
              bigint());
}

// The key views' access to what the stored definitions hold:
// _TESSEL_FOREIGN_KEY(constraint id, 'what', key number, 'database') and
// _TESSEL_INDEX_KEY_DESC(table id, index id, key number, 'database').
Typed keyAttribute(Call& c) {
  const auto* name = std::get_if<std::string>(&c.argExpr(3).value.data());
  const std::string schema = quoteText(c.context().schemaFor(name ? *name : std::string()));
  const bool foreignKey = c.name() == "_TESSEL_FOREIGN_KEY";
  std::string sql = std::string(foreignKey ? "t_fkattr(" : "t_indexkeydesc(") + schema + ", " +
                    c.arg(0).sql + ", " + c.arg(1).sql + ", " + c.arg(2).sql + ")";
  // A foreign key's columns are names; everything else a number.
  const auto* what = std::get_if<std::string>(&c.argExpr(1).value.data());
  const bool names = foreignKey && what && what->find("column") != std::string::npos;
  return make(sql, names ? makeType(SqlType::NVarChar, 256) : makeType(SqlType::Int));
}

// The catalog views' access to an identity column's definition and last
// value: _TESSEL_IDENTITY(object id, 'seed_value' | 'increment_value' |
// 'last_value', 'database').
Typed identityAttribute(Call& c) {
  const auto* name = std::get_if<std::string>(&c.argExpr(2).value.data());
  const auto* attribute = std::get_if<std::string>(&c.argExpr(1).value.data());
  const std::string column = !attribute                               ? "NULL"
                             : iequals(*attribute, "seed_value")      ? "seed"
                             : iequals(*attribute, "increment_value") ? "increment"
                                                                      : "current";
  return make("(SELECT " + column + " FROM " +
                  quoteName(c.context().schemaFor(name ? *name : std::string())) +
                  "._tessel_identity WHERE id = " + c.arg(0).sql + ")",
              bigint());
}

// sp_sequence_get_range's steps: _TESSEL_SEQUENCE_RANGE(name, count) takes
// the values, _TESSEL_SEQUENCE_RANGE_PART(i) reads the rest of the answer.
Typed sequenceRange(Call& c) {
  Typed name = c.text(0);
  return make("t_seqrange(t_objdb(" + name.sql + "), " + name.sql + ", " + c.arg(1).sql + ")",
              bigint());
}

Typed sequenceRangePart(Call& c) {
  return make("t_seqrangepart(" + c.arg(0).sql + ")", bigint());
}

constexpr Function kFunctions[] = {
    {"APP_NAME", 0, 0, appName},
    {"COLUMNS_UPDATED", 0, 0, columnsUpdated},
    {"CURRENT_USER", 0, 0, user},
    {"DB_ID", 0, 1, dbId},
    {"DB_NAME", 0, 1, dbName},
    {"ERROR_LINE", 0, 0, errorInt},
    {"ERROR_MESSAGE", 0, 0, errorMessage},
    {"ERROR_NUMBER", 0, 0, errorInt},
    {"ERROR_PROCEDURE", 0, 0, errorProcedure},
    {"ERROR_SEVERITY", 0, 0, errorInt},
    {"ERROR_STATE", 0, 0, errorInt},
    {"HOST_NAME", 0, 0, hostName},
    {"IDENT_CURRENT", 1, 1, identCurrent},
    {"IDENT_INCR", 1, 1, identDefinition},
    {"IDENT_SEED", 1, 1, identDefinition},
    {"IDENTITY", 0, kVariadic, identity},
    {"MIN_ACTIVE_ROWVERSION", 0, 0, minActiveRowversion},
    {"NEWID", 0, 0, newId},
    {"NEXT VALUE FOR", 0, 0, nextValue},
    {"SCOPE_IDENTITY", 0, 0, scopeIdentity},
    {"SESSION_USER", 0, 0, user},
    {"SQL_VARIANT_PROPERTY", 2, 2, variantProperty},
    {"SUSER_NAME", 0, 1, login},
    {"SUSER_SNAME", 0, 1, login},
    {"SYSTEM_USER", 0, 0, login},
    {"UPDATE", 1, 1, updated},
    {"USER", 0, 0, user},
    {"USER_NAME", 0, 1, user},
    {"XACT_STATE", 0, 0, xactState},
    {"_TESSEL_FOREIGN_KEY", 4, 4, keyAttribute},
    {"_TESSEL_INDEX_KEY_DESC", 4, 4, keyAttribute},
    {"_TESSEL_IDENTITY", 3, 3, identityAttribute},
    {"_TESSEL_SEQUENCE", 3, 3, sequenceAttribute},
    {"_TESSEL_SEQUENCE_RANGE", 2, 2, sequenceRange},
    {"_TESSEL_SEQUENCE_RANGE_PART", 1, 1, sequenceRangePart},
};

}  // namespace

std::span<const Function> systemFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
