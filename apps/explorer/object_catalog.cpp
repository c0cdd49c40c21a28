#include "object_catalog.h"

#include <cctype>

#include "framework/field.h"
#include "framework/sysutils.h"
#include "runtime/Tessel.h"

namespace tessel::explorer {

namespace {

// The catalog tables of another database are named through it.
std::string In(const std::string& database, const char* table) {
  return QuoteName(database) + ".." + table;
}

// A literal for the catalog's name columns (nvarchar).
std::string Literal(const std::string& text) {
  return "N" + QuotedStr(text);
}

// The column's type as its declaration writes it.
std::string TypeText(const std::string& type, int length, int precision, int scale) {
  if (type == "char" || type == "varchar" || type == "binary" || type == "varbinary")
    return type + "(" + (length < 0 ? std::string("max") : std::to_string(length)) + ")";
  if (type == "nchar" || type == "nvarchar")
    return type + "(" + (length < 0 ? std::string("max") : std::to_string(length / 2)) + ")";
  if (type == "decimal" || type == "numeric")
    return type + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
  return type;
}

}  // namespace

ObjectCatalog::ObjectCatalog(TSQLServer* server) : query_(std::make_unique<TTessel>(nullptr)) {
  query_->SetName("Catalog");
  query_->SetSQLServer(server);
  query_->SetUpdateParams(nullptr);
}

ObjectCatalog::~ObjectCatalog() {
  try {
    query_->Close();
  } catch (...) {
    // Nothing to tell on the way out.
  }
}

template <typename Read>
void ObjectCatalog::ForEachRow(const std::string& sql, Read read) {
  query_->Close();
  query_->SQL()->SetText(sql);
  query_->Open();
  try {
    for (; !query_->Eof(); query_->Next()) read(*query_->Fields());
  } catch (...) {
    query_->Close();
    throw;
  }
  query_->Close();
}

std::vector<std::string> ObjectCatalog::Databases() {
  std::vector<std::string> names;
  ForEachRow("SELECT name FROM master..sysdatabases ORDER BY name",
             [&](TFields& row) { names.push_back(row[0]->AsString()); });
  return names;
}

std::string ObjectCatalog::CurrentDatabase() {
  std::string name;
  ForEachRow("SELECT DB_NAME() AS name", [&](TFields& row) { name = row[0]->AsString(); });
  return name;
}

std::vector<CatalogObject> ObjectCatalog::Objects(const std::string& database) {
  std::vector<CatalogObject> objects;
  ForEachRow("SELECT name, rtrim(type) AS kind FROM " + In(database, "sysobjects") +
                 " WHERE type IN ('U', 'V', 'P') "
                 "ORDER BY CASE rtrim(type) WHEN 'U' THEN 0 WHEN 'V' THEN 1 ELSE 2 END, name",
             [&](TFields& row) {
               const std::string type = row[1]->AsString();
               objects.push_back({row[0]->AsString(), type == "U"   ? ObjectKind::kTable
                                                      : type == "V" ? ObjectKind::kView
                                                                    : ObjectKind::kProcedure});
             });
  return objects;
}

std::vector<CatalogColumn> ObjectCatalog::Columns(const std::string& database,
                                                  const std::string& object) {
  std::vector<CatalogColumn> columns;
  ForEachRow(
      "SELECT c.name AS column_name, t.name AS type_name, c.length, c.xprec, c.xscale, "
      "c.isnullable FROM " +
          In(database, "syscolumns") + " c JOIN " + In(database, "sysobjects") +
          " o ON o.id = c.id LEFT JOIN " + In(database, "systypes") +
          " t ON t.xusertype = c.xusertype WHERE o.name = " + Literal(object) + " ORDER BY c.colid",
      [&](TFields& row) {
        columns.push_back({row[0]->AsString(),
                           TypeText(row[1]->AsString(), row[2]->AsInteger(), row[3]->AsInteger(),
                                    row[4]->AsInteger()),
                           row[5]->AsInteger() != 0});
      });
  return columns;
}

std::string QuoteName(const std::string& name) {
  bool plain = !name.empty() && std::isdigit(static_cast<unsigned char>(name[0])) == 0;
  for (const char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '_') plain = false;
  }
  if (plain) return name;
  std::string quoted = "[";
  for (const char c : name) {
    quoted += c;
    if (c == ']') quoted += ']';
  }
  return quoted + "]";
}

std::string ObjectReference(const std::string& current, const std::string& database,
                            const std::string& object) {
  if (CompareText(current, database) == 0) return QuoteName(object);
  return QuoteName(database) + ".." + QuoteName(object);
}

std::string StatementFor(const std::string& current, const std::string& database,
                         const CatalogObject& object) {
  const std::string reference = ObjectReference(current, database, object.name);
  if (object.kind == ObjectKind::kProcedure) return "EXEC " + reference;
  return "SELECT * FROM " + reference;
}

}  // namespace tessel::explorer
