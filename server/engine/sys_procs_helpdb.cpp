// sp_helpdb in T-SQL over sys.databases and sys.master_files: one row a
// database, and for one named database its files as well.

#include "sys_views.h"

namespace tessel::sqld::engine {
namespace {

// The size a file row of sys.master_files gives in 8 KB pages, as text.
#define TESSEL_SQLD_KB(pages) "CAST(CAST(" pages " AS bigint) * 8 AS nvarchar(15)) + N' KB'"

const char* kSpHelpDb =
    "CREATE PROCEDURE sp_helpdb @dbname sysname = NULL AS\n"
    "BEGIN\n"
    "  IF @dbname IS NOT NULL AND DB_ID(@dbname) IS NULL\n"
    "  BEGIN\n"
    "    RAISERROR(15010, 16, 1, @dbname)\n"
    "    RETURN 1\n"
    "  END\n"
    "  SELECT CAST(d.name AS nvarchar(128)) AS name,\n"
    "    CAST(STR((SELECT SUM(CAST(f.size AS decimal(17, 2))) FROM sys.master_files f\n"
    "      WHERE f.database_id = d.database_id) / 128, 10, 2) + N' MB' AS nvarchar(13))\n"
    "      AS db_size,\n"
    "    CAST(N'sa' AS nvarchar(128)) AS owner,\n"
    "    CAST(d.database_id AS smallint) AS dbid,\n"
    "    CONVERT(nvarchar(11), d.create_date) AS created,\n"
    "    CAST(N'Status=ONLINE, Updateability=READ_WRITE, UserAccess=MULTI_USER, '\n"
    "      + N'Recovery=SIMPLE, Version=904, Collation=' + d.collation_name\n"
    "      + N', SQLSortOrder=' + CASE d.collation_name\n"
    "        WHEN 'SQL_Latin1_General_CP1_CI_AS' THEN N'52'\n"
    "        WHEN 'SQL_Latin1_General_CP1_CS_AS' THEN N'51'\n"
    "        WHEN 'SQL_Latin1_General_CP1_CI_AI' THEN N'54' ELSE N'0' END\n"
    "      + N', IsAutoCreateStatistics, IsAutoUpdateStatistics' AS nvarchar(600)) AS status,\n"
    "    d.compatibility_level\n"
    "  FROM sys.databases d\n"
    "  WHERE @dbname IS NULL OR d.database_id = DB_ID(@dbname)\n"
    "  ORDER BY d.name\n"
    "  IF @dbname IS NULL RETURN 0\n"
    "  SELECT CAST(f.name AS nchar(128)) AS name, CAST(f.file_id AS smallint) AS fileid,\n"
    "    CAST(f.physical_name AS nchar(260)) AS filename,\n"
    "    CAST(CASE f.type WHEN 0 THEN N'PRIMARY' END AS nvarchar(128)) AS filegroup,\n"
    "    CAST(" TESSEL_SQLD_KB("f.size") " AS nvarchar(18)) AS size,\n"
    "    CAST(CASE WHEN f.max_size = -1 THEN N'Unlimited' ELSE " TESSEL_SQLD_KB(
        "f.max_size") " END AS nvarchar(18)) AS maxsize,\n"
    "    CAST(CASE WHEN f.is_percent_growth = 1 THEN CAST(f.growth AS nvarchar(15)) + N'%'\n"
    "      ELSE " TESSEL_SQLD_KB("f.growth") " END AS nvarchar(18)) AS growth,\n"
    "    CAST(CASE f.type WHEN 0 THEN 'data only' ELSE 'log only' END AS varchar(9)) AS usage\n"
    "  FROM sys.master_files f\n"
    "  WHERE f.database_id = DB_ID(@dbname)\n"
    "  ORDER BY f.file_id\n"
    "  RETURN 0\n"
    "END\n";

#undef TESSEL_SQLD_KB

}  // namespace

std::optional<std::string> helpDbProcedureText(const std::string& name) {
  if (name == "sp_helpdb") return std::string(kSpHelpDb);
  return std::nullopt;
}

}  // namespace tessel::sqld::engine
