#pragma once

// The recursive-descent parser behind parseBatch(), split over
// parser_expr.cpp (expressions and SELECT), parser_stmt.cpp (DML, control
// flow, SET) and parser_ddl.cpp (CREATE, DROP). Internal to the engine.

#include <string>
#include <string_view>
#include <vector>

#include "ast.h"
#include "lexer.h"

namespace tessel::sqld::engine {

class Parser {
 public:
  Parser(std::string_view sql, bool quotedIdentifier);

  // `bareCall`: the first statement may be a procedure name without EXEC,
  // as in a batch; a prepared statement's text cannot start so.
  Batch parseAll(bool bareCall = true);
  TypeInfo parseTypeOnly();

  // Token access.
  const Token& peek(std::size_t ahead = 0) const;
  const Token& next();
  bool atEnd() const { return peek().kind == TokenKind::End; }
  bool isWord(std::string_view w, std::size_t ahead = 0) const;
  bool isSymbol(std::string_view s, std::size_t ahead = 0) const;
  bool acceptWord(std::string_view w);
  bool acceptSymbol(std::string_view s);
  void expectWord(std::string_view w);
  void expectSymbol(std::string_view s);
  [[noreturn]] void syntaxError() const;
  [[noreturn]] void syntaxErrorAt(const Token& t) const;
  bool isReserved(const Token& t) const;
  std::string sourceText(std::size_t from, std::size_t to) const;

  // Names.
  std::string parseIdentifier();
  Name parseName();
  // A table's name, or a table variable (@t) as a one-part name.
  Name parseTableName();
  bool atIdentifier() const;

  // Expressions (parser_expr.cpp).
  ExprPtr parseExpr();
  ExprPtr parseOr();
  ExprPtr parseAnd();
  ExprPtr parseNot();
  ExprPtr parsePredicate();
  ExprPtr parseAdditive();
  ExprPtr parseMultiplicative();
  ExprPtr parseUnary();
  ExprPtr parsePrimary();
  ExprPtr parseFunction(std::string name, std::size_t offset);
  // A call and, after it, the OVER clause that makes it a window function.
  ExprPtr parseCall(std::string name, std::size_t offset);
  void parseOver(Expr& call);
  WindowSpec::Bound parseFrameBound();
  ExprPtr parseCase();
  ExprPtr parseLiteral(bool negate = false);
  TypeInfo parseType();
  // CREATE or ALTER SEQUENCE, from the word SEQUENCE on.
  StmtPtr parseSequence(bool alter);
  // A variable's or parameter's type: a built-in type, or the name of a
  // user-defined type left in `userType` for the session to resolve.
  TypeInfo parseDeclaredType(Name& userType);
  TypeInfo parseCastType();
  SelectPtr parseSelect();
  // FOR XML's mode and options, after the words FOR XML.
  std::shared_ptr<const ForXml> parseForXml();
  ExprPtr parseXmlValue(ExprPtr query);
  // The xml type's methods: target.value(...), .query(...), .exist(...)
  // (and their chains), .modify(...) where SET takes it, .nodes(...) in FROM.
  bool atXmlMethod(std::size_t ahead, bool mutator = false) const;
  ExprPtr parseXmlMethodCall(ExprPtr target, const std::string& method);
  ExprPtr parseXmlMethods(ExprPtr target);
  void parseXmlNodes(TableRef& ref);
  // WITH XMLNAMESPACES (...), from the parenthesis on.
  std::string parseXmlNamespaces();
  SelectPtr parseSelectCore();
  // SELECTs joined by INTERSECT, which binds tighter than UNION and EXCEPT.
  SelectPtr parseIntersection();
  SelectPtr groupedQuery(SelectPtr inner);
  void parseOffsetFetch(SelectStmt& s);
  void parseValuesRows(TableRef& ref);
  void parseSelectItems(SelectStmt& s);
  std::vector<TableRefPtr> parseFromList();
  TableRefPtr parseTableSource();
  TableRefPtr parseTablePrimary();
  void parseTableFunction(TableRef& ref);
  void skipTableHints(bool allowBare = true);

  // Statements (parser_stmt.cpp).
  StmtPtr parseStatement(bool firstInBatch);
  StmtPtr parseInsert();
  StmtPtr parseUpdate();
  StmtPtr parseDelete();
  // UPDATE's SET list: column = value, @v = value, @v = column = value, col += value.
  std::vector<Assignment> parseSetList();
  // MERGE (parser_merge.cpp).
  StmtPtr parseMerge();
  void parseMergeClause(MergeStmt& s, int line);
  std::unique_ptr<OutputClause> parseOutput(int line);
  StmtPtr parseDeclare();
  StmtPtr parseSet();
  // Re-reads the "..." tokens after a SET QUOTED_IDENTIFIER.
  void applyQuotedIdentifier(const SetOptionStmt& s);
  StmtPtr parseIf();
  StmtPtr parseWhile();
  StmtPtr parseBegin();
  StmtPtr parseReturn();
  StmtPtr parseTryCatch();
  StmtPtr parseWith();
  StmtPtr parseThrow();
  // Statements up to END followed by `closing` (END TRY, END CATCH).
  std::vector<StmtPtr> parseBlockUntil(std::string_view closing);
  StmtPtr parseRaiserror();
  StmtPtr parseWaitfor();
  std::unique_ptr<ExecStmt> parseExec(bool keywordSeen);
  StmtPtr parseTransaction(TransactionStmt::Op op);
  StmtPtr parseReadtext();
  StmtPtr parseWritetext(bool update);
  bool atStatementStart() const;

  // DDL (parser_ddl.cpp).
  StmtPtr parseCreate();
  StmtPtr parseCreateTable();
  // The parenthesised columns and constraints of CREATE TABLE or DECLARE @t TABLE.
  void parseTableElements(CreateTableStmt& s);
  // OPTION (hint, ...) after a query or a data change.
  void parseQueryOptions(SelectStmt* select);
  // CREATE, ALTER and CREATE OR ALTER of a view, procedure or trigger, the
  // first word after them next.
  enum class ModuleMode : std::uint8_t { Create, Alter, CreateOrAlter };
  StmtPtr parseModule(std::size_t start, ModuleMode mode);
  // ON DELETE / ON UPDATE of a foreign key, and NOT FOR REPLICATION.
  void parseReferentialActions(ConstraintDef& c);
  void parseClustered(ConstraintDef& c);
  StmtPtr parseCreateIndex(bool unique, bool clustered);
  StmtPtr parseCreateView(std::size_t start);
  StmtPtr parseCreateProc(std::size_t start);
  StmtPtr parseCreateFunction(std::size_t start);
  // CREATE TRIGGER, or ALTER TRIGGER when `alter`; `start` is where the statement begins.
  StmtPtr parseCreateTrigger(std::size_t start, bool alter);
  StmtPtr parseCreateType(std::size_t start);
  // WITH options of a procedure or trigger (ENCRYPTION, RECOMPILE, EXECUTE
  // AS ...): accepted, they change nothing here.
  void skipModuleOptions();
  // The tail CREATE PROCEDURE and CREATE TRIGGER share: options, [NOT] FOR
  // REPLICATION, AS and the statements to the end of the batch into `body`;
  // `text` gets the source from `start` on, the definition kept.
  void parseModuleBody(std::size_t start, std::vector<StmtPtr>& body, std::string& text);
  // ENABLE | DISABLE TRIGGER ... ON table.
  StmtPtr parseEnableTrigger();
  // The trigger names of ENABLE | DISABLE TRIGGER; none for ALL.
  std::vector<Name> parseTriggerNames();
  // ALTER TABLE: only its ENABLE | DISABLE TRIGGER form.
  StmtPtr parseAlterTable();
  StmtPtr parseDrop();
  void parseColumnDef(CreateTableStmt& t);
  void parseTableConstraint(CreateTableStmt& t, std::string name);
  std::vector<std::string> parseColumnList(std::vector<bool>* descending = nullptr);

 private:
  // Guards recursion so that deeply nested input fails with an error
  // instead of exhausting the stack.
  struct DepthGuard {
    explicit DepthGuard(Parser& p);
    ~DepthGuard() { parser.depth_ -= levels; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    // One level more for a construct that a loop nests (a join, a predicate).
    void deeper();
    Parser& parser;
    int levels = 0;
  };
  static constexpr int kMaxDepth = 500;
  int depth_ = 0;
  // Sequences named by NEXT VALUE FOR since the statements being parsed began.
  std::vector<Name> sequenceRefs_;
  // The type parseType read last was written without a length its name takes
  // (varchar, not varchar(10) and not sysname or xml): CAST gives it 30.
  bool lastTypeLacksLength_ = false;
  std::string_view sql_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
};

}  // namespace tessel::sqld::engine
