// Statements: DML, control flow, variables, SET options, EXEC, transactions.

#include <cstdlib>
#include <set>

#include "collations.h"
#include "errors.h"
#include "parser.h"
#include "parser_impl.h"
#include "types.h"
#include "xml_path.h"

namespace tessel::sqld::engine {

namespace {
template <typename T>
std::unique_ptr<T> make(int line) {
  auto s = std::make_unique<T>();
  s->line = line;
  return s;
}
}  // namespace

Batch Parser::parseAll(bool bareCall) {
  Batch batch;
  bool first = bareCall;
  while (!atEnd()) {
    if (acceptSymbol(";")) continue;
    batch.statements.push_back(parseStatement(first));
    first = false;
  }
  return batch;
}

void Parser::applyQuotedIdentifier(const SetOptionStmt& s) {
  bool on = s.value == "ON";
  if (!on && s.value != "OFF") return;
  for (const auto& o : s.options) {
    if (o != "QUOTED_IDENTIFIER") continue;
    // SQL Server applies this option while parsing: "..." after it in the
    // batch is read by the new setting.
    for (std::size_t i = pos_; i < tokens_.size(); ++i)
      if (tokens_[i].doubleQuoted) tokens_[i].kind = on ? TokenKind::QuotedName : TokenKind::String;
  }
}

Batch parseBatch(std::string_view sql, bool quotedIdentifier) {
  return Parser(sql, quotedIdentifier).parseAll();
}

Batch parsePrepared(std::string_view sql, bool quotedIdentifier) {
  return Parser(sql, quotedIdentifier).parseAll(false);
}

bool Parser::atStatementStart() const {
  static constexpr std::string_view kStarts[] = {
      "SELECT", "INSERT",   "UPDATE", "DELETE",    "CREATE",    "DROP",       "TRUNCATE",
      "USE",    "DECLARE",  "SET",    "IF",        "WHILE",     "BEGIN",      "RETURN",
      "BREAK",  "CONTINUE", "PRINT",  "RAISERROR", "WAITFOR",   "EXEC",       "EXECUTE",
      "COMMIT", "ROLLBACK", "SAVE",   "READTEXT",  "WRITETEXT", "UPDATETEXT", "END",
      "ELSE",   "ALTER",    "GOTO",   "THROW",     "MERGE"};
  for (std::string_view w : kStarts)
    if (isWord(w)) return true;
  if ((isWord("ENABLE") || isWord("DISABLE")) && isWord("TRIGGER", 1)) return true;
  return atEnd() || isSymbol(";");
}

StmtPtr Parser::parseStatement(bool firstInBatch) {
  DepthGuard guard(*this);
  const Token& t = peek();
  int line = t.line;
  const std::size_t sequencesBefore = sequenceRefs_.size();
  StmtPtr s;
  if (t.kind == TokenKind::Word) {
    std::string w = upper(t.text);
    if (w == "SELECT") {
      auto q = make<QueryStmt>(line);
      q->select = parseSelect();
      s = std::move(q);
    } else if (w == "INSERT") {
      s = parseInsert();
    } else if (w == "UPDATE") {
      s = parseUpdate();
    } else if (w == "DELETE") {
      s = parseDelete();
    } else if (w == "MERGE") {
      s = parseMerge();
    } else if (w == "CREATE") {
      s = parseCreate();
    } else if (w == "DROP") {
      s = parseDrop();
    } else if (w == "TRUNCATE") {
      next();
      expectWord("TABLE");
      auto tr = make<TruncateStmt>(line);
      tr->table = parseName();
      s = std::move(tr);
    } else if (w == "USE") {
      next();
      auto u = make<UseStmt>(line);
      u->database = parseIdentifier();
      s = std::move(u);
    } else if (w == "DECLARE") {
      s = parseDeclare();
    } else if (w == "SET") {
      s = parseSet();
    } else if (w == "IF") {
      s = parseIf();
    } else if (w == "WHILE") {
      s = parseWhile();
    } else if (w == "BEGIN") {
      s = parseBegin();
    } else if (w == "RETURN") {
      s = parseReturn();
    } else if (w == "BREAK" || w == "CONTINUE") {
      next();
      s = std::make_unique<Stmt>(w == "BREAK" ? StmtKind::Break : StmtKind::Continue);
    } else if (w == "PRINT") {
      next();
      auto p = make<PrintStmt>(line);
      p->value = parseExpr();
      // The xml methods count as subqueries, which PRINT does not take.
      if (containsXmlMethod(*p->value)) throw SqlError(1046, {});
      s = std::move(p);
    } else if (w == "RAISERROR") {
      s = parseRaiserror();
    } else if (w == "WAITFOR") {
      s = parseWaitfor();
    } else if (w == "EXEC" || w == "EXECUTE") {
      next();
      s = parseExec(true);
    } else if (w == "COMMIT") {
      s = parseTransaction(TransactionStmt::Op::Commit);
    } else if (w == "ROLLBACK") {
      s = parseTransaction(TransactionStmt::Op::Rollback);
    } else if (w == "SAVE") {
      s = parseTransaction(TransactionStmt::Op::Save);
    } else if (w == "KILL" && peek(1).kind == TokenKind::Integer) {
      next();
      auto k = make<KillStmt>(line);
      k->spid = parseLiteral();
      s = std::move(k);
    } else if (w == "WITH" && peek(1).kind != TokenKind::Symbol) {
      s = parseWith();
    } else if (w == "THROW") {
      s = parseThrow();
    } else if (w == "ALTER" && (isWord("TRIGGER", 1) || isWord("VIEW", 1) || isWord("PROC", 1) ||
                                isWord("PROCEDURE", 1) || isWord("FUNCTION", 1))) {
      std::size_t start = t.offset;
      next();
      s = parseModule(start, ModuleMode::Alter);
    } else if ((w == "ENABLE" || w == "DISABLE") && isWord("TRIGGER", 1)) {
      s = parseEnableTrigger();
    } else if (w == "ALTER" && isWord("SEQUENCE", 1)) {
      next();
      s = parseSequence(true);
    } else if (w == "ALTER" && isWord("DATABASE", 1) && isWord("COLLATE", 3)) {
      next();
      next();
      auto a = make<CreateDatabaseStmt>(line);
      a->alter = true;
      a->name = acceptWord("CURRENT") ? "CURRENT" : parseIdentifier();
      expectWord("COLLATE");
      a->collation = parseIdentifier();
      collationId(a->collation);
      s = std::move(a);
    } else if (w == "ALTER" && isWord("TABLE", 1)) {
      s = parseAlterTable();
    } else if (w == "ALTER" && isWord("SCHEMA", 1)) {
      next();
      next();
      auto a = make<CreateSchemaStmt>(line);
      a->name = parseIdentifier();
      expectWord("TRANSFER");
      // An OBJECT:: class prefix names what is transferred anyway.
      if (isWord("OBJECT") && isSymbol(":", 1)) {
        next();
        expectSymbol(":");
        expectSymbol(":");
      }
      a->transfer = parseName();
      s = std::move(a);
    } else if (w == "READTEXT") {
      s = parseReadtext();
    } else if (w == "WRITETEXT" || w == "UPDATETEXT") {
      s = parseWritetext(w == "UPDATETEXT");
    } else if (firstInBatch && !isReserved(t)) {
      // A batch may start with a procedure name and no EXEC.
      s = parseExec(false);
    } else {
      syntaxError();
    }
  } else if (t.kind == TokenKind::Symbol && t.text == "(" && isWord("SELECT", 1)) {
    auto q = make<QueryStmt>(line);
    q->select = parseSelect();
    s = std::move(q);
  } else {
    syntaxError();
  }
  s->line = line;
  auto own = sequenceRefs_.begin() + static_cast<std::ptrdiff_t>(sequencesBefore);
  s->sequences.assign(std::make_move_iterator(own), std::make_move_iterator(sequenceRefs_.end()));
  sequenceRefs_.erase(own, sequenceRefs_.end());
  return s;
}

StmtPtr Parser::parseInsert() {
  int line = next().line;
  auto s = make<InsertStmt>(line);
  // INSERT BULK name (column type, ...) [WITH (hints)]: the rows follow in a
  // bulk-load message. A table that is itself named bulk is still a target.
  if (isWord("BULK") &&
      (peek(1).kind == TokenKind::Word || peek(1).kind == TokenKind::QuotedName) &&
      !isWord("VALUES", 1) && !isWord("SELECT", 1) && !isWord("DEFAULT", 1) && !isWord("EXEC", 1) &&
      !isWord("EXECUTE", 1) && !isWord("WITH", 1)) {
    next();
    s->bulk = true;
    s->table = parseName();
    if (acceptSymbol("(")) {
      // Each column's declared type is the client's view of the column; the
      // rows carry their own types, so only the names matter here.
      do {
        s->columns.push_back(parseIdentifier());
        int depth = 0;
        while (!atEnd() && (depth > 0 || (!isSymbol(",") && !isSymbol(")")))) {
          if (isSymbol("(")) ++depth;
          if (isSymbol(")")) --depth;
          next();
        }
      } while (acceptSymbol(","));
      expectSymbol(")");
    }
    if (acceptWord("WITH")) {
      expectSymbol("(");
      int depth = 1;
      while (!atEnd() && depth > 0) {
        if (isSymbol("(")) ++depth;
        if (isSymbol(")")) --depth;
        if (isWord("FIRE_TRIGGERS")) s->fireTriggers = true;
        if (depth == 1 && isWord("ORDER") && isSymbol("(", 1)) {
          next();
          next();
          do {
            std::string column = parseIdentifier();
            bool descending = acceptWord("DESC");
            if (!descending) acceptWord("ASC");
            s->bulkOrder.emplace_back(std::move(column), descending);
          } while (acceptSymbol(","));
          expectSymbol(")");
          continue;
        }
        next();
      }
      if (depth > 0) syntaxError();
    }
    return s;
  }
  acceptWord("INTO");
  s->table = parseTableName();
  skipTableHints(false);
  if (isSymbol("(") && !isWord("SELECT", 1)) {
    next();
    do s->columns.push_back(parseName().back());
    while (acceptSymbol(","));
    expectSymbol(")");
  }
  s->output = parseOutput(line);
  if (acceptWord("DEFAULT")) {
    expectWord("VALUES");
    s->defaultValues = true;
  } else if (acceptWord("VALUES")) {
    do {
      expectSymbol("(");
      std::vector<ExprPtr> row;
      do {
        if (acceptWord("DEFAULT")) {
          row.push_back(nullptr);
        } else {
          row.push_back(parseExpr());
        }
      } while (acceptSymbol(","));
      expectSymbol(")");
      s->rows.push_back(std::move(row));
    } while (acceptSymbol(","));
  } else if (isWord("SELECT") || isSymbol("(")) {
    s->select = parseSelect();
  } else if (isWord("EXEC") || isWord("EXECUTE")) {
    next();
    s->exec = parseExec(true);
  } else {
    syntaxError();
  }
  return s;
}

StmtPtr Parser::parseUpdate() {
  int line = next().line;
  auto s = make<UpdateStmt>(line);
  if (acceptWord("TOP")) {
    if (!isSymbol("(")) syntaxError();
    s->top = parsePrimary();
  }
  s->table = parseTableName();
  skipTableHints();
  expectWord("SET");
  s->sets = parseSetList();
  s->output = parseOutput(line);
  if (acceptWord("FROM")) s->from = parseFromList();
  if (acceptWord("WHERE")) s->where = parseExpr();
  parseQueryOptions(nullptr);
  return s;
}

std::vector<Assignment> Parser::parseSetList() {
  std::vector<Assignment> sets;
  do {
    Assignment a;
    if (peek().kind == TokenKind::Variable) {
      a.variable = next().text;
      expectSymbol("=");
      if (atIdentifier() && isSymbol("=", 1)) {
        a.column = next().text;
        next();
      }
    } else {
      Name name = parseName();
      if (name.size() > 1 && name.back() == "modify" && isSymbol("(")) {
        // SET column.modify('...') sets the column to its value modified.
        name.pop_back();
        a.column = name.back();
        auto target = std::make_unique<Expr>();
        target->kind = ExprKind::Column;
        target->offset = peek().offset;
        target->names = std::move(name);
        a.value = parseXmlMethodCall(std::move(target), "modify");
        sets.push_back(std::move(a));
        continue;
      }
      a.column = name.back();
      if (isSymbol("+=") || isSymbol("-=") || isSymbol("*=") || isSymbol("/=")) {
        std::string op = next().text.substr(0, 1);
        auto col = std::make_unique<Expr>();
        col->kind = ExprKind::Column;
        col->names = {a.column};
        auto bin = std::make_unique<Expr>();
        bin->kind = ExprKind::Binary;
        bin->op = op;
        bin->args.push_back(std::move(col));
        bin->args.push_back(parseExpr());
        a.value = std::move(bin);
        sets.push_back(std::move(a));
        continue;
      }
      expectSymbol("=");
    }
    if (!acceptWord("DEFAULT")) a.value = parseExpr();
    sets.push_back(std::move(a));
  } while (acceptSymbol(","));
  return sets;
}

std::unique_ptr<OutputClause> Parser::parseOutput(int line) {
  if (!acceptWord("OUTPUT")) return nullptr;
  auto out = std::make_unique<OutputClause>();
  out->select = std::make_shared<SelectStmt>();
  parseSelectItems(*out->select);
  if (acceptWord("INTO")) {
    auto into = make<InsertStmt>(line);
    into->table = parseTableName();
    if (acceptSymbol("(")) {
      do into->columns.push_back(parseIdentifier());
      while (acceptSymbol(","));
      expectSymbol(")");
    }
    into->select = out->select;
    out->into = std::move(into);
  }
  return out;
}

StmtPtr Parser::parseDelete() {
  int line = next().line;
  auto s = make<DeleteStmt>(line);
  if (acceptWord("TOP")) {
    if (!isSymbol("(")) syntaxError();
    s->top = parsePrimary();
  }
  acceptWord("FROM");
  s->table = parseTableName();
  skipTableHints();
  if (atIdentifier() && !atStatementStart() && !isWord("OUTPUT")) next();  // DELETE t alias
  s->output = parseOutput(line);
  if (acceptWord("FROM")) s->from = parseFromList();
  if (acceptWord("WHERE")) s->where = parseExpr();
  parseQueryOptions(nullptr);
  return s;
}

StmtPtr Parser::parseDeclare() {
  int line = next().line;
  auto s = make<DeclareStmt>(line);
  do {
    if (peek().kind != TokenKind::Variable) syntaxError();
    VarDecl v;
    v.name = next().text;
    acceptWord("AS");
    if (s->vars.empty() && isWord("TABLE")) {
      next();
      s->table = make<CreateTableStmt>(line);
      s->table->name = {v.name};
      parseTableElements(*s->table);
      return s;
    }
    v.type = parseDeclaredType(v.userType);
    if (acceptSymbol("=")) v.init = parseExpr();
    s->vars.push_back(std::move(v));
  } while (acceptSymbol(","));
  return s;
}

StmtPtr Parser::parseSet() {
  int line = next().line;
  if (peek().kind == TokenKind::Variable) {
    auto s = make<SetVarStmt>(line);
    s->name = next().text;
    if (atXmlMethod(0, true)) {
      // SET @x.modify('...') sets @x to the value modified.
      s->op = "=";
      auto target = std::make_unique<Expr>();
      target->kind = ExprKind::Variable;
      target->offset = peek().offset;
      target->op = s->name;
      next();
      next();
      s->value = parseXmlMethodCall(std::move(target), "modify");
      return s;
    }
    const Token& op = peek();
    if (op.kind != TokenKind::Symbol || (op.text != "=" && op.text != "+=" && op.text != "-=" &&
                                         op.text != "*=" && op.text != "/="))
      syntaxError();
    s->op = next().text;
    s->value = parseExpr();
    if (s->op != "=") {
      // SET @v += x is SET @v = @v + x.
      auto var = std::make_unique<Expr>();
      var->kind = ExprKind::Variable;
      var->op = s->name;
      auto sum = std::make_unique<Expr>();
      sum->kind = ExprKind::Binary;
      sum->op = s->op.substr(0, 1);
      sum->args.push_back(std::move(var));
      sum->args.push_back(std::move(s->value));
      s->value = std::move(sum);
      s->op = "=";
    }
    return s;
  }
  auto s = make<SetOptionStmt>(line);
  if (isWord("TRANSACTION")) {
    // SET TRANSACTION ISOLATION LEVEL READ COMMITTED ...: recorded and reported.
    s->options.push_back("TRANSACTION ISOLATION LEVEL");
    next();
    expectWord("ISOLATION");
    expectWord("LEVEL");
    std::string level;
    while (peek().kind == TokenKind::Word && !atStatementStart()) level += upper(next().text) + " ";
    s->value = level;
    return s;
  }
  do {
    if (peek().kind != TokenKind::Word) syntaxError();
    s->options.push_back(upper(next().text));
    if (s->options.back() == "IDENTITY_INSERT") s->table = parseName();
  } while (acceptSymbol(","));
  const Token& v = peek();
  if (v.kind == TokenKind::Word || v.kind == TokenKind::QuotedName || v.kind == TokenKind::String) {
    s->value = upper(next().text);
  } else if (v.kind == TokenKind::Integer || v.kind == TokenKind::Variable || isSymbol("-")) {
    s->valueExpr = parseExpr();
  } else {
    syntaxError();
  }
  applyQuotedIdentifier(*s);
  return s;
}

StmtPtr Parser::parseIf() {
  int line = next().line;
  auto s = make<IfStmt>(line);
  s->condition = parseExpr();
  while (acceptSymbol(";")) {
  }
  s->thenStmt = parseStatement(false);
  while (isSymbol(";") && isWord("ELSE", 1)) next();
  if (acceptWord("ELSE")) s->elseStmt = parseStatement(false);
  return s;
}

StmtPtr Parser::parseWhile() {
  int line = next().line;
  auto s = make<WhileStmt>(line);
  s->condition = parseExpr();
  s->body = parseStatement(false);
  return s;
}

StmtPtr Parser::parseBegin() {
  int line = peek().line;
  if (isWord("TRY", 1)) return parseTryCatch();
  if (isWord("TRAN", 1) || isWord("TRANSACTION", 1) || isWord("DISTRIBUTED", 1)) {
    next();
    acceptWord("DISTRIBUTED");
    next();
    auto s = make<TransactionStmt>(line);
    s->op = TransactionStmt::Op::Begin;
    if (atIdentifier() && !atStatementStart())
      s->name = next().text;
    else if (peek().kind == TokenKind::Variable)
      next();
    if (isWord("WITH") && isWord("MARK", 1)) {
      next();
      next();
      if (peek().kind == TokenKind::String) next();
    }
    return s;
  }
  next();
  auto s = make<BlockStmt>(line);
  for (;;) {
    if (acceptSymbol(";")) continue;
    if (acceptWord("END")) break;
    if (atEnd()) syntaxError();
    s->body.push_back(parseStatement(false));
  }
  return s;
}

std::vector<StmtPtr> Parser::parseBlockUntil(std::string_view closing) {
  std::vector<StmtPtr> body;
  for (;;) {
    if (acceptSymbol(";")) continue;
    if (isWord("END") && isWord(closing, 1)) {
      next();
      next();
      return body;
    }
    if (atEnd()) syntaxError();
    body.push_back(parseStatement(false));
  }
}

StmtPtr Parser::parseTryCatch() {
  int line = next().line;
  next();
  auto s = make<TryCatchStmt>(line);
  s->tryBody = parseBlockUntil("TRY");
  while (acceptSymbol(";")) {
  }
  if (!isWord("BEGIN") || !isWord("CATCH", 1)) syntaxError();
  next();
  next();
  s->catchBody = parseBlockUntil("CATCH");
  return s;
}

namespace {

bool refersTo(const TableRef& t, const std::string& name) {
  if (t.kind == TableRef::Kind::Named) return t.name.size() == 1 && iequals(t.name[0], name);
  if (t.kind == TableRef::Kind::Join) return refersTo(*t.left, name) || refersTo(*t.right, name);
  return false;
}

bool refersTo(const SelectStmt& s, const std::string& name) {
  for (const auto& f : s.from)
    if (refersTo(*f, name)) return true;
  return false;
}

}  // namespace

StmtPtr Parser::parseWith() {
  next();
  std::string namespaces;
  const Token xmlNamespaces = peek();
  if (isWord("XMLNAMESPACES") && isSymbol("(", 1)) {
    next();
    namespaces = parseXmlNamespaces();
  }
  std::vector<CommonTable> ctes;
  // Common table expressions follow WITH XMLNAMESPACES after a comma.
  for (bool more = namespaces.empty() || acceptSymbol(","); more; more = acceptSymbol(",")) {
    CommonTable c;
    c.name = parseIdentifier();
    if (acceptSymbol("(")) {
      do c.columns.push_back(parseIdentifier());
      while (acceptSymbol(","));
      expectSymbol(")");
    }
    expectWord("AS");
    expectSymbol("(");
    c.select = parseSelect();
    expectSymbol(")");
    // The parts after the anchor that name the expression itself make it
    // recursive.
    for (const auto& u : c.select->unions)
      if (refersTo(*u.select, c.name)) c.recursive = true;
    if (c.recursive) {
      for (auto& u : c.select->unions) c.recursiveParts.emplace_back(u.all, std::move(u.select));
      c.select->unions.clear();
    }
    ctes.push_back(std::move(c));
  }
  StmtPtr s = parseStatement(false);
  s->xmlNamespaces = namespaces;
  switch (s->kind) {
    case StmtKind::Select: {
      SelectStmt& select = *static_cast<QueryStmt&>(*s).select;
      // FOR XML does not write the declarations: refused rather than
      // giving names whose prefixes the text leaves undeclared.
      if (select.forXml && !namespaces.empty()) syntaxErrorAt(xmlNamespaces);
      select.with = std::move(ctes);
      select.xmlNamespaces = std::move(namespaces);
      break;
    }
    case StmtKind::Insert:
      static_cast<InsertStmt&>(*s).with = std::move(ctes);
      break;
    case StmtKind::Update:
      static_cast<UpdateStmt&>(*s).with = std::move(ctes);
      break;
    case StmtKind::Delete:
      static_cast<DeleteStmt&>(*s).with = std::move(ctes);
      break;
    case StmtKind::Merge:
      static_cast<MergeStmt&>(*s).with = std::move(ctes);
      break;
    default:
      syntaxError();
  }
  return s;
}

namespace {

// A namespace URI as WITH XMLNAMESPACES takes it: white space collapsed.
std::string collapsedUri(std::string_view text) {
  std::string out;
  bool space = false;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      space = !out.empty();
      continue;
    }
    if (space) out += ' ';
    space = false;
    out += c;
  }
  return out;
}

}  // namespace

// ('uri' AS prefix, DEFAULT 'uri', ...), encoded by encodeXmlNamespace. A
// prefix declared twice, a second DEFAULT, an empty URI, the prefix xmlns
// and xml bound elsewhere than its own namespace are refused.
std::string Parser::parseXmlNamespaces() {
  expectSymbol("(");
  std::string out;
  std::set<std::string> prefixes;
  do {
    const Token at = peek();
    const bool isDefault = acceptWord("DEFAULT");
    const Token uriToken = peek();
    if (uriToken.kind != TokenKind::String && uriToken.kind != TokenKind::NString) syntaxError();
    next();
    std::string prefix;
    if (!isDefault) {
      expectWord("AS");
      const Token name = peek();
      prefix = parseIdentifier();
      if (prefix.find(':') != std::string::npos || prefix == "xmlns") syntaxErrorAt(name);
    }
    const std::string uri = collapsedUri(uriToken.text);
    const bool xmlNamespace = uri == "http://www.w3.org/XML/1998/namespace";
    if (uri.empty() || !prefixes.insert(prefix).second || (prefix == "xml") != xmlNamespace)
      syntaxErrorAt(at);
    encodeXmlNamespace(out, prefix, uri);
  } while (acceptSymbol(","));
  expectSymbol(")");
  return out;
}

StmtPtr Parser::parseThrow() {
  int line = next().line;
  auto s = make<ThrowStmt>(line);
  if (atStatementStart()) return s;
  s->number = parseExpr();
  expectSymbol(",");
  s->message = parseExpr();
  expectSymbol(",");
  s->state = parseExpr();
  return s;
}

StmtPtr Parser::parseReturn() {
  int line = next().line;
  auto s = make<ReturnStmt>(line);
  const Token& t = peek();
  bool exprFollows = t.kind == TokenKind::Integer || t.kind == TokenKind::Variable ||
                     t.kind == TokenKind::Decimal || t.kind == TokenKind::String || isSymbol("(") ||
                     isSymbol("-") ||
                     (t.kind == TokenKind::Word && !isReserved(t) && isSymbol("(", 1));
  if (exprFollows) s->value = parseExpr();
  return s;
}

StmtPtr Parser::parseRaiserror() {
  int line = next().line;
  auto s = make<RaiserrorStmt>(line);
  if (acceptSymbol("(")) {
    do s->args.push_back(parseExpr());
    while (acceptSymbol(","));
    expectSymbol(")");
  } else {
    // The old form: RAISERROR number 'text'.
    s->oldNumber = parseLiteral();
    s->args.push_back(parsePrimary());
  }
  if (acceptWord("WITH")) {
    do {
      std::string opt = upper(next().text);
      if (opt == "NOWAIT")
        s->withNowait = true;
      else if (opt == "SETERROR")
        s->withSetError = true;
      else if (opt == "LOG")
        s->withLog = true;
      else
        syntaxError();
    } while (acceptSymbol(","));
  }
  return s;
}

StmtPtr Parser::parseWaitfor() {
  int line = next().line;
  auto s = make<WaitforStmt>(line);
  if (acceptWord("DELAY")) {
    s->delay = true;
  } else if (acceptWord("TIME")) {
    s->delay = false;
  } else {
    syntaxError();
  }
  s->time = parsePrimary();
  return s;
}

std::unique_ptr<ExecStmt> Parser::parseExec(bool keywordSeen) {
  (void)keywordSeen;
  auto s = make<ExecStmt>(peek().line);
  if (isSymbol("(")) {
    next();
    s->dynamicSql = parseExpr();
    expectSymbol(")");
    return s;
  }
  if (peek().kind == TokenKind::Variable) {
    std::string v = next().text;
    if (acceptSymbol("=")) {
      s->returnVar = v;
    } else {
      auto e = std::make_unique<Expr>();
      e->kind = ExprKind::Variable;
      e->op = v;
      s->procVar = std::move(e);
    }
  }
  if (!s->procVar) {
    if (peek().kind == TokenKind::Variable) {
      auto e = std::make_unique<Expr>();
      e->kind = ExprKind::Variable;
      e->op = next().text;
      s->procVar = std::move(e);
    } else {
      const Token& t = peek();
      if (t.kind != TokenKind::Word && t.kind != TokenKind::QuotedName) syntaxError();
      s->proc.push_back(next().text);
      while (acceptSymbol(".")) {
        while (acceptSymbol(".")) s->proc.emplace_back();
        s->proc.push_back(parseIdentifier());
      }
      if (isSymbol(";") && peek(1).kind == TokenKind::Integer) {
        next();
        next();
      }
    }
  }
  if (atStatementStart() || isSymbol(")")) return s;
  do {
    ExecArg arg;
    if (peek().kind == TokenKind::Variable && isSymbol("=", 1)) {
      arg.name = next().text;
      next();
    }
    if (acceptWord("DEFAULT")) {
      arg.value = nullptr;
    } else if (peek().kind == TokenKind::Word && !isReserved(peek()) && !isSymbol("(", 1) &&
               !isWord("NULL")) {
      // A bare word passes as a string (EXEC sp_help orders).
      auto lit = std::make_unique<Expr>();
      lit->kind = ExprKind::Literal;
      std::string w = next().text;
      lit->value = Value(w);
      lit->type = makeType(SqlType::VarChar, static_cast<int>(w.size()));
      arg.value = std::move(lit);
    } else {
      arg.value = parseExpr();
    }
    if (acceptWord("OUTPUT") || acceptWord("OUT")) arg.output = true;
    s->args.push_back(std::move(arg));
  } while (acceptSymbol(","));
  if (isWord("WITH") && isWord("RECOMPILE", 1)) {
    next();
    next();
  }
  return s;
}

StmtPtr Parser::parseTransaction(TransactionStmt::Op op) {
  int line = next().line;
  auto s = make<TransactionStmt>(line);
  s->op = op;
  if (!acceptWord("TRAN") && !acceptWord("TRANSACTION")) {
    if (op == TransactionStmt::Op::Save) syntaxError();
    acceptWord("WORK");
  }
  if (atIdentifier() && !atStatementStart()) {
    s->name = next().text;
  } else if (peek().kind == TokenKind::Variable) {
    s->name = next().text;
  }
  return s;
}

StmtPtr Parser::parseReadtext() {
  int line = next().line;
  auto s = make<ReadtextStmt>(line);
  s->column = parseName();
  s->pointer = parsePrimary();
  s->offset = parsePrimary();
  s->size = parsePrimary();
  acceptWord("HOLDLOCK");
  return s;
}

StmtPtr Parser::parseWritetext(bool update) {
  int line = next().line;
  auto s = make<WritetextStmt>(line);
  s->update = update;
  s->bulk = acceptWord("BULK");
  s->column = parseName();
  s->pointer = parsePrimary();
  // The row's timestamp as the client read it; rows here carry no version to
  // check it against.
  if (isWord("TIMESTAMP") && isSymbol("=", 1)) {
    next();
    next();
    parsePrimary();
  }
  if (update) {
    if (!acceptWord("NULL")) s->insertOffset = parseUnary();
    if (!acceptWord("NULL")) s->deleteLength = parseUnary();
  }
  if (isWord("WITH") && isWord("LOG", 1)) {
    next();
    next();
  }
  if (!s->bulk && !atStatementStart()) s->data = parsePrimary();
  return s;
}

}  // namespace tessel::sqld::engine
