// User-defined types as variables and parameters use them: alias types give
// their base type; table types give table variables, which table-valued
// parameters (from RPC or EXEC @tablevariable) fill with their rows.

#include <sqlite3.h>

#include "ddl.h"
#include "errors.h"
#include "lexer.h"
#include "parser.h"
#include "session.h"
#include "types.h"

namespace tessel::sqld::engine {
std::int64_t SqliteSession::userTypeId(const std::string& schema, const std::string& name,
                                       int owner) {
  std::int64_t id = 0;
  querySql(db_.get(),
           "SELECT xusertype FROM " + quoteName(schema) +
               ".systypes WHERE name = ? COLLATE TSQL_CI AND xusertype > 256 AND uid = ?",
           {Stored::text(name), Stored::integer(owner)},
           [&](sqlite3_stmt* st) { id = sqlite3_column_int64(st, 0); });
  return id;
}

SqliteSession::UserType SqliteSession::resolveUserType(const Name& name, int position) {
  std::string schema = schemaOfName(name, nullptr);
  UserType out;
  bool found = false;
  int xtype = 0;
  std::int64_t tableId = 0;
  const int owner = schema.empty() ? 0 : ownerOfName(name, schema);
  if (owner) {
    querySql(
        db_.get(),
        "SELECT name, xtype, length, xprec, xscale, allownulls, domain FROM " + quoteName(schema) +
            ".systypes WHERE name = ? COLLATE TSQL_CI AND xusertype > 256 AND uid = ?",
        {Stored::text(name.back()), Stored::integer(owner)}, [&](sqlite3_stmt* st) {
          found = true;
          out.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
          xtype = sqlite3_column_int(st, 1);
          int length = sqlite3_column_int(st, 2);
          auto type = sqlTypeFromXtype(xtype).value_or(SqlType::Int);
          out.base = makeType(type, length, static_cast<std::uint8_t>(sqlite3_column_int(st, 3)),
                              static_cast<std::uint8_t>(sqlite3_column_int(st, 4)));
          if ((isCharType(type) || isBinaryType(type)) && !isLargeType(type))
            out.base.length =
                length < 0 ? (type == SqlType::NVarChar ? kMaxLength - 1 : kMaxLength) : length;
          out.base.nullable = sqlite3_column_int(st, 5) != 0;
          tableId = sqlite3_column_int64(st, 6);
        });
  }
  if (!found) throw SqlError(2715, {std::to_string(position), joinName(name)});
  if (xtype != kTableTypeXtype) return out;
  // The table type's columns come from its CREATE TYPE text, parsed once.
  std::string text = catalog_.objectText(schema, tableId, nullptr);
  auto& cached = procTexts_["0" + text];
  if (!cached) cached = std::make_shared<Batch>(parseBatch(text, false));
  auto* create = cached->statements.empty()
                     ? nullptr
                     : dynamic_cast<CreateTypeStmt*>(cached->statements[0].get());
  if (!create || !create->table) throw SqlError(2715, {std::to_string(position), joinName(name)});
  out.table = create->table.get();
  return out;
}

void SqliteSession::declareTableVariable(Frame& f, const std::string& var,
                                         const CreateTableStmt& definition,
                                         const std::string& typeName) {
  std::string key = lower(var);
  if (f.tableVars.count(key) || f.vars.count(key)) throw SqlError(134, {var});
  // A temporary table of a name no client can write stands for it.
  Name internal{"#" + var + "~" + std::to_string(++tableVarCount_)};
  Ddl(*this).createTable(definition, &internal);
  f.tableVars[key] = internal[0];
  if (!typeName.empty()) f.tableVarTypes[key] = typeName;
  liveTableVars_.push_back({internal[0], &definition});
  boundCache_.clear();
}

void SqliteSession::fillTableVariable(const std::string& table, const TableParam& rows) {
  auto info = findTable(Name{table});
  if (!info) throw SqlError(208, {table});
  if (rows.columns.size() != info->columns.size()) throw SqlError(213, {});
  // Columns left to their default get the next identity value, their
  // DEFAULT (evaluated for each row) or NULL.
  std::vector<std::size_t> sent;
  std::vector<const Expr*> defaults(info->columns.size(), nullptr);
  std::string cols, marks;
  bool identityDefaulted = false;
  for (std::size_t c = 0; c < info->columns.size(); ++c) {
    bool isIdentity = static_cast<int>(c) == info->identityColumn;
    const std::string& text = info->columns[c].defaultText;
    if (rows.defaulted[c] && !isIdentity && !text.empty()) {
      // Parsed once and kept: evaluate() caches by the expression's address.
      auto& cached = procTexts_["0SELECT " + text];
      if (!cached) cached = std::make_shared<Batch>(parseBatch("SELECT " + text, false));
      auto* query = dynamic_cast<QueryStmt*>(cached->statements.at(0).get());
      if (query && !query->select->items.empty()) defaults[c] = query->select->items[0].expr.get();
    }
    if (rows.defaulted[c] && !isIdentity && !defaults[c]) continue;
    if (rows.defaulted[c] && isIdentity) identityDefaulted = true;
    sent.push_back(c);
    cols += (cols.empty() ? "" : ", ") + quoteName(info->columns[c].name);
    marks += marks.empty() ? "?" : ", ?";
  }
  if (sent.empty() || rows.rows.empty()) return;
  SqliteStatement stmt = prepare(
      db_.get(), "INSERT INTO " + info->qualifiedName() + " (" + cols + ") VALUES (" + marks + ")");
  std::string q = quoteName(info->schema);
  std::int64_t next = 0;
  if (identityDefaulted) {
    querySql(
        db_.get(),
        "SELECT coalesce(current, seed - increment) FROM " + q + "._tessel_identity WHERE id = ?",
        {Stored::integer(info->id)}, [&](sqlite3_stmt* r) { next = sqlite3_column_int64(r, 0); });
  }
  BoundStatement b;
  b.target = info;
  for (const auto& row : rows.rows) {
    for (std::size_t i = 0; i < sent.size(); ++i) {
      std::size_t c = sent[i];
      const ColumnInfo& col = info->columns[c];
      Stored v;
      if (defaults[c]) {
        TypeInfo t;
        Frame none;
        v = convertValue(evaluate(*defaults[c], currentFrame_ ? *currentFrame_ : none, &t), t,
                         col.type, 0, settings_, true);
      } else if (rows.defaulted[c]) {
        next += info->identityIncrement;
        v = Stored::integer(next);
      } else {
        v = convertValue(storedFromValue(row[c], rows.columns[c]), rows.columns[c], col.type, 0,
                         settings_, true);
      }
      bindStored(stmt.get(), static_cast<int>(i + 1), v);
    }
    stepToEnd(stmt.get(), &b, "INSERT");
    sqlite3_reset(stmt.get());
  }
  if (identityDefaulted)
    execSql(db_.get(), "UPDATE " + q + "._tessel_identity SET current = ? WHERE id = ?",
            {Stored::integer(next), Stored::integer(info->id)});
}

std::shared_ptr<const TableParam> SqliteSession::tableArgument(Frame& f, const std::string& var) {
  std::string key = lower(var);
  auto it = f.tableVars.find(key);
  if (it == f.tableVars.end()) return nullptr;
  auto info = findTable(Name{it->second});
  if (!info) return nullptr;
  auto out = std::make_shared<TableParam>();
  // A variable declared with TABLE (...) has no type name a parameter accepts.
  auto type = f.tableVarTypes.find(key);
  out->typeName = type == f.tableVarTypes.end() ? "table" : type->second;
  for (const auto& c : info->columns) out->columns.push_back(c.type);
  out->defaulted.assign(info->columns.size(), false);
  querySql(db_.get(), "SELECT * FROM " + info->qualifiedName(), {}, [&](sqlite3_stmt* st) {
    std::vector<Value> row;
    for (std::size_t c = 0; c < info->columns.size(); ++c)
      row.push_back(valueFromStored(columnStored(st, static_cast<int>(c)), info->columns[c].type));
    out->rows.push_back(std::move(row));
  });
  return out;
}

bool SqliteSession::bindUserTypeParam(const ProcParam& p, int position, const CallArg* arg,
                                      Frame& frame, TypeInfo& type) {
  UserType ut = resolveUserType(p.userType, position);
  if (!ut.table) {
    if (arg && arg->table) throw SqlError(206, {arg->table->typeName, ut.name});
    type = ut.base;
    return false;
  }
  if (!p.readonly) throw SqlError(352, {p.name});
  if (arg && arg->output) throw SqlError(8162, {p.name});
  const TableParam* rows = arg ? arg->table.get() : nullptr;
  if (arg && !rows && arg->value && !arg->value->isNull())
    throw SqlError(206, {typeName(arg->type.type), ut.name});
  // The client may name the type with or without its schema; an RPC that
  // names none is taken for the parameter's type.
  if (rows && !rows->typeName.empty() && !iequals(rows->typeName, ut.name))
    throw SqlError(206, {rows->typeName, ut.name});
  declareTableVariable(frame, p.name, *ut.table, ut.name);
  const std::string& table = frame.tableVars[lower(p.name)];
  if (rows && !rows->isNull) fillTableVariable(table, *rows);
  readonlyTables_.insert(table);
  return true;
}

void SqliteSession::checkWritable(const std::shared_ptr<const TableInfo>& target) const {
  if (!target || !readonlyTables_.count(target->name)) return;
  // The table is named "#@param~N" after its parameter.
  const std::string& name = target->name;
  throw SqlError(10700, {name.substr(1, name.rfind('~') - 1)});
}

}  // namespace tessel::sqld::engine
