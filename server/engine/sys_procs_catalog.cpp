// The ODBC catalog procedures (sp_columns, sp_columns_100, sp_pkeys,
// sp_fkeys, sp_statistics), sp_helpindex and sp_helpconstraint, written in T-SQL over the
// compatibility tables and the key views. ODBC and JDBC drivers and older
// tools describe tables through them.

#include "lexer.h"
#include "sys_views.h"

namespace tessel::sqld::engine {
namespace {

// A column's ODBC type code: ODBC 2's by default, ODBC 3's date and time
// codes when @ODBCVer is 3. Dates and times after datetime are strings to
// ODBC 2 clients.
const char* kOdbcType =
    "CASE c.xtype WHEN 175 THEN 1 WHEN 167 THEN 12 WHEN 35 THEN -1 WHEN 239 THEN -8 "
    "WHEN 231 THEN -9 WHEN 99 THEN -10 WHEN 173 THEN -2 WHEN 165 THEN -3 WHEN 34 THEN -4 "
    "WHEN 189 THEN -2 WHEN 104 THEN -7 WHEN 48 THEN -6 WHEN 52 THEN 5 WHEN 56 THEN 4 "
    "WHEN 127 THEN -5 WHEN 59 THEN 7 WHEN 62 THEN 6 WHEN 106 THEN 3 WHEN 108 THEN 2 "
    "WHEN 60 THEN 3 WHEN 122 THEN 3 WHEN 61 THEN $datetime WHEN 58 THEN $datetime "
    "WHEN 36 THEN -11 WHEN 98 THEN -150 WHEN 241 THEN -152 ELSE -9 END";

// PRECISION: digits for numbers, characters for strings, bytes for binary;
// 0 for xml, whose size has no bound.
const char* kOdbcPrecision =
    "CASE WHEN c.xtype IN (175, 167, 239, 231, 173, 165) AND c.length = -1 THEN "
    "CASE WHEN c.xtype = 231 THEN 1073741823 ELSE 2147483647 END "
    "WHEN c.xtype IN (175, 167, 173, 165, 189) THEN c.length "
    "WHEN c.xtype IN (239, 231) THEN c.length / 2 WHEN c.xtype IN (35, 34) THEN 2147483647 "
    "WHEN c.xtype = 99 THEN 1073741823 WHEN c.xtype = 104 THEN 1 WHEN c.xtype = 48 THEN 3 "
    "WHEN c.xtype = 52 THEN 5 WHEN c.xtype = 56 THEN 10 WHEN c.xtype = 127 THEN 19 "
    "WHEN c.xtype = 59 THEN 7 WHEN c.xtype = 62 THEN 15 WHEN c.xtype IN (106, 108) THEN c.xprec "
    "WHEN c.xtype = 60 THEN 19 WHEN c.xtype = 122 THEN 10 WHEN c.xtype = 61 THEN 23 "
    "WHEN c.xtype = 58 THEN 16 WHEN c.xtype = 36 THEN 36 WHEN c.xtype = 40 THEN 10 "
    "WHEN c.xtype = 41 THEN 16 WHEN c.xtype = 42 THEN 27 WHEN c.xtype = 43 THEN 34 "
    "WHEN c.xtype = 241 THEN 0 ELSE c.length END";

// LENGTH: the bytes a value takes in its C form.
const char* kOdbcLength =
    "CASE WHEN c.xtype IN (175, 167, 239, 231, 173, 165) AND c.length = -1 THEN 2147483647 "
    "WHEN c.xtype IN (35, 34) THEN 2147483647 WHEN c.xtype = 99 THEN 2147483646 "
    "WHEN c.xtype IN (106, 108) THEN c.xprec + 2 WHEN c.xtype = 60 THEN 21 "
    "WHEN c.xtype = 122 THEN 12 WHEN c.xtype IN (61, 58) THEN 16 WHEN c.xtype = 40 THEN 20 "
    "WHEN c.xtype = 41 THEN 32 WHEN c.xtype = 42 THEN 54 WHEN c.xtype = 43 THEN 68 "
    "WHEN c.xtype = 241 THEN 0 ELSE c.length END";

const char* kOdbcScale =
    "CASE WHEN c.xtype IN (48, 52, 56, 127, 104) THEN 0 WHEN c.xtype IN (106, 108) THEN c.xscale "
    "WHEN c.xtype IN (60, 122) THEN 4 WHEN c.xtype = 61 THEN 3 WHEN c.xtype = 58 THEN 0 "
    "WHEN c.xtype IN (41, 42, 43) THEN 7 END";

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size()))
    text.replace(p, from.size(), to);
  return text;
}

// sp_columns, and sp_columns_100 (`extended`), which newer drivers call:
// the same columns and the SS_ ones after them; @fUsePattern 0 matches
// names exactly.
std::string spColumns(bool extended) {
  const std::string type =
      replaced(kOdbcType, "$datetime", "CASE @ODBCVer WHEN 3 THEN 93 ELSE 11 END");
  const std::string sqlType = replaced(kOdbcType, "$datetime", "9");
  const std::string match = extended ? "@fUsePattern = 0 AND $x = $p OR @fUsePattern = 1 AND "
                                       "$x LIKE $p"
                                     : "$x LIKE $p";
  auto matches = [&](const char* x, const char* p) {
    return "(" + replaced(replaced(match, "$x", x), "$p", p) + ")";
  };
  return std::string("CREATE PROCEDURE ") + (extended ? "sp_columns_100" : "sp_columns") +
         " @table_name nvarchar(384), "
         "@table_owner nvarchar(384) = NULL, @table_qualifier sysname = NULL, "
         "@column_name nvarchar(384) = NULL, " +
         (extended ? "@NameScope int = 0, @ODBCVer int = 2, @fUsePattern bit = 1"
                   : "@ODBCVer int = 2") +
         " AS\n"
         "BEGIN\n"
         "  SELECT CAST(db_name() AS sysname) AS TABLE_QUALIFIER, "
         "CAST(SCHEMA_NAME(o.uid) AS sysname) AS TABLE_OWNER, CAST(o.name AS sysname) AS "
         "TABLE_NAME,\n"
         "    CAST(c.name AS sysname) AS COLUMN_NAME, CAST(" +
         type +
         " AS smallint) AS DATA_TYPE,\n"
         "    CAST(t.name + CASE WHEN c.status & 128 = 128 THEN ' identity' ELSE '' END AS "
         "sysname) AS TYPE_NAME,\n"
         "    CAST(" +
         kOdbcPrecision + " AS int) AS [PRECISION], CAST(" + kOdbcLength +
         " AS int) AS LENGTH,\n"
         "    CAST(" +
         kOdbcScale +
         " AS smallint) AS SCALE,\n"
         "    CAST(CASE WHEN c.xtype IN (48, 52, 56, 127, 59, 62, 106, 108, 60, 122) THEN 10 END "
         "AS smallint) AS RADIX,\n"
         "    CAST(c.isnullable AS smallint) AS NULLABLE, CAST(NULL AS varchar(254)) AS REMARKS,\n"
         "    CAST(cm.text AS nvarchar(4000)) AS COLUMN_DEF, CAST(" +
         sqlType +
         " AS smallint) AS SQL_DATA_TYPE,\n"
         "    CAST(CASE WHEN c.xtype IN (61, 58) THEN 3 END AS smallint) AS SQL_DATETIME_SUB,\n"
         "    CAST(CASE WHEN c.xtype IN (175, 167, 239, 231, 35, 99) THEN " +
         kOdbcLength +
         " END AS int) AS CHAR_OCTET_LENGTH,\n"
         "    CAST(c.colid AS int) AS ORDINAL_POSITION,\n"
         "    CAST(CASE WHEN c.isnullable = 1 THEN 'YES' ELSE 'NO' END AS varchar(254)) AS "
         "IS_NULLABLE,\n"
         "    CAST(c.type AS tinyint) AS SS_DATA_TYPE" +
         (extended ? ",\n    CAST(0 AS smallint) AS SS_IS_SPARSE, CAST(0 AS smallint) AS "
                     "SS_IS_COLUMN_SET,\n"
                     "    CAST(c.iscomputed AS smallint) AS SS_IS_COMPUTED,\n"
                     "    CAST(CASE WHEN c.status & 128 = 128 THEN 1 ELSE 0 END AS smallint) AS "
                     "SS_IS_IDENTITY,\n"
                     "    CAST(NULL AS nvarchar(128)) AS SS_UDT_CATALOG_NAME, "
                     "CAST(NULL AS nvarchar(128)) AS SS_UDT_SCHEMA_NAME,\n"
                     "    CAST(NULL AS nvarchar(128)) AS SS_UDT_ASSEMBLY_TYPE_NAME,\n"
                     "    CAST(NULL AS nvarchar(128)) AS SS_XML_SCHEMACOLLECTION_CATALOG_NAME,\n"
                     "    CAST(NULL AS nvarchar(128)) AS SS_XML_SCHEMACOLLECTION_SCHEMA_NAME,\n"
                     "    CAST(NULL AS nvarchar(128)) AS SS_XML_SCHEMACOLLECTION_NAME\n"
                   : "\n") +
         "  FROM sysobjects o JOIN syscolumns c ON c.id = o.id AND c.number = 0\n"
         "    JOIN systypes t ON t.xusertype = c.xusertype\n"
         "    LEFT JOIN syscomments cm ON cm.id = c.cdefault AND c.cdefault <> 0\n"
         "  WHERE o.xtype IN ('U ', 'V ', 'S ') AND " +
         matches("o.name", "@table_name") +
         "\n"
         "    AND (@table_owner IS NULL OR " +
         matches("SCHEMA_NAME(o.uid)", "@table_owner") +
         ")\n"
         "    AND (@table_qualifier IS NULL OR @table_qualifier = db_name())\n"
         "    AND (@column_name IS NULL OR " +
         matches("c.name", "@column_name") +
         ")\n"
         "  ORDER BY 2, 3, 17\n"
         "  RETURN 0\n"
         "END\n";
}

const char* kSpPkeys =
    "CREATE PROCEDURE sp_pkeys @table_name sysname, @table_owner sysname = NULL, "
    "@table_qualifier sysname = NULL AS\n"
    "BEGIN\n"
    "  SELECT CAST(db_name() AS sysname) AS TABLE_QUALIFIER, CAST(SCHEMA_NAME(o.uid) AS sysname) "
    "AS TABLE_OWNER,\n"
    "    CAST(o.name AS sysname) AS TABLE_NAME, CAST(c.name AS sysname) AS COLUMN_NAME,\n"
    "    CAST(k.keyno AS smallint) AS KEY_SEQ, CAST(i.name AS sysname) AS PK_NAME\n"
    "  FROM sysobjects o JOIN sysindexes i ON i.id = o.id AND i.status & 2048 = 2048\n"
    "    JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid\n"
    "    JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid AND c.number = 0\n"
    "  WHERE o.xtype = 'U ' AND o.name = @table_name\n"
    "    AND (@table_owner IS NULL OR SCHEMA_NAME(o.uid) = @table_owner)\n"
    "    AND (@table_qualifier IS NULL OR @table_qualifier = db_name())\n"
    "  ORDER BY 1, 2, 3, 5\n"
    "  RETURN 0\n"
    "END\n";

// Rules as ODBC numbers them: 0 cascade, 1 no action, 2 set null, 3 set
// default.
const char* kSpFkeys =
    "CREATE PROCEDURE sp_fkeys @pktable_name sysname = NULL, @pktable_owner sysname = NULL, "
    "@pktable_qualifier sysname = NULL, @fktable_name sysname = NULL, "
    "@fktable_owner sysname = NULL, @fktable_qualifier sysname = NULL AS\n"
    "BEGIN\n"
    "  IF @pktable_name IS NULL AND @fktable_name IS NULL\n"
    "  BEGIN\n"
    "    RAISERROR(15252, 16, 1)\n"
    "    RETURN 1\n"
    "  END\n"
    "  SELECT CAST(db_name() AS sysname) AS PKTABLE_QUALIFIER, "
    "CAST(SCHEMA_NAME(r.schema_id) AS sysname) AS PKTABLE_OWNER,\n"
    "    CAST(r.name AS sysname) AS PKTABLE_NAME, CAST(rc.name AS sysname) AS PKCOLUMN_NAME,\n"
    "    CAST(db_name() AS sysname) AS FKTABLE_QUALIFIER, CAST(SCHEMA_NAME(p.schema_id) AS "
    "sysname) AS FKTABLE_OWNER,\n"
    "    CAST(p.name AS sysname) AS FKTABLE_NAME, CAST(pc.name AS sysname) AS FKCOLUMN_NAME,\n"
    "    CAST(fc.constraint_column_id AS smallint) AS KEY_SEQ,\n"
    "    CAST(CASE f.update_referential_action WHEN 1 THEN 0 WHEN 0 THEN 1 "
    "ELSE f.update_referential_action END AS smallint) AS UPDATE_RULE,\n"
    "    CAST(CASE f.delete_referential_action WHEN 1 THEN 0 WHEN 0 THEN 1 "
    "ELSE f.delete_referential_action END AS smallint) AS DELETE_RULE,\n"
    "    CAST(f.name AS sysname) AS FK_NAME, CAST(i.name AS sysname) AS PK_NAME,\n"
    "    CAST(7 AS smallint) AS DEFERRABILITY\n"
    "  FROM sys.foreign_keys f\n"
    "    JOIN sys.foreign_key_columns fc ON fc.constraint_object_id = f.object_id\n"
    "    JOIN sys.tables p ON p.object_id = f.parent_object_id\n"
    "    JOIN sys.tables r ON r.object_id = f.referenced_object_id\n"
    "    JOIN sys.columns pc ON pc.object_id = p.object_id AND pc.column_id = "
    "fc.parent_column_id\n"
    "    JOIN sys.columns rc ON rc.object_id = r.object_id AND rc.column_id = "
    "fc.referenced_column_id\n"
    "    LEFT JOIN sys.indexes i ON i.object_id = r.object_id AND i.index_id = f.key_index_id\n"
    "  WHERE (@pktable_name IS NULL OR r.name = @pktable_name)\n"
    "    AND (@pktable_owner IS NULL OR SCHEMA_NAME(r.schema_id) = @pktable_owner)\n"
    "    AND (@fktable_name IS NULL OR p.name = @fktable_name)\n"
    "    AND (@fktable_owner IS NULL OR SCHEMA_NAME(p.schema_id) = @fktable_owner)\n"
    "    AND (@pktable_qualifier IS NULL OR @pktable_qualifier = db_name())\n"
    "    AND (@fktable_qualifier IS NULL OR @fktable_qualifier = db_name())\n"
    "  ORDER BY 5, 6, 7, 9\n"
    "  RETURN 0\n"
    "END\n";

// The table's statistics row (TYPE 0), then each index's keys: TYPE 1 for
// the clustered index, 3 for the others. @is_unique 'Y' keeps the unique
// ones.
const char* kSpStatistics =
    "CREATE PROCEDURE sp_statistics @table_name sysname, @table_owner sysname = NULL, "
    "@table_qualifier sysname = NULL, @index_name sysname = '%', @is_unique char(1) = 'N', "
    "@accuracy char(1) = 'Q' AS\n"
    "BEGIN\n"
    "  SELECT CAST(db_name() AS sysname) AS TABLE_QUALIFIER, CAST(SCHEMA_NAME(t.schema_id) AS "
    "sysname) AS TABLE_OWNER,\n"
    "    CAST(t.name AS sysname) AS TABLE_NAME, CAST(NULL AS smallint) AS NON_UNIQUE,\n"
    "    CAST(NULL AS sysname) AS INDEX_QUALIFIER, CAST(NULL AS sysname) AS INDEX_NAME,\n"
    "    CAST(0 AS smallint) AS TYPE, CAST(NULL AS smallint) AS SEQ_IN_INDEX,\n"
    "    CAST(NULL AS sysname) AS COLUMN_NAME, CAST(NULL AS char(1)) AS COLLATION,\n"
    "    CAST(NULL AS int) AS CARDINALITY, CAST(NULL AS int) AS PAGES,\n"
    "    CAST(NULL AS varchar(128)) AS FILTER_CONDITION\n"
    "  FROM sys.tables t WHERE t.name = @table_name\n"
    "    AND (@table_owner IS NULL OR SCHEMA_NAME(t.schema_id) = @table_owner)\n"
    "    AND (@table_qualifier IS NULL OR @table_qualifier = db_name())\n"
    "  UNION ALL\n"
    "  SELECT db_name(), SCHEMA_NAME(t.schema_id), t.name, CAST(1 - i.is_unique AS smallint), "
    "t.name, i.name,\n"
    "    CAST(CASE i.type WHEN 1 THEN 1 ELSE 3 END AS smallint), CAST(k.key_ordinal AS "
    "smallint), c.name,\n"
    "    CAST(CASE WHEN k.is_descending_key = 1 THEN 'D' ELSE 'A' END AS char(1)), NULL, NULL, "
    "NULL\n"
    "  FROM sys.tables t JOIN sys.indexes i ON i.object_id = t.object_id AND i.index_id > 0\n"
    "    JOIN sys.index_columns k ON k.object_id = i.object_id AND k.index_id = i.index_id\n"
    "    JOIN sys.columns c ON c.object_id = k.object_id AND c.column_id = k.column_id\n"
    "  WHERE t.name = @table_name AND i.name LIKE @index_name\n"
    "    AND (@is_unique <> 'Y' OR i.is_unique = 1)\n"
    "    AND (@table_owner IS NULL OR SCHEMA_NAME(t.schema_id) = @table_owner)\n"
    "    AND (@table_qualifier IS NULL OR @table_qualifier = db_name())\n"
    "  ORDER BY 4, 7, 6, 8\n"
    "  RETURN 0\n"
    "END\n";

// One row per index, its keys in order with (-) after a descending one.
const char* kSpHelpIndex =
    "CREATE PROCEDURE sp_helpindex @objname nvarchar(776) AS\n"
    "BEGIN\n"
    "  IF OBJECT_ID(@objname) IS NULL\n"
    TESSEL_SQLD_NO_SUCH_OBJECT("@objname")
    "  IF NOT EXISTS (SELECT 1 FROM sys.indexes WHERE object_id = OBJECT_ID(@objname) "
    "AND index_id > 0)\n"
    "  BEGIN\n"
    "    RAISERROR(15472, 10, 1, @objname)\n"
    "    RETURN 0\n"
    "  END\n"
    "  SELECT i.name AS index_name,\n"
    "    CAST(lower(i.type_desc) + CASE WHEN i.is_unique = 1 THEN ', unique' ELSE '' END\n"
    "      + CASE WHEN i.is_primary_key = 1 THEN ', primary key' "
    "WHEN i.is_unique_constraint = 1 THEN ', unique key' ELSE '' END\n"
    "      + ' located on PRIMARY' AS varchar(210)) AS index_description,\n"
    "    CAST((SELECT STRING_AGG(c.name + CASE WHEN k.is_descending_key = 1 THEN '(-)' "
    "ELSE '' END, ', ') WITHIN GROUP (ORDER BY k.key_ordinal)\n"
    "      FROM sys.index_columns k JOIN sys.columns c ON c.object_id = k.object_id "
    "AND c.column_id = k.column_id\n"
    "      WHERE k.object_id = i.object_id AND k.index_id = i.index_id) AS nvarchar(2078)) "
    "AS index_keys\n"
    "  FROM sys.indexes i WHERE i.object_id = OBJECT_ID(@objname) AND i.index_id > 0\n"
    "  ORDER BY i.name\n"
    "  RETURN 0\n"
    "END\n";

// The table's name, then its constraints: keys, foreign keys (each with a
// second row naming what it references), checks and defaults; then the
// foreign keys of other tables that reference it.
const char* kSpHelpConstraint =
    "CREATE PROCEDURE sp_helpconstraint @objname nvarchar(776), @nomsg varchar(5) = 'msg' AS\n"
    "BEGIN\n"
    "  DECLARE @id int\n"
    "  SET @id = OBJECT_ID(@objname)\n"
    "  IF @id IS NULL OR NOT EXISTS (SELECT 1 FROM sys.tables WHERE object_id = @id)\n"
    TESSEL_SQLD_NO_SUCH_OBJECT("@objname")
    "  IF @nomsg = 'msg' SELECT CAST(@objname AS nvarchar(776)) AS [Object Name]\n"
    "  IF NOT EXISTS (SELECT 1 FROM sys.objects WHERE parent_object_id = @id "
    "AND type IN ('PK', 'UQ', 'F', 'C', 'D'))\n"
    "    RAISERROR(15469, 10, 1, @objname)\n"
    "  ELSE\n"
    "  SELECT constraint_type, constraint_name, delete_action, update_action, status_enabled,\n"
    "    status_for_replication, constraint_keys FROM (\n"
    "    SELECT CAST(CASE k.type WHEN 'PK' THEN 'PRIMARY KEY' ELSE 'UNIQUE' END + ' ('\n"
    "        + CASE i.type WHEN 1 THEN 'clustered' ELSE 'non-clustered' END + ')' AS "
    "nvarchar(146)) AS constraint_type,\n"
    "      CAST(k.name AS nvarchar(128)) AS constraint_name, CAST('(n/a)' AS nvarchar(9)) AS "
    "delete_action,\n"
    "      CAST('(n/a)' AS nvarchar(9)) AS update_action, CAST('(n/a)' AS varchar(8)) AS "
    "status_enabled,\n"
    "      CAST('(n/a)' AS varchar(19)) AS status_for_replication,\n"
    "      CAST((SELECT STRING_AGG(c.name + CASE WHEN x.is_descending_key = 1 THEN '(-)' "
    "ELSE '' END, ', ')\n"
    "          WITHIN GROUP (ORDER BY x.key_ordinal) FROM sys.index_columns x JOIN sys.columns c\n"
    "          ON c.object_id = x.object_id AND c.column_id = x.column_id\n"
    "        WHERE x.object_id = i.object_id AND x.index_id = i.index_id) AS nvarchar(2126)) "
    "AS constraint_keys,\n"
    "      k.name AS sort_name, 0 AS sort_row\n"
    "    FROM sys.key_constraints k JOIN sys.indexes i ON i.object_id = k.parent_object_id\n"
    "      AND i.index_id = k.unique_index_id WHERE k.parent_object_id = @id\n"
    "    UNION ALL\n"
    "    SELECT 'FOREIGN KEY', f.name,\n"
    "      CASE f.delete_referential_action WHEN 1 THEN 'Cascade' WHEN 2 THEN 'Set Null' "
    "WHEN 3 THEN 'Set Default' ELSE 'No Action' END,\n"
    "      CASE f.update_referential_action WHEN 1 THEN 'Cascade' WHEN 2 THEN 'Set Null' "
    "WHEN 3 THEN 'Set Default' ELSE 'No Action' END,\n"
    "      CASE f.is_disabled WHEN 1 THEN 'Disabled' ELSE 'Enabled' END,\n"
    "      CASE f.is_not_for_replication WHEN 1 THEN 'Not_For_Replication' "
    "ELSE 'Is_For_Replication' END,\n"
    "      (SELECT STRING_AGG(COL_NAME(x.parent_object_id, x.parent_column_id), ', ')\n"
    "          WITHIN GROUP (ORDER BY x.constraint_column_id) FROM sys.foreign_key_columns x\n"
    "        WHERE x.constraint_object_id = f.object_id), f.name, 0\n"
    "    FROM sys.foreign_keys f WHERE f.parent_object_id = @id\n"
    "    UNION ALL\n"
    "    SELECT ' ', ' ', ' ', ' ', ' ', ' ',\n"
    "      'REFERENCES ' + db_name() + '.' + SCHEMA_NAME(r.schema_id) + '.' + r.name + ' ('\n"
    "        + (SELECT STRING_AGG(COL_NAME(x.referenced_object_id, x.referenced_column_id), "
    "', ')\n"
    "          WITHIN GROUP (ORDER BY x.constraint_column_id) FROM sys.foreign_key_columns x\n"
    "        WHERE x.constraint_object_id = f.object_id) + ')', f.name, 1\n"
    "    FROM sys.foreign_keys f JOIN sys.tables r ON r.object_id = f.referenced_object_id\n"
    "    WHERE f.parent_object_id = @id\n"
    "    UNION ALL\n"
    "    SELECT 'CHECK ' + CASE WHEN k.parent_column_id > 0 THEN 'on column '\n"
    "        + COL_NAME(@id, k.parent_column_id) ELSE 'Table Level ' END, k.name, '(n/a)', "
    "'(n/a)',\n"
    "      CASE k.is_disabled WHEN 1 THEN 'Disabled' ELSE 'Enabled' END,\n"
    "      CASE k.is_not_for_replication WHEN 1 THEN 'Not_For_Replication' "
    "ELSE 'Is_For_Replication' END,\n"
    "      k.definition, k.name, 0\n"
    "    FROM sys.check_constraints k WHERE k.parent_object_id = @id\n"
    "    UNION ALL\n"
    "    SELECT 'DEFAULT on column ' + COL_NAME(@id, d.parent_column_id), d.name, '(n/a)', "
    "'(n/a)',\n"
    "      '(n/a)', '(n/a)', d.definition, d.name, 0\n"
    "    FROM sys.default_constraints d WHERE d.parent_object_id = @id\n"
    "  ) AS x ORDER BY sort_name, sort_row\n"
    "  IF EXISTS (SELECT 1 FROM sys.foreign_keys WHERE referenced_object_id = @id)\n"
    "    SELECT CAST(db_name() + '.' + SCHEMA_NAME(p.schema_id) + '.' + p.name + ': ' + f.name "
    "AS nvarchar(1300))\n"
    "      AS [Table is referenced by foreign key]\n"
    "    FROM sys.foreign_keys f JOIN sys.tables p ON p.object_id = f.parent_object_id\n"
    "    WHERE f.referenced_object_id = @id ORDER BY 1\n"
    "  ELSE\n"
    "    RAISERROR(15470, 10, 1, @objname)\n"
    "  RETURN 0\n"
    "END\n";

}  // namespace

std::optional<std::string> catalogProcedureText(const std::string& name) {
  if (name == "sp_columns") return spColumns(false);
  if (name == "sp_columns_100") return spColumns(true);
  if (name == "sp_statistics") return std::string(kSpStatistics);
  if (name == "sp_pkeys") return std::string(kSpPkeys);
  if (name == "sp_fkeys") return std::string(kSpFkeys);
  if (name == "sp_helpindex") return std::string(kSpHelpIndex);
  if (name == "sp_helpconstraint") return std::string(kSpHelpConstraint);
  return std::nullopt;
}

}  // namespace tessel::sqld::engine
