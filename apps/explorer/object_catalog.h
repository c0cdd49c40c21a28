#pragma once

// What the explorer's object tree lists, read from the server's catalog: the
// databases, the tables, views and procedures of one database, and the
// columns of a table or view, each with one catalog query of its own query
// component on the window's connection. Names come back as the server spells
// them; DatabaseObject and the statements built from them quote what needs
// quoting. Raises what the catalog queries raise. Main thread.

#include <memory>
#include <string>
#include <vector>

namespace tessel {
class TSQLServer;
class TTessel;
}  // namespace tessel

namespace tessel::explorer {

enum class ObjectKind { kTable, kView, kProcedure };

struct CatalogObject {
  std::string name;
  ObjectKind kind = ObjectKind::kTable;
};

struct CatalogColumn {
  std::string name;
  std::string type;  // "int", "varchar(20)"
  bool nullable = true;
};

class ObjectCatalog {
 public:
  explicit ObjectCatalog(TSQLServer* server);
  ~ObjectCatalog();
  ObjectCatalog(const ObjectCatalog&) = delete;
  ObjectCatalog& operator=(const ObjectCatalog&) = delete;

  std::vector<std::string> Databases();
  // The database the connection's statements run in.
  std::string CurrentDatabase();
  // Tables, views and procedures, ordered by kind and name.
  std::vector<CatalogObject> Objects(const std::string& database);
  std::vector<CatalogColumn> Columns(const std::string& database, const std::string& object);

 private:
  // Opens sql and hands each row's fields to read, then closes.
  template <typename Read>
  void ForEachRow(const std::string& sql, Read read);

  std::unique_ptr<TTessel> query_;
};

// A name as a statement writes it: bare when it is a plain identifier,
// otherwise in brackets ("[order lines]").
std::string QuoteName(const std::string& name);
// The object as a statement in database current names it: "orders", or
// "shop..orders" from another database.
std::string ObjectReference(const std::string& current, const std::string& database,
                            const std::string& object);
// The statement a double-click writes: the rows of a table or view, a call
// of a procedure.
std::string StatementFor(const std::string& current, const std::string& database,
                         const CatalogObject& object);

}  // namespace tessel::explorer
