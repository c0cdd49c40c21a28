// Writing the update statements of the SQL builder. One clause item per line,
// so that a designer can edit the statements line by line in the memos.

#include "design/update_sql_text.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "design_texts.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

// Words that T-SQL reserves: a column named like one must be bracketed.
constexpr std::array<std::string_view, 186> kReserved{"ADD",
                                                      "ALL",
                                                      "ALTER",
                                                      "AND",
                                                      "ANY",
                                                      "AS",
                                                      "ASC",
                                                      "AUTHORIZATION",
                                                      "BACKUP",
                                                      "BEGIN",
                                                      "BETWEEN",
                                                      "BREAK",
                                                      "BROWSE",
                                                      "BULK",
                                                      "BY",
                                                      "CASCADE",
                                                      "CASE",
                                                      "CHECK",
                                                      "CHECKPOINT",
                                                      "CLOSE",
                                                      "CLUSTERED",
                                                      "COALESCE",
                                                      "COLLATE",
                                                      "COLUMN",
                                                      "COMMIT",
                                                      "COMPUTE",
                                                      "CONSTRAINT",
                                                      "CONTAINS",
                                                      "CONTAINSTABLE",
                                                      "CONTINUE",
                                                      "CONVERT",
                                                      "CREATE",
                                                      "CROSS",
                                                      "CURRENT",
                                                      "CURRENT_DATE",
                                                      "CURRENT_TIME",
                                                      "CURRENT_TIMESTAMP",
                                                      "CURRENT_USER",
                                                      "CURSOR",
                                                      "DATABASE",
                                                      "DBCC",
                                                      "DEALLOCATE",
                                                      "DECLARE",
                                                      "DEFAULT",
                                                      "DELETE",
                                                      "DENY",
                                                      "DESC",
                                                      "DISK",
                                                      "DISTINCT",
                                                      "DISTRIBUTED",
                                                      "DOUBLE",
                                                      "DROP",
                                                      "DUMMY",
                                                      "DUMP",
                                                      "ELSE",
                                                      "END",
                                                      "ERRLVL",
                                                      "ESCAPE",
                                                      "EXCEPT",
                                                      "EXEC",
                                                      "EXECUTE",
                                                      "EXISTS",
                                                      "EXIT",
                                                      "EXTERNAL",
                                                      "FETCH",
                                                      "FILE",
                                                      "FILLFACTOR",
                                                      "FOR",
                                                      "FOREIGN",
                                                      "FREETEXT",
                                                      "FREETEXTTABLE",
                                                      "FROM",
                                                      "FULL",
                                                      "FUNCTION",
                                                      "GOTO",
                                                      "GRANT",
                                                      "GROUP",
                                                      "HAVING",
                                                      "HOLDLOCK",
                                                      "IDENTITY",
                                                      "IDENTITY_INSERT",
                                                      "IDENTITYCOL",
                                                      "IF",
                                                      "IN",
                                                      "INDEX",
                                                      "INNER",
                                                      "INSERT",
                                                      "INTERSECT",
                                                      "INTO",
                                                      "IS",
                                                      "JOIN",
                                                      "KEY",
                                                      "KILL",
                                                      "LEFT",
                                                      "LIKE",
                                                      "LINENO",
                                                      "LOAD",
                                                      "MERGE",
                                                      "NATIONAL",
                                                      "NOCHECK",
                                                      "NONCLUSTERED",
                                                      "NOT",
                                                      "NULL",
                                                      "NULLIF",
                                                      "OF",
                                                      "OFF",
                                                      "OFFSETS",
                                                      "ON",
                                                      "OPEN",
                                                      "OPENDATASOURCE",
                                                      "OPENQUERY",
                                                      "OPENROWSET",
                                                      "OPENXML",
                                                      "OPTION",
                                                      "OR",
                                                      "ORDER",
                                                      "OUTER",
                                                      "OVER",
                                                      "PERCENT",
                                                      "PIVOT",
                                                      "PLAN",
                                                      "PRECISION",
                                                      "PRIMARY",
                                                      "PRINT",
                                                      "PROC",
                                                      "PROCEDURE",
                                                      "PUBLIC",
                                                      "RAISERROR",
                                                      "READ",
                                                      "READTEXT",
                                                      "RECONFIGURE",
                                                      "REFERENCES",
                                                      "REPLICATION",
                                                      "RESTORE",
                                                      "RESTRICT",
                                                      "RETURN",
                                                      "REVERT",
                                                      "REVOKE",
                                                      "RIGHT",
                                                      "ROLLBACK",
                                                      "ROWCOUNT",
                                                      "ROWGUIDCOL",
                                                      "RULE",
                                                      "SAVE",
                                                      "SCHEMA",
                                                      "SECURITYAUDIT",
                                                      "SELECT",
                                                      "SESSION_USER",
                                                      "SET",
                                                      "SETUSER",
                                                      "SHUTDOWN",
                                                      "SOME",
                                                      "STATISTICS",
                                                      "SYSTEM_USER",
                                                      "TABLE",
                                                      "TABLESAMPLE",
                                                      "TEXTSIZE",
                                                      "THEN",
                                                      "TO",
                                                      "TOP",
                                                      "TRAN",
                                                      "TRANSACTION",
                                                      "TRIGGER",
                                                      "TRUNCATE",
                                                      "TRY_CONVERT",
                                                      "TSEQUAL",
                                                      "UNION",
                                                      "UNIQUE",
                                                      "UNPIVOT",
                                                      "UPDATE",
                                                      "UPDATETEXT",
                                                      "USE",
                                                      "USER",
                                                      "VALUES",
                                                      "VARYING",
                                                      "VIEW",
                                                      "WAITFOR",
                                                      "WHEN",
                                                      "WHERE",
                                                      "WHILE",
                                                      "WITH",
                                                      "WITHIN",
                                                      "WRITETEXT",
                                                      "LINENO",
                                                      "SEMANTICKEYPHRASETABLE",
                                                      "SEMANTICSIMILARITYTABLE"};

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsNameChar(char c) {
  return IsLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '@' || c == '#' || c == '$';
}

bool IsReserved(const std::string& name) {
  const std::string upper = UpperCase(name);
  return std::find(kReserved.begin(), kReserved.end(), upper) != kReserved.end();
}

bool IsPlainIdentifier(const std::string& name) {
  if (name.empty() || !(IsLetter(name[0]) || name[0] == '_')) return false;
  return std::all_of(name.begin(), name.end(), IsNameChar) && !IsReserved(name);
}

// The parameter syntax takes either quote character as the start or end of a
// literal, and a colon as the start of a parameter, wherever they stand. A
// name with a colon or an odd number of quotes would hide the parameters
// after it, so such a name cannot be written at all.
bool CanCarry(const std::string& name) {
  const auto quotes =
      std::count_if(name.begin(), name.end(), [](char c) { return c == '\'' || c == '"'; });
  return name.find(':') == std::string::npos && quotes % 2 == 0;
}

std::string Joined(const std::vector<std::string>& lines, bool final_break) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  if (final_break && !lines.empty()) text += '\n';
  return text;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// "where ", then one comparison with the old value per column.
std::vector<std::string> WhereBlock(const std::vector<std::string>& columns) {
  std::vector<std::string> lines{"where "};
  for (const std::string& column : columns) {
    const std::string comparison = SQLName(column) + "=" + ParamRef("OLD_" + column);
    lines.push_back(lines.size() == 1 ? comparison : "and " + comparison);
  }
  return lines;
}

std::vector<std::string> InsertLines(const std::string& table,
                                     const std::vector<std::string>& columns) {
  std::vector<std::string> lines;
  if (columns.empty()) return lines;
  for (const std::string& column : columns) {
    lines.push_back(lines.empty() ? "insert into " + table + " (" + SQLName(column)
                                  : ", " + SQLName(column));
  }
  lines.back() += ")";
  const std::size_t values = lines.size();
  for (const std::string& column : columns) {
    lines.push_back(lines.size() == values ? "Values(" + ParamRef(column)
                                           : ", " + ParamRef(column));
  }
  lines.back() += ")";
  return lines;
}

std::vector<std::string> ModifyLines(const std::string& table,
                                     const std::vector<std::string>& columns) {
  std::vector<std::string> lines;
  for (const std::string& column : columns) {
    const std::string assignment = SQLName(column) + "=" + ParamRef(column);
    lines.push_back(lines.empty() ? "update " + table + " set " + assignment : ", " + assignment);
  }
  return lines;
}

}  // namespace

std::string SQLName(const std::string& Name) {
  if (IsPlainIdentifier(Name)) return Name;
  std::string bracketed = "[";
  for (char c : Name) {
    bracketed += c;
    if (c == ']') bracketed += ']';
  }
  return bracketed + "]";
}

std::string ParamRef(const std::string& Name) {
  const bool plain = !Name.empty() && std::all_of(Name.begin(), Name.end(), IsNameChar);
  return plain ? ":" + Name : ":\"" + Name + "\"";
}

TlqUpdateSQLText BuildUpdateSQL(const TlqUpdateSQLChoice& Choice) {
  TlqUpdateSQLText text;
  if (Choice.Table.empty()) return text.Refusal = design::kChooseTable, text;
  const std::vector<std::string>& compared =
      Choice.WhereKeyOnly ? Choice.KeyFields : Choice.UpdateFields;
  if (compared.empty()) {
    text.Refusal = Choice.WhereKeyOnly ? design::kNoKeyFields : design::kNoUpdateFields;
    return text;
  }
  std::vector<std::string> names{Choice.Table};
  names.insert(names.end(), Choice.UpdateFields.begin(), Choice.UpdateFields.end());
  names.insert(names.end(), Choice.KeyFields.begin(), Choice.KeyFields.end());
  for (const std::string& name : names) {
    if (!CanCarry(name)) return text.Refusal = Format(design::kUnwritableName, {name}), text;
  }

  const std::string table = SQLName(Choice.Table);
  // Key columns are inserted even when they are not update columns.
  std::vector<std::string> inserted = Choice.UpdateFields;
  for (const std::string& key : Choice.KeyFields) {
    if (!Contains(Choice.UpdateFields, key)) inserted.push_back(key);
  }
  const std::vector<std::string> where = WhereBlock(compared);

  text.InsertSQL = Joined(InsertLines(table, inserted), false);
  // Without update columns there is nothing to set: no UPDATE statement.
  std::vector<std::string> modify = ModifyLines(table, Choice.UpdateFields);
  if (!modify.empty()) modify.insert(modify.end(), where.begin(), where.end());
  text.ModifySQL = Joined(modify, true);
  std::vector<std::string> erase{"delete from " + table};
  erase.insert(erase.end(), where.begin(), where.end());
  text.DeleteSQL = Joined(erase, true);
  return text;
}

}  // namespace tessel
