#pragma once

// Texts that the design-time dialogs and editors show. They belong to the
// designer alone, so they are kept here rather than among the package's
// run-time messages.

namespace tessel::design {

inline constexpr const char* kNotAssigned = "Not assigned to any Tessel";
inline constexpr const char* kNotAssignedComponent = "Not assigned to any Tessel component.";
inline constexpr const char* kDataBaseNameMissing = "DataBaseName property missing";
inline constexpr const char* kNoSQLServer = "No SQLServer connected to query.";

// The catalog statements, as every SQL Server since 6.5 answers them. The
// double quotes are string delimiters: DB-Library connections run with
// QUOTED_IDENTIFIER off.
inline constexpr const char* kTablesSQL =
    "select name from sysobjects where type=\"U\" order by name";
inline constexpr const char* kColumnsSQL =
    "select c.name from syscolumns c join sysobjects o on (o.id=c.id) where o.type=\"U\" and "
    "o.name=";

// Why the SQL builder generates nothing.
inline constexpr const char* kChooseTable = "Select a table first.";
inline constexpr const char* kNoKeyFields =
    "Select at least one key field: upWhereKeyOnly finds the row by its key fields.";
inline constexpr const char* kNoUpdateFields =
    "Select at least one update field: upWhereAll finds the row by all update fields.";
inline constexpr const char* kUnwritableName =
    "The name %s cannot be written into a statement with parameters: it holds a colon or an "
    "unpaired quote character. Write the statements by hand.";

// The update-parameters dialog.
inline constexpr const char* kTableNotListed =
    "The table %s is not among the user tables of this database. Select a table.";
inline constexpr const char* kUpdateParamsHelp =
    "Select the table that the query's rows are written to. Key fields identify a row; update "
    "fields are written by a post.\n\n"
    "upWhereAll finds the row by all update fields, upWhereChanged by the key fields and the "
    "changed fields, upWhereKeyOnly by the key fields alone.";

}  // namespace tessel::design
