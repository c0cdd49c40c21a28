// sys.computed_columns and sys.identity_columns: the rows of sys.columns for
// computed and identity columns with what only they have (a computed
// column's definition, an identity column's seed, increment and last value).

#include "sys_views.h"

#include "lexer.h"

namespace tessel::sqld::engine {
namespace {

// The columns the two views share with sys.columns.
const char* kColumnHead =
    "SELECT c.id AS object_id, c.name, CAST(c.colid AS int) AS column_id, "
    "c.xtype AS system_type_id, CAST(c.xusertype AS int) AS user_type_id, "
    "c.length AS max_length, c.xprec AS [precision], c.xscale AS scale, "
    "CAST(c.collation AS sysname) AS collation_name, CAST(c.isnullable AS bit) AS is_nullable, "
    "CAST(CASE WHEN c.status & 128 = 128 THEN 1 ELSE 0 END AS bit) AS is_identity, "
    "CAST(c.iscomputed AS bit) AS is_computed, ";

// A computed column's text is kept under its table's id, numbered by the
// column (syscomments.status 2); colstat 0x4000 marks PERSISTED.
const char* kComputedTail =
    "CAST(t.text AS nvarchar(max)) AS definition, CAST(1 AS bit) AS uses_database_collation, "
    "CAST(CASE WHEN c.colstat & 16384 = 16384 THEN 1 ELSE 0 END AS bit) AS is_persisted "
    "FROM $db.syscolumns c JOIN $db.syscomments t ON t.id = c.id AND t.number = c.colid "
    "AND t.status = 2 WHERE c.number = 0 AND c.iscomputed = 1";

// Seed, increment and last value carry the column's own type.
std::string identityValue(const char* attribute) {
  std::string v = std::string("_tessel_identity(c.id, '") + attribute + "', '$dbname')";
  return "CASE c.xtype WHEN 56 THEN CAST(CAST(" + v + " AS int) AS sql_variant) WHEN 127 THEN " +
         "CAST(CAST(" + v + " AS bigint) AS sql_variant) WHEN 52 THEN CAST(CAST(" + v +
         " AS smallint) AS sql_variant) WHEN 48 THEN CAST(CAST(" + v +
         " AS tinyint) AS sql_variant) ELSE CAST(CAST(" + v +
         " AS numeric(38, 0)) AS sql_variant) END AS " + attribute;
}

}  // namespace

std::optional<std::string> columnViewSelect(const std::string& view) {
  if (iequals(view, "computed_columns")) return std::string(kColumnHead) + kComputedTail;
  if (iequals(view, "identity_columns"))
    return std::string(kColumnHead) + identityValue("seed_value") + ", " +
           identityValue("increment_value") + ", " + identityValue("last_value") +
           ", CAST(0 AS bit) AS is_not_for_replication FROM $db.syscolumns c "
           "WHERE c.number = 0 AND c.status & 128 = 128";
  return std::nullopt;
}

}  // namespace tessel::sqld::engine

namespace tessel::sqld::engine {

// sp_helptext: a module's text, a row for each line as it was written.
std::optional<std::string> helpTextProcedureText(const std::string& name) {
  if (name != "sp_helptext") return std::nullopt;
  return "CREATE PROCEDURE sp_helptext @objname nvarchar(776), @columnname sysname = NULL AS\n"
         "BEGIN\n"
         "  DECLARE @id int, @text nvarchar(max), @lines int\n"
         "  SET @id = OBJECT_ID(@objname)\n"
         "  IF @id IS NULL\n"
         TESSEL_SQLD_NO_SUCH_OBJECT("@objname")
         "  SET @text = OBJECT_DEFINITION(@id)\n"
         "  IF @text IS NULL\n"
         "  BEGIN\n"
         "    RAISERROR(15197, 16, 1, @objname)\n"
         "    RETURN 1\n"
         "  END\n"
         "  SELECT @lines = count(*) FROM STRING_SPLIT(@text, CHAR(10), 1)\n"
         "  SELECT CAST(value + CASE WHEN ordinal < @lines THEN CHAR(10) ELSE '' END AS "
         "nvarchar(255)) AS [Text]\n"
         "  FROM STRING_SPLIT(@text, CHAR(10), 1) WHERE ordinal < @lines OR value <> ''\n"
         "  ORDER BY ordinal\n"
         "  RETURN 0\n"
         "END\n";
}

}  // namespace tessel::sqld::engine
