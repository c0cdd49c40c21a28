#pragma once

// The binder and generator: turns a statement's syntax tree into one SQLite
// statement plus what the executor needs to run it.
//
// Design notes
//  1. Every expression binds to a Typed: SQLite SQL text that yields the
//     storage form (types.h) of a SQL Server type, and that type. Operators
//     pick their result type by SQL Server's precedence rules and convert
//     their operands with t_cast() or inline scaling; nothing is guessed from
//     the SQL text.
//  2. Names resolve against a Scope: the FROM sources of the current SELECT,
//     then the enclosing ones (correlated subqueries). Tables come from the
//     catalog through BindContext; views and INFORMATION_SCHEMA views are
//     bound from their T-SQL text and inlined as derived tables.
//  3. Variables and @@ globals become numbered SQLite parameters; the bound
//     statement lists their names so the executor binds current values each
//     time it runs the statement. A bound statement therefore stays valid
//     across loop iterations and is cached by the executor.
//  4. Strings compare with the TSQL_CI collation (case-insensitive, trailing
//     blanks ignored); every character column is declared with it too.
//  5. The binder throws SqlError for name and type errors (207, 208, 209,
//     137 ...); the executor decides how far an error reaches.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ast.h"
#include "catalog.h"
#include "convert.h"
#include "settings.h"
#include "sqld/engine.h"
#include "sqlite_util.h"

namespace tessel::sqld::engine {

namespace builtin {
class Call;
}

// What the binder asks of the session.
// A sequence as NEXT VALUE FOR names it.
struct SequenceRef {
  std::string schema;  // SQLite schema of its database
  std::int64_t id = 0;
  TypeInfo type;
};

// A user-defined function as a call names it.
struct FunctionRef {
  std::string schema;  // SQLite schema of its database
  std::int64_t id = 0;
  std::string name;
  std::shared_ptr<const CreateProcStmt> definition;
};

class BindContext {
 public:
  virtual ~BindContext() = default;
  // Type of @name or @@name; nothing if not declared.
  virtual std::optional<TypeInfo> variableType(const std::string& name) = 0;
  // The table or view named; throws 208 when there is none.
  virtual std::shared_ptr<const TableInfo> resolveTable(const Name& name) = 0;
  // Same, but null instead of an error.
  virtual std::shared_ptr<const TableInfo> findTable(const Name& name) = 0;
  // findTable that leaves what the statement's next lookup finds as it was
  // (a table an INSTEAD OF trigger redirects to is found once).
  virtual std::shared_ptr<const TableInfo> peekTable(const Name& name) { return findTable(name); }
  // The SQLite schema of a database named in a multi-part name ("" = current).
  virtual std::string schemaFor(const std::string& database) = 0;
  virtual const Settings& settings() = 0;
  virtual bool identityInsert(const TableInfo& table) = 0;
  // The CREATE VIEW text of a system view computed when named
  // (sys.dm_exec_sessions ...); empty for other names.
  virtual std::string dynamicViewText(const Name& name) = 0;
  // The sequence named; throws 208 when there is none.
  virtual SequenceRef resolveSequence(const Name& name) = 0;
  // While a view's text is bound, its one-part names look in the view's
  // schema first; returns the schema that was set before (0: none).
  virtual int setViewOwner(int owner) = 0;
  // The user-defined function named ([database.]schema.name, or a one-part
  // name in FROM); nothing when there is none.
  virtual std::optional<FunctionRef> resolveFunction(const Name& name) = 0;
  // The collation of the current database: literals, variables and new
  // columns take it when nothing else gives them one.
  virtual std::uint16_t databaseCollation() = 0;
  // The columns of a table's primary key in key order; none without one.
  virtual std::vector<std::string> primaryKeyColumns(const TableInfo&) { return {}; }
};

struct Typed {
  std::string sql;
  TypeInfo type;
  bool nullLiteral = false;
  bool literal = false;
  bool isVariable = false;
  bool isAggregate = false;
  // How firmly a character value holds its collation (type.collation) when
  // it meets another: a literal, variable or conversion yields to a column,
  // a column to a COLLATE clause.
  enum class CollationLabel : std::uint8_t { Default, Implicit, Explicit };
  CollationLabel collationLabel = CollationLabel::Default;
  // char(n) or binary(n) that may be shorter than n (from a column that trims).
  bool unpadded = false;
  // A column of a base table (for text pointers and result metadata).
  const TableInfo* table = nullptr;
  const ColumnInfo* column = nullptr;
  std::string sourceAlias;
};

// Values of these storage forms travel through JSON rows as hex text.
bool storedAsBlob(const TypeInfo& t);

struct BoundStatement {
  std::string sql;
  std::vector<std::string> params;  // variable names for ?1..?N ("\x01identity": identity base)
  std::vector<Column> columns;      // result columns (SELECT)
  struct TextPointerSource {
    int column;       // output column
    int rowidColumn;  // hidden column with the row id
    std::int64_t objectId;
    int colid;
  };
  std::vector<TextPointerSource> textPointers;
  int hiddenColumns = 0;
  std::vector<std::uint16_t> orderColumns;
  // Per result column: its base table and column, empty for an expression.
  struct Origin {
    std::string table;
    std::string column;
  };
  std::vector<Origin> origins;
  std::vector<std::string> assignVars;      // SELECT @v = ...: one per column
  std::shared_ptr<const TableInfo> target;  // INSERT/UPDATE/DELETE
  bool usesIdentity = false;                // INSERT that assigns identity values
  // Seed and increment of an identity column in the select list (SELECT INTO).
  std::int64_t identitySeed = 1;
  std::int64_t identityIncrement = 1;
  // A timestamp column in the select list, by its place (SELECT INTO keeps
  // its type); -1 for none.
  int rowversionColumn = -1;
  bool identityExplicit = false;
};

// A MERGE bound (binder_merge.cpp). Its source rows are staged first, each
// with the target row it matches (trowid) and the WHEN clause that acts on
// it (clause, numbered from 1); by-source rows come from the target alone.
// The actions then run as one UPDATE, one DELETE and one INSERT over the
// staged rows, so that each kind of trigger fires once.
struct BoundMerge {
  std::shared_ptr<const TableInfo> target;
  std::string createStage;   // CREATE TEMP TABLE of the staged rows
  std::string stageSql;      // the source rows and the clause each takes
  std::string bySourceSql;   // target rows no source row matches; empty without such clauses
  std::string duplicateSql;  // a row if one target row would change more than once
  std::string updateSql, deleteSql;  // empty when no clause updates, deletes
  std::set<std::string> updatedColumns;
  // The source as the INSERT clause's values name it, and the clause's number.
  std::string sourceName;
  std::vector<ColumnInfo> sourceColumns;
  int insertClause = 0;
  std::string stage;  // the staging table's name
  std::vector<std::string> params;
};

class Binder {
 public:
  explicit Binder(BindContext& ctx) : ctx_(ctx) {}

  // Whether SELECT adds hidden row ids for the text pointers of text columns.
  bool textPointers = true;

  BoundStatement bindSelect(const SelectStmt& select);
  // SELECT of one expression with no FROM (SET @v = expr, IF, PRINT ...).
  BoundStatement bindExpression(const Expr& expr);
  // SELECT CASE WHEN cond THEN 1 ELSE 0 END.
  BoundStatement bindCondition(const Expr& cond);
  BoundStatement bindInsert(const InsertStmt& insert);
  BoundStatement bindUpdate(const UpdateStmt& update);
  BoundStatement bindDelete(const DeleteStmt& del);
  // MERGE, its rows staged in temp.`stage`.
  BoundMerge bindMerge(const MergeStmt& merge, const std::string& stage);
  // MERGE's INSERT clause: its values over the rows of `stage` that take
  // it, as the source's columns, with the MERGE's common table expressions
  // in view (the target may be one of them).
  BoundStatement bindMergeInsert(const MergeStmt& merge, const BoundMerge& bound,
                                 const InsertStmt& insert, const std::string& stage);
  // A CHECK constraint or DEFAULT over a table's own columns (no alias).
  Typed bindTableExpression(const Expr& expr, const TableInfo& table);
  // The T-SQL type of an expression bound without FROM.
  std::string convertSql(const Typed& value, const TypeInfo& to, bool assignment = false,
                         int style = 0);
  // A value converted for storing in `column`, trimmed as the ANSI_PADDING
  // the column was created with asks.
  std::string columnValueSql(const Typed& value, const ColumnInfo& column);

  // Names of a select's output columns after binding, for views and SELECT INTO.
  struct Source {
    std::string exposedName;
    std::string sqlAlias;
    std::shared_ptr<const TableInfo> table;  // null for derived tables
    std::vector<ColumnInfo> columns;
    // Column names in the generated SQL when they differ (derived tables: c1, c2 ...).
    std::vector<std::string> sqlNames;
    // Whole SQL expressions for the columns, when they are not columns of
    // the source's SQL (a table-valued function's, an applied query's).
    std::vector<std::string> sqlExprs;
    std::string sqlColumn(std::size_t i) const {
      return i < sqlNames.size() ? sqlNames[i] : columns[i].name;
    }
    std::string columnSql(std::size_t i) const {
      return i < sqlExprs.size() ? sqlExprs[i]
                                 : quoteName(sqlAlias) + "." + quoteName(sqlColumn(i));
    }
  };
  struct Scope {
    std::vector<Source> sources;
    Scope* outer = nullptr;
    bool allowAggregates = true;
  };

  Typed bindExpr(const Expr& e, Scope& scope);

  // The next SELECT bound reads the rows a statement changed, kept in
  // `table` as the target's columns twice (i1 ... for the new values, d1 ...
  // for the old ones): OUTPUT's inserted and deleted.
  // With `merge`, the rows are a MERGE's: the table has a column `action`
  // too, read as $action, and `rid`, the row id, by which each row finds
  // the source row that changed it (an inserted row: by its order).
  void readChangedRows(const TableInfo& target, const std::string& table, bool inserted,
                       bool deleted, const BoundMerge* merge = nullptr);

  // The SQL that gives a row of `table` the database's next timestamp.
  static std::string nextRowversion(const TableInfo& table);

  // How deep bindExpr may recurse; past it, error 191.
  static constexpr int kMaxBindDepth = 1000;

 private:
  // bindExpr's work for each kind of expression.
  Typed bindExprKind(const Expr& e, Scope& scope);
  // One SELECT's select list and the rest of its SQL (FROM ... HAVING).
  struct Core {
    std::string head;
    std::vector<Typed> items;
    std::vector<std::string> names;
    std::vector<std::string> assignVars;
    std::string tail;
    Scope scope;
    bool grouped = false;
    bool distinct = false;
  };
  Core bindCore(const SelectStmt& s, Scope* outer);
  std::string bindFrom(const std::vector<TableRefPtr>& from, Scope& scope);
  std::string bindTableRef(const TableRef& ref, Scope& scope);
  // STRING_SPLIT and OPENJSON in FROM (binder_apply.cpp); `lateral`: their
  // arguments may name the sources before them (APPLY).
  std::string bindTableFunction(const TableRef& ref, Scope& scope, bool lateral);
  // CROSS APPLY and OUTER APPLY.
  std::string bindApply(const TableRef& ref, Scope& scope);
  // The join condition that keeps an applied query's TOP n rows.
  std::string firstRows(const SelectStmt& s, Scope& scope, const Scope& joined);
  Source sourceForName(const Name& name, const std::string& alias);
  // A declared parameter type, text given the database's collation.
  TypeInfo parameterType(const TypeInfo& declared);
  // Calls of user-defined functions (binder_udf.cpp): a scalar function in
  // an expression; a table-valued one in FROM or APPLY (`lateral`: its
  // arguments may name the sources before it). Null when `e` or `ref`
  // names no user-defined function.
  std::optional<Typed> bindUserFunction(const Expr& e, Scope& scope);
  std::optional<Typed> bindUserFunctionNamedLikeMethod(const Expr& e, Scope& scope);
  Typed callUserFunction(const FunctionRef& f, const std::string& written,
                         const std::vector<ExprPtr>& args, std::size_t first, Scope& scope);
  std::optional<std::string> bindUserTableFunction(const TableRef& ref, Scope& scope,
                                                   const std::string* applyLeft = nullptr,
                                                   bool outerApply = false);
  // APPLY of `right` to the sources bound as `left`.
  std::string applyRight(const std::string& left, bool outer, const TableRef& right, Scope& scope);
  // APPLY of a query SQLite cannot join in (grouped, DISTINCT ...): it runs
  // for each row of `left`, its rows handed over as one JSON array.
  std::string applyRows(const std::string& left, bool outer, const TableRef& right, Scope& scope);
  // While an inline function's query binds, its parameters stand for the
  // call's arguments, bound where the call is.
  std::vector<std::map<std::string, Typed>> arguments_;
  Typed bindColumn(const Expr& e, Scope& scope);
  // An UPDATE's new value for `column` (DEFAULT when the assignment has none).
  std::string assignedValue(const Assignment& a, const ColumnInfo& column, Scope& scope);
  // " LIMIT n" for a data change's TOP (n), else for SET ROWCOUNT; "" for neither.
  std::string rowLimitSql(const Expr* top);
  // Rows an INSERT with DEFAULT VALUES takes from (MERGE's staged rows);
  // empty: one row.
  std::string defaultRowsFrom_;
  Typed bindVariable(const Expr& e);
  Typed bindLiteral(const Expr& e);
  Typed bindUnary(const Expr& e, Scope& scope);
  // Long operand lists (binder_chain.cpp): AND and OR over any number of
  // operands, a chain of arithmetic operators walked without recursion, and
  // IN lists. They come out as nested groups that SQLite parses however many
  // operands there are.
  Typed bindLogical(const Expr& e, Scope& scope);
  Typed bindBinary(const Expr& e, Scope& scope);
  Typed bindInList(const Expr& e, Scope& scope);
  // One operator applied to operands already bound.
  Typed combineBinary(const std::string& op, Typed a, Typed b);
  Typed bindCompare(const Expr& e, Scope& scope);
  // A comparison as its two sides and operator, or as `whole` when it is not
  // of the form `lhs op rhs` (NULL literals, ANSI_NULLS off, wide decimals).
  struct Comparison {
    std::string lhs, op, rhs, whole;
    std::string sql() const {
      return whole.empty() ? "(" + lhs + " " + op + " " + rhs + ")" : whole;
    }
  };
  Comparison compareParts(const std::string& op, const Typed& a, const Typed& b);
  Typed bindCompareTyped(const std::string& op, const Typed& a, const Typed& b);
  Typed bindCase(const Expr& e, Scope& scope);
  Typed bindCast(const Expr& e, Scope& scope);
  // A built-in function call, through the catalog in functions/.
  Typed bindFunction(const Expr& e, Scope& scope);
  // Where a window function may stand: in a select list or ORDER BY
  // (Allowed), not in other clauses (4108) nor inside an aggregate's or
  // another window function's arguments (Nested, 4109).
  enum class WindowUse : std::uint8_t { Forbidden, Allowed, Nested };
  class WindowClause {
   public:
    WindowClause(Binder& b, WindowUse use) : b_(b), saved_(b.windowUse_) { b.windowUse_ = use; }
    ~WindowClause() { b_.windowUse_ = saved_; }
    WindowClause(const WindowClause&) = delete;
    WindowClause& operator=(const WindowClause&) = delete;

   private:
    Binder& b_;
    WindowUse saved_;
  };
  // An OVER clause as SQLite text; `aggregate` tells whether its keys hold
  // an aggregate.
  std::string windowSql(const WindowSpec& w, Scope& scope, bool& aggregate);
  friend class builtin::Call;
  Typed bindSubqueryExpr(const Expr& e, Scope& scope);
  // `firstTarget`, if given, is the type the first column converts to.
  std::string subquerySql(const SelectStmt& s, Scope& scope, TypeInfo* firstType,
                          const TypeInfo* firstTarget = nullptr);
  std::string param(const std::string& name);
  // Common table expressions in view while a statement binds.
  // The namespaces WITH XMLNAMESPACES gives the xml methods of the
  // statement it heads (and of the queries within it); `replace` also sets
  // none, as for a view's query, which never sees the caller's.
  class XmlNamespacesScope {
   public:
    XmlNamespacesScope(Binder& b, const std::string& namespaces, bool replace = false)
        : b_(b), saved_(b.xmlNamespaces_) {
      if (replace || !namespaces.empty()) b.xmlNamespaces_ = namespaces;
    }
    ~XmlNamespacesScope() { b_.xmlNamespaces_ = std::move(saved_); }
    XmlNamespacesScope(const XmlNamespacesScope&) = delete;
    XmlNamespacesScope& operator=(const XmlNamespacesScope&) = delete;

   private:
    Binder& b_;
    std::string saved_;
  };
  class WithScope {
   public:
    WithScope(Binder& b, const std::vector<CommonTable>& with);
    ~WithScope() { b_.ctes_.resize(size_); }
    WithScope(const WithScope&) = delete;
    WithScope& operator=(const WithScope&) = delete;

   private:
    Binder& b_;
    std::size_t size_;
  };
  // A reference to a common table expression (or to the recursive one being
  // bound) as a source of `scope`; returns its SQL, or nothing for other names.
  std::optional<std::string> bindCommonTable(const TableRef& ref, Scope& scope);
  // An ORDER BY key: text without case, sql_variant by base type family.
  static std::string orderKey(const Typed& t, const std::string& sql = {});
  // Kept in step with t_rowcount (functions.cpp).
  enum class RowCount { Top, Percent, Offset, Fetch };
  std::string rowCountSql(const Expr& e, RowCount kind);
  // 8158/8159 when a derived table's column list does not match its columns.
  static void checkColumnAliases(const TableRef& ref, std::size_t columns);
  BoundStatement bindValues(const TableRef& ref, Scope& scope);
  Source derivedSource(const BoundStatement& bound, const std::string& alias,
                       const std::vector<std::string>& names);
  std::string newAlias() { return "t" + std::to_string(aliasCounter_++); }

  BindContext& ctx_;
  WindowUse windowUse_ = WindowUse::Forbidden;
  int exprDepth_ = 0;
  std::vector<std::string> params_;
  int aliasCounter_ = 0;
  int viewDepth_ = 0;
  // NEXT VALUE FOR references of the row being bound, numbered: the ones of
  // one row share its value (each VALUES row of an INSERT counts anew).
  int sequenceSite_ = 0;
  std::vector<const CommonTable*> ctes_;
  // Recursive common table expressions whose recursive parts are binding:
  // their name, the working table's SQL name and its columns.
  struct Working {
    std::string name;
    std::string sqlName;
    std::vector<ColumnInfo> columns;
    std::string lastAlias;  // the recursive part's reference to it, as bound last
  };
  std::vector<Working> working_;
  // The statement's OPTION (MAXRECURSION n); 0 is no limit.
  int maxRecursion_ = 100;
  // A recursive expression's part, its level column added.
  std::string bindRecursivePart(const SelectStmt& part, std::size_t columns);
  // UPDATE and DELETE of a common table expression (binder_cte_dml.cpp):
  // the base table's rows it shows, found again by their row ids. Nothing
  // when the target is not a common table expression.
  struct WriteThrough {
    std::vector<std::shared_ptr<const TableInfo>> tables;  // base tables, rowid columns r1 ...
    // Per column of the expression: its table (index into tables) and
    // column, or -1 for a value computed.
    std::vector<std::pair<int, std::string>> columns;
    bool aggregated = false;  // grouped, DISTINCT or a UNION
  };
  // Set before the expression's query binds; its outermost SELECT fills it
  // and adds the row id columns.
  WriteThrough* writeThrough_ = nullptr;
  // The expression's or view's SQL as a FROM source, or nothing for another name.
  std::optional<std::string> bindWriteThrough(const Name& name, WriteThrough& through,
                                              Scope& scope);
  std::optional<std::string> bindThroughRef(const TableRef& ref, WriteThrough& through,
                                            Scope& scope);
  const CommonTable* commonTableNamed(const Name& name) const;
  // A common table expression or a view, which a data change writes through.
  bool writesThrough(const Name& name);
  // A FROM list whose entry `target` names a common table expression or a
  // view: that entry binds through (its alias in the SQL in `alias`).
  // Nothing when `target` names something else.
  std::optional<std::string> bindFromThrough(const std::vector<TableRefPtr>& from,
                                             const Name& target, WriteThrough& through,
                                             Scope& scope, std::string& alias);
  // The FROM clause of an UPDATE or DELETE written through `target` (its
  // own FROM list, or one of `target` alone) and the SQL alias of the rows
  // written through in `rowsAlias`; nothing when `target` names something else.
  std::optional<std::string> bindChangeThrough(const Name& target,
                                               const std::vector<TableRefPtr>& from,
                                               WriteThrough& through, Scope& scope,
                                               std::string& rowsAlias);
  // bindTableRef's turn at the entry bindFromThrough marked.
  std::optional<std::string> bindMarkedThrough(const TableRef& ref, Scope& scope);
  const TableRef* throughRef_ = nullptr;
  WriteThrough* throughFrom_ = nullptr;
  std::string throughAlias_;
  // The base column a column of `rows` shows, for a change through them;
  // `table` is the base table's index, the same for every column changed.
  const ColumnInfo* throughColumn(const WriteThrough& through, const Source& rows,
                                  const std::string& column, const std::string& name, int& table);
  // INSERT's base table, `columns` replaced by the base table's names for
  // the columns listed (or all); null when the target is no expression.
  std::shared_ptr<const TableInfo> insertThrough(const InsertStmt& ins,
                                                 std::vector<std::string>& columns);
  std::optional<BoundStatement> bindUpdateThrough(const UpdateStmt& up);
  std::optional<BoundStatement> bindDeleteThrough(const DeleteStmt& del);
  // FOR XML (binder_xml.cpp): the SQL of the query's XML text as one row.
  std::string forXmlSql(const SelectStmt& s, Scope* outer);
  BoundStatement bindForXml(const SelectStmt& s);
  // The xml type's methods (binder_xml_methods.cpp): value(), query(),
  // exist() and modify() as expressions, nodes() as a table function.
  Typed bindXmlMethod(const Expr& e, Scope& scope);
  std::string bindXmlNodes(const TableRef& ref, Scope& argScope, Scope& scope);
  std::string xmlMethodSql(const std::string& method, const std::vector<ExprPtr>& args,
                           Scope& scope, Typed& target);
  // Set while a method's target or IS NULL's operand binds: the column of
  // nodes() may appear there and nowhere else.
  bool xmlContextUse_ = false;
  std::string xmlNamespaces_;  // see XmlNamespacesScope
  // The SQL of each column of nodes() bound: its value's SQL and its
  // node's place, which the methods take apart rather than as one handle.
  std::map<std::string, std::pair<std::string, std::string>> xmlContextSql_;
  // AUTO mode's text for the binary column i without BINARY BASE64: a URL
  // naming the value by its table's key, which the query must select.
  std::string binaryReference(const Core& c, std::size_t i,
                              const std::function<std::string(std::size_t)>& textOf);
  // Set by readChangedRows, taken by the next bindCore.
  std::optional<Scope> changedRows_;
  std::string changedRowsFrom_;
};

// The precision an xml column of nodes() carries: its values are the nodes
// selected (with their document), for the methods only.
inline constexpr std::uint8_t kXmlContextNode = 1;

// The type two operands meet in, by SQL Server's precedence.
TypeInfo commonType(const TypeInfo& a, const TypeInfo& b);
// What FOR XML gives: xml with TYPE, nvarchar(max) text without.
TypeInfo forXmlType(const ForXml& x);
// The SQL literal for a stored value.
std::string sqlLiteral(const Stored& v);

}  // namespace tessel::sqld::engine
