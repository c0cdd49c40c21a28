#pragma once

// The syntax tree of a T-SQL batch. The parser builds it; the binder reads it.
// Nodes own their children. Names keep their spelling; the binder matches
// them case-insensitively.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sqld/values.h"

namespace tessel::sqld::engine {

struct Expr;
struct SelectStmt;
struct WindowSpec;
struct Stmt;
using ExprPtr = std::unique_ptr<Expr>;
using StmtPtr = std::unique_ptr<Stmt>;
using SelectPtr = std::shared_ptr<SelectStmt>;

// A multi-part name: [server.][database.][schema.]object; empty parts allowed
// (db..table).
using Name = std::vector<std::string>;
// The name as it was written, parts joined by dots, for messages.
std::string joinName(const Name& name);
// The parts of a name given as text ('db.dbo.[t]', "s.t"): brackets and
// double quotes delimit, ]] in brackets stands for ].
Name splitName(std::string_view text);

enum class ExprKind : std::uint8_t {
  Literal,
  Column,    // names: [table.]column
  Variable,  // op: the name with its @
  Star,      // names: optional qualifier
  Unary,     // op: - + ~
  Binary,    // op: + - * / % & | ^
  Compare,   // op: = <> < > <= >=
  And,
  Or,
  Not,
  Function,  // op: upper-case name; args; distinct for aggregates; star for COUNT(*)
  Case,      // args: [operand] when, then, ... [else]
  Cast,      // args[0]; castType; args[1] = style for CONVERT
  Subquery,
  Exists,
  InList,      // args[0] IN (args[1..])
  InSubquery,  // args[0] IN (query)
  Between,     // args[0] BETWEEN args[1] AND args[2]
  Like,        // args[0] LIKE args[1] [ESCAPE args[2]]
  IsNull,      // args[0] IS [NOT] NULL
  Collate,     // args[0] COLLATE op (the collation's name as written)
};

struct Expr {
  Expr() = default;
  Expr(const Expr&) = delete;
  Expr& operator=(const Expr&) = delete;
  // Takes the operands apart without recursion: a chain of operators as long
  // as a batch allows is as deep as it is long.
  ~Expr();

  ExprKind kind = ExprKind::Literal;
  std::string op;
  Name names;
  Value value;    // Literal
  TypeInfo type;  // Literal: its type; Cast: the target type
  std::vector<ExprPtr> args;
  SelectPtr query;
  bool negated = false;  // NOT IN, NOT LIKE, NOT BETWEEN, IS NOT NULL, NOT EXISTS
  bool distinct = false;
  bool star = false;
  bool caseOperand = false;  // simple CASE x WHEN ...
  bool caseElse = false;
  // STRING_AGG(...) WITHIN GROUP (ORDER BY k1 [DESC], ...): the keys follow
  // the call's arguments in `args`, their directions here (true: DESC).
  std::vector<bool> withinGroup;
  // fn(...) OVER (...): a window function call.
  std::unique_ptr<WindowSpec> over;
  std::size_t offset = 0;
};

// Whether an expression calls one of the xml type's methods outside a
// subquery: GROUP BY and PRINT refuse them (binder_xml_methods.cpp).
bool containsXmlMethod(const Expr& e);

// A column of OPENJSON ... WITH (name type ['path'] [AS JSON]).
struct JsonColumn {
  std::string name;
  TypeInfo type;
  std::string path;  // empty: $.name
  bool asJson = false;
};

struct TableRef {
  // Values: a table value constructor, (VALUES (1, 'a'), (2, 'b')) AS t(id, name).
  // Function: a table-valued built-in, STRING_SPLIT(...) or OPENJSON(...).
  enum class Kind : std::uint8_t { Named, Join, Derived, Values, Function };
  Kind kind = Kind::Named;
  Name name;
  std::string alias;
  std::vector<std::string> columnAliases;  // AS t(a, b) of a derived table
  std::vector<std::vector<ExprPtr>> rows;  // Values
  std::string joinType;  // INNER, LEFT, RIGHT, FULL, CROSS, CROSS APPLY, OUTER APPLY
  std::unique_ptr<TableRef> left, right;
  ExprPtr on;
  SelectPtr derived;
  std::vector<ExprPtr> args;            // Function: its arguments
  std::vector<JsonColumn> jsonColumns;  // OPENJSON's WITH clause
};
using TableRefPtr = std::unique_ptr<TableRef>;

struct SelectItem {
  ExprPtr expr;
  std::string alias;
  std::string assignVar;  // SELECT @v = expr
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

// OVER ([PARTITION BY ...] [ORDER BY ...] [ROWS | RANGE frame]) of a window
// function. A frame bound is UNBOUNDED PRECEDING/FOLLOWING, CURRENT ROW or
// n PRECEDING/FOLLOWING; a frame without BETWEEN ends at the current row.
struct WindowSpec {
  struct Bound {
    enum class Kind : std::uint8_t {
      UnboundedPreceding,
      Preceding,
      CurrentRow,
      Following,
      UnboundedFollowing
    };
    Kind kind = Kind::CurrentRow;
    std::int64_t offset = 0;
  };
  std::vector<ExprPtr> partitionBy;
  std::vector<OrderItem> orderBy;
  std::string frameUnit;  // "ROWS", "RANGE" or empty for the default frame
  Bound start, end;
};

// WITH name [(columns)] AS (query): a common table expression. A recursive
// one keeps its anchor in `select` and the parts that refer to it in
// `recursiveParts`.
struct CommonTable {
  std::string name;
  std::vector<std::string> columns;
  SelectPtr select;
  bool recursive = false;
  std::vector<std::pair<bool, SelectPtr>> recursiveParts;  // UNION ALL?, query
};

// FOR XML RAW | AUTO | PATH and its options: the query's rows as one XML text.
struct ForXml {
  enum class Mode : std::uint8_t { Raw, Auto, Path };
  Mode mode = Mode::Raw;
  std::optional<std::string> rowName;  // RAW('name'), PATH('name'); PATH('') has none
  bool elements = false;               // ELEMENTS: columns as elements
  bool xsinil = false;                 // ELEMENTS XSINIL: NULL as xsi:nil elements
  std::optional<std::string> root;     // ROOT or ROOT('name')
  bool type = false;                   // TYPE: the xml type rather than text
  bool binaryBase64 = false;           // BINARY BASE64: binary values as base64 text
};

struct SelectStmt {
  std::vector<CommonTable> with;
  std::string xmlNamespaces;  // WITH XMLNAMESPACES heading the query, as in Stmt
  bool distinct = false;
  ExprPtr top;
  bool topPercent = false;
  bool withTies = false;
  // ORDER BY ... OFFSET n ROWS [FETCH NEXT m ROWS ONLY].
  ExprPtr offset;
  ExprPtr fetch;
  std::vector<SelectItem> items;
  Name into;
  std::vector<TableRefPtr> from;
  ExprPtr where;
  std::vector<ExprPtr> groupBy;
  ExprPtr having;
  // Further SELECTs joined by UNION (all = UNION ALL), INTERSECT or EXCEPT,
  // applied left to right. The parser groups INTERSECT, which binds tighter,
  // into a derived table of its own.
  enum class SetOp : std::uint8_t { Union, Intersect, Except };
  struct Union {
    bool all = false;
    SetOp op = SetOp::Union;
    SelectPtr select;
  };
  std::vector<Union> unions;
  std::vector<OrderItem> orderBy;
  bool forBrowse = false;
  std::shared_ptr<const ForXml> forXml;
  // OPTION (MAXRECURSION n): how deep its recursive common table
  // expressions may go, 0 for no limit; unset keeps SQL Server's 100.
  std::optional<int> maxRecursion;
};

enum class StmtKind : std::uint8_t {
  Select,
  Insert,
  Update,
  Delete,
  CreateTable,
  CreateIndex,
  CreateView,
  CreateProc,
  CreateTrigger,
  CreateDatabase,
  CreateSchema,
  CreateType,
  CreateSequence,
  EnableTrigger,
  AlterTable,
  Drop,
  Truncate,
  Use,
  Declare,
  SetVar,
  SetOption,
  If,
  While,
  Block,
  Return,
  Break,
  Continue,
  Print,
  Raiserror,
  Waitfor,
  Exec,
  Transaction,
  Readtext,
  Writetext,
  Kill,
  TryCatch,
  Throw,
  Merge,
  Empty,
};

struct Stmt {
  explicit Stmt(StmtKind k) : kind(k) {}
  virtual ~Stmt() = default;
  StmtKind kind;
  int line = 1;
  // WITH XMLNAMESPACES heading an INSERT, UPDATE, DELETE or MERGE: the
  // prefixes its xml methods see, as encodeXmlNamespace writes them.
  std::string xmlNamespaces;
  // The sequences its own expressions take values of (NEXT VALUE FOR): the
  // statement writes them.
  std::vector<Name> sequences;
};

struct QueryStmt : Stmt {
  QueryStmt() : Stmt(StmtKind::Select) {}
  SelectPtr select;
};

struct ExecArg {
  std::string name;  // @param, or empty when positional
  ExprPtr value;     // null for DEFAULT
  bool output = false;
};

struct ExecStmt : Stmt {
  ExecStmt() : Stmt(StmtKind::Exec) {}
  std::string returnVar;  // EXEC @rc = proc
  Name proc;
  ExprPtr procVar;     // EXEC @procname
  ExprPtr dynamicSql;  // EXEC ('...')
  std::vector<ExecArg> args;
};

struct InsertStmt;

// OUTPUT items [INTO target [(columns)]] of INSERT, UPDATE and DELETE: a
// SELECT over the rows the statement changed, named inserted and deleted;
// with INTO, an INSERT of those rows into the target.
struct OutputClause {
  SelectPtr select;
  std::unique_ptr<InsertStmt> into;
};

struct InsertStmt : Stmt {
  InsertStmt() : Stmt(StmtKind::Insert) {}
  std::unique_ptr<OutputClause> output;
  std::vector<CommonTable> with;
  Name table;
  std::vector<std::string> columns;
  std::vector<std::vector<ExprPtr>> rows;  // VALUES; a null entry is DEFAULT
  SelectPtr select;
  // MERGE's VALUES, which become `select`'s items: true for an item that
  // was DEFAULT (its item a NULL placeholder).
  std::vector<bool> defaultItems;
  std::unique_ptr<ExecStmt> exec;
  bool defaultValues = false;
  bool bulk = false;          // INSERT BULK: `columns` only; the rows come in a bulk-load message
  bool fireTriggers = false;  // INSERT BULK ... WITH (FIRE_TRIGGERS)
  // INSERT BULK ... WITH (ORDER (column [ASC|DESC], ...)): true for DESC.
  std::vector<std::pair<std::string, bool>> bulkOrder;
};

struct Assignment {
  std::string column;    // a column, or a variable with @
  std::string variable;  // SET @v = col = expr
  ExprPtr value;         // null for DEFAULT
};

struct UpdateStmt : Stmt {
  UpdateStmt() : Stmt(StmtKind::Update) {}
  std::unique_ptr<OutputClause> output;
  std::vector<CommonTable> with;
  Name table;  // may be an alias named in FROM
  std::vector<Assignment> sets;
  std::vector<TableRefPtr> from;
  ExprPtr where;
  ExprPtr top;
};

struct DeleteStmt : Stmt {
  DeleteStmt() : Stmt(StmtKind::Delete) {}
  std::unique_ptr<OutputClause> output;
  std::vector<CommonTable> with;
  Name table;
  std::vector<TableRefPtr> from;
  ExprPtr where;
  ExprPtr top;
};

// One WHEN clause of MERGE: which rows it takes (matched, not matched by
// target, not matched by source), an optional AND condition, and its action.
struct MergeClause {
  enum class When : std::uint8_t { Matched, NotMatchedByTarget, NotMatchedBySource };
  enum class Action : std::uint8_t { Update, Delete, Insert };
  When when = When::Matched;
  Action action = Action::Update;
  ExprPtr condition;
  std::vector<Assignment> sets;        // Update
  std::unique_ptr<InsertStmt> insert;  // Insert: columns and one VALUES row, or DEFAULT VALUES
};

// MERGE [INTO] target [AS alias] USING source ON condition WHEN ...: the
// source rows joined to the target decide, row by row, which clause acts.
struct MergeStmt : Stmt {
  MergeStmt() : Stmt(StmtKind::Merge) {}
  std::unique_ptr<OutputClause> output;
  std::vector<CommonTable> with;
  Name table;
  std::string alias;
  TableRefPtr source;
  ExprPtr on;
  std::vector<MergeClause> clauses;
  ExprPtr top;
};

struct ConstraintDef {
  enum class Kind : std::uint8_t { PrimaryKey, Unique, Check, ForeignKey, Default };
  Kind kind = Kind::Check;
  std::string name;
  std::vector<std::string> columns;
  ExprPtr check;
  std::string checkText;
  Name refTable;
  std::vector<std::string> refColumns;
  // ON DELETE and ON UPDATE of a foreign key: "CASCADE", "SET NULL",
  // "SET DEFAULT", or empty for NO ACTION.
  std::string onDelete;
  std::string onUpdate;
  // CLUSTERED or NONCLUSTERED as a key constraint gave it; unset, a primary
  // key is clustered and a unique constraint is not.
  std::optional<bool> clustered;
  bool isClustered() const { return clustered.value_or(kind == Kind::PrimaryKey); }
};

struct ColumnDef {
  std::string name;
  TypeInfo type;
  bool nullSpecified = false;
  ExprPtr defaultValue;
  std::string defaultText;
  std::string defaultName;  // CONSTRAINT name DEFAULT ...; generated when empty
  bool identity = false;
  std::int64_t seed = 1;
  std::int64_t increment = 1;
  bool rowGuidCol = false;
  Name userType;            // an alias type, resolved when the table is created
  bool rowversion = false;  // timestamp or rowversion: the database stamps each write
  // A computed column, `name AS expression [PERSISTED]`: its expression and text.
  ExprPtr computed;
  std::string computedText;
  bool persisted = false;
  // COLLATE's name as written (DATABASE_DEFAULT too); empty when the column
  // takes its table's default.
  std::string collate;
};

struct CreateTableStmt : Stmt {
  CreateTableStmt() : Stmt(StmtKind::CreateTable) {}
  Name name;
  std::vector<ColumnDef> columns;
  std::vector<ConstraintDef> constraints;
};

struct CreateIndexStmt : Stmt {
  CreateIndexStmt() : Stmt(StmtKind::CreateIndex) {}
  bool unique = false;
  bool clustered = false;
  std::string name;
  Name table;
  std::vector<std::string> columns;
  std::vector<bool> descending;
};

struct CreateViewStmt : Stmt {
  CreateViewStmt() : Stmt(StmtKind::CreateView) {}
  Name name;
  std::vector<std::string> columns;
  SelectPtr select;
  std::string text;      // the whole CREATE VIEW text, as syscomments keeps it
  bool alter = false;    // ALTER VIEW: the view must exist
  bool orAlter = false;  // CREATE OR ALTER: replaced when it exists
};

struct ProcParam {
  std::string name;
  TypeInfo type;
  ExprPtr defaultValue;
  bool output = false;
  Name userType;  // a user-defined type, resolved when the procedure runs
  bool readonly = false;
};

struct CreateProcStmt : Stmt {
  CreateProcStmt() : Stmt(StmtKind::CreateProc) {}
  Name name;
  std::vector<ProcParam> params;
  std::vector<StmtPtr> body;
  std::string text;      // the whole CREATE PROCEDURE text
  bool alter = false;    // ALTER PROCEDURE: the procedure must exist
  bool orAlter = false;  // CREATE OR ALTER: replaced when it exists
  // CREATE FUNCTION: "FN" (scalar: RETURNS type, a body that ends in RETURN
  // value), "IF" (inline: RETURNS TABLE AS RETURN select) or "TF"
  // (RETURNS @var TABLE (...), a body that fills it); empty for procedures.
  std::string functionType;
  TypeInfo returns;                                    // FN
  SelectPtr inlineSelect;                              // IF
  std::string returnVar;                               // TF
  std::shared_ptr<const CreateTableStmt> returnTable;  // TF: the table's columns
};

// CREATE TRIGGER name ON table {FOR | AFTER | INSTEAD OF} events AS body;
// ALTER TRIGGER replaces an existing trigger's definition.
struct CreateTriggerStmt : Stmt {
  CreateTriggerStmt() : Stmt(StmtKind::CreateTrigger) {}
  Name name;
  Name table;
  bool alter = false;
  bool orAlter = false;  // CREATE OR ALTER: replaced when it exists
  bool insteadOf = false;
  bool onInsert = false;
  bool onUpdate = false;
  bool onDelete = false;
  std::vector<StmtPtr> body;
  std::string text;  // the whole CREATE TRIGGER text
};

// ENABLE | DISABLE TRIGGER {name, ... | ALL} ON table, and ALTER TABLE table
// ENABLE | DISABLE TRIGGER {name, ... | ALL}.
struct EnableTriggerStmt : Stmt {
  EnableTriggerStmt() : Stmt(StmtKind::EnableTrigger) {}
  bool enable = true;
  bool alterTable = false;
  std::vector<Name> triggers;  // empty for ALL
  Name table;
};

// CREATE DATABASE name [COLLATE x], and ALTER DATABASE name COLLATE x
// (`alter` set).
struct CreateDatabaseStmt : Stmt {
  CreateDatabaseStmt() : Stmt(StmtKind::CreateDatabase) {}
  std::string name;
  std::string collation;  // empty: the server's
  bool alter = false;
};

// CREATE SCHEMA, and ALTER SCHEMA name TRANSFER object (`transfer` set).
struct CreateSchemaStmt : Stmt {
  CreateSchemaStmt() : Stmt(StmtKind::CreateSchema) {}
  std::string name;
  std::string owner;  // AUTHORIZATION
  Name transfer;
};

// CREATE TYPE name AS TABLE (...) or CREATE TYPE name FROM basetype.
struct CreateTypeStmt : Stmt {
  CreateTypeStmt() : Stmt(StmtKind::CreateType) {}
  Name name;
  std::unique_ptr<CreateTableStmt> table;  // a table type's columns
  TypeInfo base;                           // an alias type's base type
  bool nullSpecified = false;
  std::string text;  // the whole CREATE TYPE text
};

// CREATE SEQUENCE and ALTER SEQUENCE: the options the statement names; an
// option left out keeps its default (CREATE) or its value (ALTER).
struct CreateSequenceStmt : Stmt {
  CreateSequenceStmt() : Stmt(StmtKind::CreateSequence) {}
  Name name;
  bool alter = false;
  std::optional<TypeInfo> type;
  ExprPtr start;  // START WITH
  bool restart = false;
  ExprPtr restartWith;  // RESTART [WITH n]; null: the start value
  ExprPtr increment;
  bool minSet = false;  // MINVALUE n or NO MINVALUE (null)
  ExprPtr minValue;
  bool maxSet = false;
  ExprPtr maxValue;
  std::optional<bool> cycle;
};

struct DropStmt : Stmt {
  DropStmt() : Stmt(StmtKind::Drop) {}
  std::string objectType;  // TABLE, VIEW, PROCEDURE, FUNCTION, TRIGGER, INDEX, DATABASE, SCHEMA,
                           // TYPE, SEQUENCE
  std::vector<Name> names;
  bool ifExists = false;  // a name that does not exist is passed over
};

// ALTER TABLE t ADD ..., DROP ..., ALTER COLUMN ...: `added` holds the
// columns and table constraints an ADD names (ALTER COLUMN: its one column);
// `dropped` the columns and constraints a DROP names, in order.
struct AlterTableStmt : Stmt {
  AlterTableStmt() : Stmt(StmtKind::AlterTable) {}
  enum class Action : std::uint8_t { Add, Drop, AlterColumn };
  struct Dropped {
    bool column = false;
    bool ifExists = false;
    std::string name;
  };
  Name table;
  Action action = Action::Add;
  bool noCheck = false;     // WITH NOCHECK: rows already there are not checked
  bool withValues = false;  // a new nullable column's default fills the rows already there
  CreateTableStmt added;
  std::vector<Dropped> dropped;
};

struct TruncateStmt : Stmt {
  TruncateStmt() : Stmt(StmtKind::Truncate) {}
  Name table;
};

struct UseStmt : Stmt {
  UseStmt() : Stmt(StmtKind::Use) {}
  std::string database;
};

struct VarDecl {
  std::string name;
  TypeInfo type;
  ExprPtr init;
  Name userType;  // a user-defined type, resolved when the DECLARE runs
};

struct DeclareStmt : Stmt {
  DeclareStmt() : Stmt(StmtKind::Declare) {}
  std::vector<VarDecl> vars;
  // DECLARE @t TABLE (...): the table's definition, named by the variable.
  std::unique_ptr<CreateTableStmt> table;
};

struct SetVarStmt : Stmt {
  SetVarStmt() : Stmt(StmtKind::SetVar) {}
  std::string name;
  std::string op;  // = += -= *= /=
  ExprPtr value;
};

struct SetOptionStmt : Stmt {
  SetOptionStmt() : Stmt(StmtKind::SetOption) {}
  std::vector<std::string> options;  // upper case
  std::string value;                 // ON, OFF, a number or a word (upper case)
  ExprPtr valueExpr;                 // a number or variable (TEXTSIZE @n)
  Name table;                        // IDENTITY_INSERT table
};

struct IfStmt : Stmt {
  IfStmt() : Stmt(StmtKind::If) {}
  ExprPtr condition;
  StmtPtr thenStmt;
  StmtPtr elseStmt;
};

struct WhileStmt : Stmt {
  WhileStmt() : Stmt(StmtKind::While) {}
  ExprPtr condition;
  StmtPtr body;
};

struct BlockStmt : Stmt {
  BlockStmt() : Stmt(StmtKind::Block) {}
  std::vector<StmtPtr> body;
};

struct ReturnStmt : Stmt {
  ReturnStmt() : Stmt(StmtKind::Return) {}
  ExprPtr value;
};

struct PrintStmt : Stmt {
  PrintStmt() : Stmt(StmtKind::Print) {}
  ExprPtr value;
};

struct RaiserrorStmt : Stmt {
  RaiserrorStmt() : Stmt(StmtKind::Raiserror) {}
  std::vector<ExprPtr> args;  // message or number, severity, state, arguments...
  ExprPtr oldNumber;          // RAISERROR 50001 'text'
  bool withNowait = false;
  bool withSetError = false;
  bool withLog = false;
};

struct WaitforStmt : Stmt {
  WaitforStmt() : Stmt(StmtKind::Waitfor) {}
  bool delay = true;  // DELAY, or TIME
  ExprPtr time;
};

struct TransactionStmt : Stmt {
  TransactionStmt() : Stmt(StmtKind::Transaction) {}
  enum class Op : std::uint8_t { Begin, Commit, Rollback, Save };
  Op op = Op::Begin;
  std::string name;
};

struct ReadtextStmt : Stmt {
  ReadtextStmt() : Stmt(StmtKind::Readtext) {}
  Name column;  // table.column
  ExprPtr pointer;
  ExprPtr offset;
  ExprPtr size;
};

struct WritetextStmt : Stmt {
  WritetextStmt() : Stmt(StmtKind::Writetext) {}
  bool update = false;  // UPDATETEXT
  Name column;
  ExprPtr pointer;
  ExprPtr insertOffset;  // UPDATETEXT only; null = append
  ExprPtr deleteLength;  // UPDATETEXT only; null = to the end
  ExprPtr data;
  bool bulk = false;  // WRITETEXT BULK: the data comes in a bulk-load message
};

// BEGIN TRY ... END TRY BEGIN CATCH ... END CATCH.
struct TryCatchStmt : Stmt {
  TryCatchStmt() : Stmt(StmtKind::TryCatch) {}
  std::vector<StmtPtr> tryBody;
  std::vector<StmtPtr> catchBody;
};

// THROW number, message, state; or a bare THROW that re-raises the error
// a CATCH block is handling.
struct ThrowStmt : Stmt {
  ThrowStmt() : Stmt(StmtKind::Throw) {}
  ExprPtr number;  // null for the bare form
  ExprPtr message;
  ExprPtr state;
};

struct KillStmt : Stmt {
  KillStmt() : Stmt(StmtKind::Kill) {}
  ExprPtr spid;
};

struct Batch {
  std::vector<StmtPtr> statements;
};

}  // namespace tessel::sqld::engine
