#include "errors.h"

#include <algorithm>
#include <array>

namespace tessel::sqld::engine {
namespace {

constexpr auto S = ErrorScope::Statement;
constexpr auto B = ErrorScope::Batch;
constexpr auto P = ErrorScope::Scope;
constexpr auto R = ErrorScope::Rollback;

// Sorted by number.
constexpr std::array kErrors = {
    ErrorDef{102, 15, B, "Incorrect syntax near '%s'."},
    ErrorDef{104, 15, B,
             "ORDER BY items must appear in the select list if the statement contains a UNION, "
             "INTERSECT or EXCEPT operator."},
    ErrorDef{105, 15, B, "Unclosed quotation mark after the character string '%s'."},
    ErrorDef{108, 15, B,
             "The ORDER BY position number %s is out of range of the number of items in the select "
             "list."},
    ErrorDef{110, 15, B,
             "There are fewer columns in the INSERT statement than values specified in the "
             "VALUES clause. The number of values in the VALUES clause must match the number "
             "of columns specified in the INSERT statement."},
    ErrorDef{109, 15, B,
             "There are more columns in the INSERT statement than values specified in the "
             "VALUES clause. The number of values in the VALUES clause must match the number "
             "of columns specified in the INSERT statement."},
    ErrorDef{119, 15, S,
             "Must pass parameter number 2 and subsequent parameters as '@name = value'. After the "
             "form '@name = value' has been used, all subsequent parameters must be passed in the "
             "form '@name = value'."},
    ErrorDef{134, 15, B,
             "The variable name '%s' has already been declared. Variable names must be unique "
             "within a query batch or stored procedure."},
    ErrorDef{145, 15, B,
             "ORDER BY items must appear in the select list if SELECT DISTINCT is specified."},
    ErrorDef{1007, 15, B,
             "The number '%s' is out of the range for numeric representation (maximum "
             "precision 38)."},
    ErrorDef{137, 15, B, "Must declare the scalar variable \"%s\"."},
    ErrorDef{155, 15, B, "'%s' is not a recognized %s option."},
    ErrorDef{156, 15, B, "Incorrect syntax near the keyword '%s'."},
    ErrorDef{170, 15, B, "Line %s: Incorrect syntax near '%s'."},
    ErrorDef{174, 15, B, "The %s function requires %s argument(s)."},
    ErrorDef{178, 15, B, "A RETURN statement with a return value cannot be used in this context."},
    ErrorDef{191, 15, B,
             "Some part of your SQL statement is nested too deeply. Rewrite the query or break it "
             "up into smaller queries."},
    ErrorDef{195, 15, B, "'%s' is not a recognized built-in function name."},
    ErrorDef{189, 15, B, "The %s function requires %s to %s arguments."},
    ErrorDef{201, 16, S,
             "Procedure or function '%s' expects parameter '%s', which was not supplied."},
    ErrorDef{205, 16, B,
             "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an equal "
             "number of expressions in their target lists."},
    ErrorDef{206, 16, B, "Operand type clash: %s is incompatible with %s"},
    ErrorDef{207, 16, P, "Invalid column name '%s'."},
    ErrorDef{208, 16, P, "Invalid object name '%s'."},
    ErrorDef{4121, 16, P,
             "Cannot find either column \"%s\" or the user-defined function or aggregate \"%s\", "
             "or the name is ambiguous."},
    ErrorDef{209, 16, P, "Ambiguous column name '%s'."},
    ErrorDef{213, 16, S,
             "Column name or number of supplied values does not match table definition."},
    ErrorDef{
        217, 16, B,
        "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit %s)."},
    ErrorDef{218, 16, B,
             "Could not find the type '%s'. Either it does not exist or you do not have "
             "permission."},
    ErrorDef{219, 16, B,
             "The type '%s' already exists, or you do not have permission to create it."},
    ErrorDef{220, 16, S, "Arithmetic overflow error for data type %s, value = %s."},
    ErrorDef{229, 14, S,
             "The %s permission was denied on the object '%s', database '%s', schema '%s'."},
    ErrorDef{262, 14, S, "%s permission denied in database '%s'."},
    ErrorDef{235, 16, B,
             "Cannot convert a char value to money. The char value has incorrect syntax."},
    ErrorDef{226, 16, S, "%s statement not allowed within multi-statement transaction."},
    ErrorDef{241, 16, B,
             "Conversion failed when converting date and/or time from character string."},
    ErrorDef{242, 16, B,
             "The conversion of a varchar data type to a datetime data type resulted in an "
             "out-of-range value."},
    ErrorDef{245, 16, B, "Conversion failed when converting the %s value '%s' to data type %s."},
    ErrorDef{248, 16, B, "The conversion of the varchar value overflowed an int column."},
    ErrorDef{257, 16, S,
             "Implicit conversion from data type %s to %s is not allowed. Use the CONVERT "
             "function to run this query."},
    ErrorDef{263, 16, B, "Must specify table to select from."},
    ErrorDef{266, 16, S,
             "Transaction count after EXECUTE indicates a mismatching number of BEGIN and "
             "COMMIT statements. Previous count = %s, current count = %s."},
    ErrorDef{334, 16, S,
             "The target table '%s' of the DML statement cannot have any enabled triggers if the "
             "statement contains an OUTPUT clause without INTO clause."},
    ErrorDef{346, 15, B,
             "The parameter \"%s\" can not be declared READONLY since it is not a table-valued "
             "parameter."},
    ErrorDef{352, 15, B,
             "The table-valued parameter \"%s\" must be declared with the READONLY option."},
    ErrorDef{305, 16, B,
             "The XML data type cannot be compared or sorted, except when using the IS NULL "
             "operator."},
    ErrorDef{421, 16, B,
             "The %s data type cannot be selected as DISTINCT because it is not comparable."},
    ErrorDef{402, 16, S, "The data types %s and %s are incompatible in the %s operator."},
    ErrorDef{5335, 16, B,
             "The data type %s cannot be used as an operand to the UNION, INTERSECT or EXCEPT "
             "operators because it is not comparable."},
    ErrorDef{447, 16, S, "Expression type %s is invalid for COLLATE clause."},
    ErrorDef{448, 16, S, "Invalid collation '%s'."},
    ErrorDef{468, 16, S,
             "Cannot resolve the collation conflict between \"%s\" and \"%s\" in the %s "
             "operation."},
    ErrorDef{515, 16, S,
             "Cannot insert the value NULL into column '%s', table '%s'; column does not allow "
             "nulls. %s fails."},
    ErrorDef{512, 16, S,
             "Subquery returned more than 1 value. This is not permitted when the subquery "
             "follows =, !=, <, <= , >, >= or when the subquery is used as an expression."},
    ErrorDef{517, 16, S, "Adding a value to a '%s' column caused an overflow."},
    ErrorDef{535, 16, S,
             "The datediff function resulted in an overflow. The number of dateparts separating "
             "two date/time instances is too large. Try to use datediff with a less precise "
             "datepart."},
    ErrorDef{271, 16, S,
             "The column \"%s\" cannot be modified because it is either a computed column or is "
             "the result of a UNION operator."},
    ErrorDef{272, 16, S, "Cannot update a timestamp column."},
    ErrorDef{273, 16, S,
             "Cannot insert an explicit value into a timestamp column. Use INSERT with a column "
             "list to exclude the timestamp column, or insert a DEFAULT into the timestamp "
             "column."},
    ErrorDef{310, 15, B,
             "The value %s specified for the MAXRECURSION option exceeds the allowed maximum of "
             "32767."},
    ErrorDef{530, 16, S,
             "The statement terminated. The maximum recursion %s has been exhausted before "
             "statement completion."},
    ErrorDef{529, 16, B, "Explicit conversion from data type %s to %s is not allowed."},
    ErrorDef{544, 16, S,
             "Cannot insert explicit value for identity column in table '%s' when "
             "IDENTITY_INSERT is set to OFF."},
    ErrorDef{547, 16, S,
             "The %s statement conflicted with the %s constraint \"%s\". The conflict occurred "
             "in database \"%s\", table \"%s\"."},
    ErrorDef{628, 16, S, "Cannot issue SAVE TRANSACTION when there is no active transaction."},
    ErrorDef{911, 16, S,
             "Database '%s' does not exist. Make sure that the name is entered correctly."},
    ErrorDef{916, 14, S,
             "The server principal \"%s\" is not able to access the database \"%s\" under the "
             "current security context."},
    ErrorDef{945, 14, S,
             "Database '%s' cannot be opened due to inaccessible files or insufficient memory or "
             "disk space. See the SQL Server errorlog for details."},
    ErrorDef{1005, 15, B, "Line 1: Invalid or missing value for SET option: %s."},
    ErrorDef{1014, 15, S, "A TOP or FETCH clause contains an invalid value."},
    ErrorDef{1031, 15, S, "Percent values must be between 0 and 100."},
    ErrorDef{1060, 15, B,
             "The number of rows provided for a TOP or FETCH clauses row count parameter must be "
             "an integer."},
    ErrorDef{1062, 15, B,
             "The TOP N WITH TIES clause is not allowed without a corresponding ORDER BY clause."},
    ErrorDef{1038, 15, B,
             "An object or column name is missing or empty. For SELECT INTO statements, verify "
             "each column has a name."},
    ErrorDef{1087, 15, P, "Must declare the table variable \"%s\"."},
    ErrorDef{1205, 13, R,
             "Transaction (Process ID %s) was deadlocked on lock resources with another process "
             "and has been chosen as the deadlock victim. Rerun the transaction."},
    ErrorDef{1222, 16, S, "Lock request time out period exceeded."},
    ErrorDef{1801, 16, S, "Database '%s' already exists. Choose a different database name."},
    ErrorDef{1902, 16, S,
             "Cannot create more than one clustered index on table '%s'. Drop the existing "
             "clustered index '%s' before creating another."},
    ErrorDef{1913, 16, S,
             "The operation failed because an index or statistics with name '%s' already "
             "exists on table '%s'."},
    ErrorDef{2601, 14, S, "Cannot insert duplicate key row in object '%s' with unique index '%s'."},
    ErrorDef{2627, 14, S,
             "Violation of %s constraint '%s'. Cannot insert duplicate key in object '%s'."},
    ErrorDef{2715, 16, B, "Column, parameter, or variable #%s: Cannot find data type %s."},
    ErrorDef{2732, 16, S,
             "Error number %s is invalid. The number must be from 13000 through 2147483647 and it "
             "cannot be 50000."},
    ErrorDef{2103, 16, S,
             "Cannot %s trigger '%s' because its schema is different from the schema of the "
             "target table or view."},
    ErrorDef{2111, 16, S,
             "Cannot %s trigger '%s' on %s '%s' because an INSTEAD OF %s trigger already exists "
             "on this object."},
    ErrorDef{2714, 16, R, "There is already an object named '%s' in the database."},
    ErrorDef{2760, 16, S,
             "The specified schema name \"%s\" either does not exist or you do not have "
             "permission to use it."},
    ErrorDef{2812, 16, S, "Could not find stored procedure '%s'."},
    ErrorDef{3729, 16, S, "Cannot drop schema '%s' because it is being referenced by object '%s'."},
    ErrorDef{3701, 11, S,
             "Cannot %s the %s '%s', because it does not exist or you do not have "
             "permission."},
    ErrorDef{3621, 0, S, "The statement has been terminated."},
    ErrorDef{3609, 16, B, "The transaction ended in the trigger. The batch has been aborted."},
    ErrorDef{3930, 16, S,
             "The current transaction cannot be committed and cannot support operations that "
             "write to the log file. Roll back the transaction."},
    ErrorDef{3998, 16, S,
             "Uncommittable transaction is detected at the end of the batch. The transaction is "
             "rolled back."},
    ErrorDef{3902, 16, S, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    ErrorDef{3903, 16, S,
             "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    ErrorDef{4104, 16, P, "The multi-part identifier \"%s\" could not be bound."},
    ErrorDef{4108, 15, B, "Windowed functions can only appear in the SELECT or ORDER BY clauses."},
    ErrorDef{4109, 15, B,
             "Windowed functions cannot be used in the context of another windowed function or "
             "aggregate."},
    ErrorDef{4112, 15, B, "The function '%s' must have an OVER clause with ORDER BY."},
    ErrorDef{4113, 15, B,
             "The function '%s' is not a valid windowing function, and cannot be used with the "
             "OVER clause."},
    ErrorDef{4194, 16, B,
             "RANGE is only supported with UNBOUNDED and CURRENT ROW window frame delimiters."},
    ErrorDef{5308, 16, B,
             "Windowed functions, aggregates and NEXT VALUE FOR functions do not support integer "
             "indices as ORDER BY clause expressions."},
    ErrorDef{5309, 16, B,
             "Windowed functions, aggregates and NEXT VALUE FOR functions do not support constants "
             "as ORDER BY clause expressions."},
    ErrorDef{4403, 16, S,
             "Cannot update the view or function '%s' because it contains aggregates, or a "
             "DISTINCT or GROUP BY clause, or PIVOT or UNPIVOT operator."},
    ErrorDef{4405, 16, S,
             "View or function '%s' is not updatable because the modification affects multiple "
             "base tables."},
    ErrorDef{4406, 16, S,
             "Update or insert of view or function '%s' failed because it contains a derived or "
             "constant field."},
    ErrorDef{4060, 11, S, "Cannot open database \"%s\" requested by the login. The login failed."},
    ErrorDef{5701, 0, S, "Changed database context to '%s'."},
    ErrorDef{5703, 0, S, "Changed language setting to %s."},
    ErrorDef{6102, 14, S, "User does not have permission to use the KILL statement."},
    ErrorDef{6104, 16, S, "Cannot use KILL to kill your own process."},
    ErrorDef{6106, 16, S, "Process ID %s is not an active process ID."},
    ErrorDef{6401, 16, S,
             "Cannot roll back %s. No transaction or savepoint of that name was found."},
    ErrorDef{7123, 16, S, "Invalid text, ntext, or image pointer value."},
    ErrorDef{7133, 16, S,
             "NULL textptr (text, ntext, or image pointer) passed to READTEXT function."},
    ErrorDef{7124, 16, S,
             "The offset and length specified in the READTEXT statement is greater than the "
             "actual data length of %s."},
    ErrorDef{8106, 16, S,
             "Table '%s' does not have the identity property. Cannot perform SET operation."},
    ErrorDef{8114, 16, B, "Error converting data type %s to %s."},
    ErrorDef{8115, 16, B, "Arithmetic overflow error converting %s to data type %s."},
    ErrorDef{8117, 16, S, "Operand data type %s is invalid for %s operator."},
    ErrorDef{8155, 16, P, "No column name was specified for column %s of '%s'."},
    ErrorDef{8197, 16, S, "The object '%s' does not exist or is invalid for this operation."},
    ErrorDef{8179, 16, S, "Could not find prepared statement with handle %s."},
    ErrorDef{8102, 16, S, "Cannot update identity column '%s'."},
    ErrorDef{8116, 16, S, "Argument data type %s is invalid for argument 1 of %s function."},
    ErrorDef{8134, 16, S, "Divide by zero error encountered."},
    ErrorDef{8133, 16, S,
             "At least one of the result expressions in a CASE expression must be an "
             "expression other than the NULL constant."},
    ErrorDef{9828, 16, S,
             "The second and third arguments of the TRANSLATE built-in function must contain an "
             "equal number of characters."},
    ErrorDef{9829, 16, S,
             "STRING_AGG aggregation result exceeded the limit of 8000 bytes. Use LOB types to "
             "avoid result truncation."},
    ErrorDef{214, 16, S, "Procedure expects parameter '%s' of type '%s'."},
    ErrorDef{313, 16, B,
             "An insufficient number of arguments were supplied for the procedure or function %s."},
    ErrorDef{8144, 16, B, "Procedure or function %s has too many arguments specified."},
    ErrorDef{6800, 16, S,
             "FOR XML AUTO requires at least one table for generating XML tags. Use FOR XML RAW "
             "or add a FROM clause with a table name."},
    ErrorDef{6809, 16, S,
             "Unnamed tables cannot be used as XML identifiers as well as unnamed columns cannot "
             "be used for attribute names. Name unnamed columns/tables using AS in the SELECT "
             "statement."},
    ErrorDef{6810, 16, S,
             "Column name '%s' is repeated. The same attribute cannot be generated more than once "
             "on the same XML tag."},
    ErrorDef{6821, 16, S,
             "GROUP BY and aggregate functions are currently not supported with FOR XML AUTO."},
    ErrorDef{6829, 16, S,
             "FOR XML EXPLICIT and RAW modes currently do not support addressing binary data as "
             "URLs in column '%s'. Remove the column, or use the BINARY BASE64 mode, or create "
             "the URL directly using the 'dbobject/TABLE[@PK1=\"V1\"]/@COLUMN' syntax."},
    ErrorDef{6830, 16, S,
             "FOR XML AUTO could not find the table owning the following column '%s' to create a "
             "URL address for it. Remove the column, or use the BINARY BASE64 mode, or create the "
             "URL directly using the 'dbobject/TABLE[@PK1=\"V1\"]/@COLUMN' syntax."},
    ErrorDef{6831, 16, S,
             "FOR XML AUTO requires primary keys to create references for '%s'. Select primary "
             "keys, or use BINARY BASE64 to obtain binary data in encoded form if no primary keys "
             "exist."},
    ErrorDef{8672, 16, S,
             "The MERGE statement attempted to UPDATE or DELETE the same row more than once. This "
             "happens when a target row matches more than one source row. A MERGE statement "
             "cannot UPDATE/DELETE the same row of the target table multiple times. Refine the ON "
             "clause to ensure a target row matches at most one source row, or use the GROUP BY "
             "clause to group the source rows."},
    // The xml type's methods; XQuery messages start with "XQuery [method()]: ".
    ErrorDef{258, 15, S, "Cannot call methods on %s."},
    ErrorDef{4148, 16, S, "XML methods are not allowed in a GROUP BY clause."},
    ErrorDef{1046, 15, B,
             "Subqueries are not allowed in this context. Only scalar expressions are allowed."},
    ErrorDef{493, 16, S,
             "The column '%s' that was returned from the nodes() method cannot be used directly. "
             "It can only be used with one of the four XML data type methods, exist(), nodes(), "
             "query(), and value(), or in IS NULL and IS NOT NULL checks."},
    // A syntax error in a query rolls back the open transaction, whatever
    // XACT_ABORT says.
    ErrorDef{2209, 16, R, "%sSyntax error near '%s'"},
    ErrorDef{2226, 16, S, "%sThe target of '%s' must be a single node, found '%s'"},
    ErrorDef{2356, 16, S, "%sThe target of '%s' must be %s, found '%s'"},
    ErrorDef{2227, 16, S,
             "%sThe variable '%s' was not found in the scope in which it was referenced."},
    ErrorDef{2229, 16, S, "%sThe name \"%s\" does not denote a namespace."},
    ErrorDef{2267, 16, S, "%sExpected end tag '%s'"},
    ErrorDef{2271, 16, S, "%sDuplicate attribute '%s'"},
    ErrorDef{2389, 16, S,
             "%s'%s' requires a singleton (or empty sequence), found operand of type '%s'"},
    ErrorDef{2396, 16, S, "%sAttribute may not appear outside of an element"},
    ErrorDef{5302, 16, S, "Mutator 'modify()' on '%s' cannot be called on a null value."},
    ErrorDef{6335, 16, S,
             "XML datatype instance has too many levels of nested nodes. Maximum allowed depth is "
             "128 levels."},
    ErrorDef{8172, 16, S,
             "The argument %s of the XML data type method \"%s\" must be a string literal."},
    ErrorDef{9335, 16, S, "%sThe XQuery syntax '%s' is not supported."},
    ErrorDef{9500, 16, S, "The data type '%s' used in the VALUE method is invalid."},
    ErrorDef{9400, 16, S, "XML parsing: line %s, character %s, unexpected end of input"},
    ErrorDef{9410, 16, S, "XML parsing: line %s, character %s, whitespace expected"},
    ErrorDef{9411, 16, S, "XML parsing: line %s, character %s, semicolon expected"},
    ErrorDef{9412, 16, S, "XML parsing: line %s, character %s, '>' expected"},
    ErrorDef{9413, 16, S, "XML parsing: line %s, character %s, A string literal was expected"},
    ErrorDef{9414, 16, S, "XML parsing: line %s, character %s, equal expected"},
    ErrorDef{9415, 16, S,
             "XML parsing: line %s, character %s, well formed check: no '<' in attribute value"},
    ErrorDef{9416, 16, S, "XML parsing: line %s, character %s, hexadecimal digit expected"},
    ErrorDef{9417, 16, S, "XML parsing: line %s, character %s, decimal digit expected"},
    ErrorDef{9420, 16, S, "XML parsing: line %s, character %s, illegal xml character"},
    ErrorDef{9421, 16, S, "XML parsing: line %s, character %s, illegal name character"},
    ErrorDef{9436, 16, S, "XML parsing: line %s, character %s, end tag does not match start tag"},
    ErrorDef{9437, 16, S, "XML parsing: line %s, character %s, duplicate attribute"},
    ErrorDef{9438, 16, S,
             "XML parsing: line %s, character %s, text/xmldecl not at the beginning of input"},
    ErrorDef{9448, 16, S,
             "XML parsing: line %s, character %s, well formed check: undeclared entity"},
    ErrorDef{9455, 16, S, "XML parsing: line %s, character %s, illegal qualified name character"},
    ErrorDef{9818, 16, S,
             "The culture parameter '%s' provided in the function call is not supported."},
    ErrorDef{10713, 15, B, "A MERGE statement must be terminated by a semi-colon (;)."},
    ErrorDef{13609, 16, S,
             "JSON text is not properly formatted. Unexpected character '%s' is found at position "
             "%s."},
    ErrorDef{13618, 16, B,
             "AS JSON option can be specified only for column of nvarchar(max) type in WITH "
             "clause."},
    ErrorDef{289, 16, S,
             "Cannot construct data type %s, some of the arguments have values which are not "
             "valid."},
    ErrorDef{13608, 16, S, "Property cannot be found on the specified JSON path."},
    ErrorDef{13623, 16, S, "Scalar value cannot be found in the specified JSON path."},
    ErrorDef{13624, 16, S, "Object or array cannot be found in the specified JSON path."},
    ErrorDef{8144, 16, S, "Procedure or function %s has too many arguments specified."},
    ErrorDef{8145, 16, S, "%s is not a parameter for procedure %s."},
    ErrorDef{8180, 16, S, "Statement(s) could not be prepared."},
    ErrorDef{8152, 16, S, "String or binary data would be truncated."},
    ErrorDef{8162, 16, S,
             "The formal parameter \"%s\" was not declared as an OUTPUT parameter, but the "
             "actual parameter passed in requested output."},
    ErrorDef{8169, 16, B,
             "Conversion failed when converting from a character string to uniqueidentifier."},
    ErrorDef{103, 15, B,
             "The identifier that starts with '%s' is too long. Maximum length is 128."},
    ErrorDef{193, 15, B,
             "The object or column name starting with '%s' is too long. The maximum length is %s "
             "characters."},
    ErrorDef{159, 15, B,
             "Must specify the table name and index name for the DROP INDEX statement."},
    ErrorDef{1763, 16, S, "Cross-database foreign key references are not supported."},
    ErrorDef{1767, 16, S, "Foreign key references invalid table '%s'."},
    ErrorDef{1911, 16, S, "Column name '%s' does not exist in the target table or view."},
    ErrorDef{1750, 16, S, "Could not create constraint or index. See previous errors."},
    ErrorDef{1939, 16, S, "Cannot create index on view because the view is not schema bound."},
    ErrorDef{2705, 16, S,
             "Column names in each table must be unique. Column name '%s' in table '%s' is "
             "specified more than once."},
    ErrorDef{2738, 16, S,
             "A table can only have one timestamp column. Because table '%s' already has one, the "
             "column '%s' cannot be added."},
    ErrorDef{1759, 16, S,
             "Computed column '%s' in table '%s' is not allowed to be used in another "
             "computed-column definition."},
    ErrorDef{4928, 16, S, "Cannot alter column '%s' because it is '%s'."},
    ErrorDef{4936, 16, S,
             "Computed column '%s' in table '%s' cannot be persisted because the column is "
             "non-deterministic."},
    ErrorDef{2744, 16, S,
             "Multiple identity columns specified for table. Only one identity column per table is "
             "allowed."},
    ErrorDef{2749, 16, S,
             "Identity column '%s' must be of data type int, bigint, smallint, tinyint, or decimal "
             "or numeric with a scale of 0, and constrained to be nonnullable."},
    ErrorDef{3702, 16, S, "Cannot drop database \"%s\" because it is currently in use."},
    ErrorDef{3708, 16, S, "Cannot %s the database '%s' because it is a system database."},
    ErrorDef{4819, 16, S,
             "Cannot bulk load. The bulk data stream was incorrectly specified as sorted or the "
             "data violates a uniqueness constraint imposed by the target table. Sort order "
             "incorrect for the following two rows: primary key of first row: %s, primary key of "
             "second row: %s."},
    ErrorDef{3723, 16, S,
             "An explicit DROP INDEX is not allowed on index '%s'. It is being used for PRIMARY "
             "KEY or UNIQUE KEY constraint enforcement."},
    ErrorDef{
        3726, 16, S,
        "Could not drop object '%s' because it is referenced by a FOREIGN KEY constraint '%s'."},
    ErrorDef{4511, 16, S,
             "Create View or Function failed because no column name was specified for column 1 of "
             "'%s'."},
    ErrorDef{4708, 16, S, "Could not truncate object '%s' because it is not a table."},
    ErrorDef{4920, 16, S, "ALTER TABLE failed because trigger '%s' does not belong to table '%s'."},
    ErrorDef{8158, 16, P, "'%s' has more columns than were specified in the column list."},
    ErrorDef{8159, 16, S, "'%s' has fewer columns than were specified in the column list."},
    ErrorDef{9810, 16, S, "The datepart %s is not supported by date function %s for data type %s."},
    // ALTER TABLE.
    ErrorDef{1505, 16, S,
             "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for "
             "the object name '%s' and the index name '%s'. The duplicate key value is (%s)."},
    ErrorDef{1750, 16, S, "Could not create constraint or index. See previous errors."},
    ErrorDef{1752, 16, S,
             "Column '%s' in table '%s' is invalid for creating a default constraint."},
    ErrorDef{1779, 16, S, "Table '%s' already has a primary key defined on it."},
    ErrorDef{1781, 16, S, "Column already has a DEFAULT bound to it."},
    ErrorDef{3725, 16, S,
             "The constraint '%s' is being referenced by table '%s', foreign key constraint '%s'."},
    ErrorDef{3727, 16, S, "Could not drop constraint. See previous errors."},
    ErrorDef{3728, 16, S, "'%s' is not a constraint."},
    ErrorDef{
        4901, 16, S,
        "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT "
        "definition specified, or the column being added is an identity or timestamp column, "
        "or alternatively if none of the previous conditions are satisfied the table must be "
        "empty to allow addition of this column. Column '%s' cannot be added to non-empty "
        "table '%s' because it does not satisfy these conditions."},
    ErrorDef{4922, 16, S,
             "ALTER TABLE %s %s failed because one or more objects access this column."},
    ErrorDef{4924, 16, S, "%s failed because column '%s' does not exist in table '%s'."},
    ErrorDef{5074, 16, S, "The %s '%s' is dependent on column '%s'."},
    ErrorDef{5030, 16, S, "The database could not be exclusively locked to perform the operation."},
    ErrorDef{5072, 16, S,
             "ALTER DATABASE failed. The default collation of database '%s' cannot be set to "
             "%s."},
    ErrorDef{5075, 16, S,
             "The %s '%s' is dependent on database collation. The database collation cannot be "
             "changed if a schema-bound object depends on it. Remove the dependencies on the "
             "database collation and then retry the operation."},
    ErrorDef{8112, 16, S,
             "Cannot add more than one clustered index for constraints on table '%s'."},
    ErrorDef{8111, 16, S, "Cannot define PRIMARY KEY constraint on nullable column in table '%s'."},
    ErrorDef{10700, 16, B, "The table-valued parameter \"%s\" is READONLY and cannot be modified."},
    ErrorDef{10704, 15, B,
             "To rethrow an error, a THROW statement must be used inside a CATCH block. Insert "
             "the THROW statement inside a CATCH block, or add error parameters to the THROW "
             "statement."},
    ErrorDef{10709, 15, B,
             "The number of columns for each row in a table value constructor must be the same."},
    ErrorDef{10741, 15, B, "A TOP can not be used in the same query or sub-query as a OFFSET."},
    ErrorDef{10742, 15, S, "The offset specified in a OFFSET clause may not be negative."},
    ErrorDef{10743, 15, B, "The number of rows provided for a OFFSET clause must be an integer."},
    ErrorDef{10744, 15, S,
             "The number of rows provided for a FETCH clause must be greater then zero."},
    ErrorDef{8730, 16, S,
             "Offset parameter for Lag and Lead functions cannot be a negative value."},
    ErrorDef{10760, 16, B,
             "Scale argument is not valid. Valid expressions for data type %s scale argument are "
             "integer constants and integer constant expressions."},
    ErrorDef{10752, 15, B, "The function '%s' may not have a window frame."},
    ErrorDef{10753, 15, B, "The function '%s' must have an OVER clause."},
    ErrorDef{10756, 15, B, "Window frame with ROWS or RANGE must have an ORDER BY clause."},
    ErrorDef{10759, 15, B, "Use of DISTINCT is not allowed with the OVER clause."},
    ErrorDef{11700, 16, S, "The increment for sequence object '%s' cannot be zero."},
    ErrorDef{11702, 16, S,
             "The sequence object '%s' must be of data type int, bigint, smallint, tinyint, or "
             "decimal or numeric with a scale of 0, or any user-defined data type that is based "
             "on one of the above integer data types."},
    ErrorDef{11703, 16, S,
             "The start value for sequence object '%s' must be between the minimum and maximum "
             "value of the sequence object."},
    ErrorDef{11704, 16, S,
             "The current value '%s' for sequence object '%s' must be between the minimum and "
             "maximum value of the sequence object."},
    ErrorDef{11705, 16, S,
             "The minimum value for sequence object '%s' must be less than its maximum value."},
    ErrorDef{11708, 16, S,
             "An invalid value was specified for argument '%s' for the given data type."},
    ErrorDef{11728, 16, S,
             "The sequence object '%s' has reached its minimum or maximum value. Restart the "
             "sequence object to allow new values to be generated."},
    ErrorDef{11732, 16, S,
             "The requested range for sequence object '%s' exceeds the maximum or minimum limit. "
             "Retry with a smaller range."},
    ErrorDef{11733, 16, S, "Parameter '@range_size' must be a positive number."},
    ErrorDef{15151, 16, S,
             "Cannot find the %s '%s', because it does not exist or you do not have permission."},
    ErrorDef{15469, 10, S,
             "No constraints are defined on object '%s', or you do not have permissions."},
    ErrorDef{15470, 10, S,
             "No foreign keys reference table '%s', or you do not have permissions on "
             "referencing tables."},
    ErrorDef{15472, 10, S,
             "The object '%s' does not have any indexes, or you do not have permissions."},
    ErrorDef{15252, 16, S, "The primary key or foreign key table name must be given."},
    ErrorDef{15197, 16, S, "There is no text for object '%s'."},
    ErrorDef{15010, 16, S,
             "The database '%s' does not exist. Supply a valid database name. To see available "
             "databases, use sys.databases."},
    ErrorDef{15009, 16, S,
             "The object '%s' does not exist in database '%s' or is invalid for this operation."},
    ErrorDef{15248, 11, S,
             "Either the parameter @objname is ambiguous or the claimed @objtype (%s) is wrong."},
    ErrorDef{15249, 11, S, "Error: Explicit @objtype '%s' is unrecognized."},
    ErrorDef{15335, 11, S,
             "Error: The new name '%s' is already in use as a %s name and would cause a duplicate "
             "that is not permitted."},
    ErrorDef{15477, 10, S,
             "Caution: Changing any part of an object name could break scripts and stored "
             "procedures."},
    ErrorDef{15530, 16, S, "The object with name \"%s\" already exists."},
    ErrorDef{18054, 16, S,
             "Error %s, severity %s, state %s was raised, but no message with that error number "
             "was found in sys.messages. If error is larger than 50000, make sure the user-defined "
             "message is added using sp_addmessage."},
    ErrorDef{35100, 16, B,
             "Error number %s in the THROW statement is outside the valid range. Specify an error "
             "number in the valid range of 50000 to 2147483647."},
    ErrorDef{50000, 16, S, "%s"},
};

constexpr ErrorDef kUnknown{0, 16, S, "%s"};

}  // namespace

const ErrorDef& errorDef(std::int32_t number) {
  for (const auto& def : kErrors)
    if (def.number == number) return def;
  return kUnknown;
}

Message makeMessage(std::int32_t number, std::initializer_list<std::string_view> args) {
  const ErrorDef& def = errorDef(number);
  Message m;
  m.number = number;
  m.severity = def.severity;
  m.state = 1;
  auto arg = args.begin();
  for (const char* p = def.format; *p; ++p) {
    if (p[0] == '%' && p[1] == 's') {
      if (arg != args.end()) m.text += *arg++;
      ++p;
    } else {
      m.text += *p;
    }
  }
  return m;
}

SqlError::SqlError(std::int32_t number, std::initializer_list<std::string_view> args)
    : std::runtime_error("sql error"),
      message_(makeMessage(number, args)),
      scope_(errorDef(number).scope) {}

SqlError::SqlError(Message message, ErrorScope scope)
    : std::runtime_error("sql error"), message_(std::move(message)), scope_(scope) {}

bool SqlError::terminatesStatement() const {
  switch (message_.number) {
    case 515:
    case 544:
    case 547:
    case 2601:
    case 2627:
    case 8152:
    case 8134:
      return true;
    default:
      return false;
  }
}

}  // namespace tessel::sqld::engine
