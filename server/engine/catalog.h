#pragma once

// The catalog of one session's databases. Each SQLite database file holds
// its own catalog tables with SQL Server 2000's layout (sysobjects,
// syscolumns, systypes, sysindexes, sysindexkeys, syscomments; master also
// sysdatabases), so that clients query them as they are and the binder reads
// SQL Server types from them. Temporary objects live in SQLite's "temp"
// schema with a catalog of their own. One Catalog per session connection.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sqld/values.h"

struct sqlite3;

namespace tessel::sqld::engine {

struct ColumnInfo {
  std::string name;
  TypeInfo type;
  int colid = 0;
  bool identity = false;
  std::string defaultText;  // T-SQL expression of the DEFAULT, empty if none
  // The ANSI_PADDING the column was created with. Off: char(n) NULL and
  // binary(n) NULL hold their values unpadded, and they, varchar(n) and
  // varbinary(n) drop trailing blanks or zero bytes on the way in.
  bool ansiPadded = true;
  // timestamp (rowversion): every INSERT and UPDATE of a row sets it to the
  // database's next value; no statement writes it.
  bool rowversion = false;
  // A computed column's expression (its T-SQL text, parenthesized as
  // sys.computed_columns shows it); SQLite computes it as a generated
  // column, on read or, PERSISTED, on write.
  std::string computedText;
  bool persisted = false;
  bool computed() const { return !computedText.empty(); }
};

// Whether values stored in `c` lose their trailing blanks (character) or
// zero bytes (binary); the (max) types never do.
bool trimsTrailing(const ColumnInfo& c);
// The type values are converted to before they are stored in `c`: varchar(n)
// and varbinary(n) for the char(n) NULL and binary(n) NULL columns that
// trim, the column's own type otherwise.
TypeInfo storedType(const ColumnInfo& c);

// Events a trigger fires on, as bits of TriggerInfo::events.
constexpr int kTriggerInsert = 1;
constexpr int kTriggerUpdate = 2;
constexpr int kTriggerDelete = 4;

// A trigger on a table or view. Its definition is the CREATE TRIGGER text in
// syscomments; sysobjects keeps it as type TR with the table as parent and
// its events and timing in status (kTriggerStatus* in catalog.cpp).
struct TriggerInfo {
  std::int64_t id = 0;
  std::string name;
  int events = 0;
  bool insteadOf = false;
  bool disabled = false;  // DISABLE TRIGGER: it does not fire
};

// The schema ids every database has; CREATE SCHEMA numbers its schemas from
// kFirstUserSchemaId on.
constexpr int kDboSchemaId = 1;
constexpr int kSysSchemaId = 4;
constexpr int kFirstUserSchemaId = 5;

// The SQLite table that holds the rows of table `name` of the T-SQL schema
// `owner` (id `ownerId`). dbo's tables keep their own names, as databases
// always stored them; other schemas' names carry the schema before a '~'.
std::string storedTableName(int ownerId, const std::string& owner, const std::string& name);

struct TableInfo {
  std::int64_t id = 0;
  std::string name;
  std::string schema;          // SQLite schema: a database name or "temp"
  std::string database;        // the database as T-SQL names it
  int ownerId = kDboSchemaId;  // the T-SQL schema (sysobjects.uid)
  std::string owner = "dbo";   // its name
  std::string storedName;      // the SQLite table (storedTableName)
  std::string xtype;           // "U", "S" or "V"
  std::vector<ColumnInfo> columns;
  std::string viewText;           // CREATE VIEW text for views
  bool quotedIdentifier = false;  // the QUOTED_IDENTIFIER the view was created with
  int identityColumn = -1;
  std::int64_t identitySeed = 1;
  std::int64_t identityIncrement = 1;
  std::vector<TriggerInfo> triggers;  // in the order they were created

  const ColumnInfo* column(std::string_view name) const;
  int columnIndex(std::string_view name) const;
  // "schema"."storedName", as generated SQL names the table.
  std::string qualifiedName() const;
  // owner.name, as messages name the table.
  std::string ownerQualified() const { return owner + "." + name; }
};

struct ProcInfo {
  std::int64_t id = 0;
  std::string name;
  int ownerId = kDboSchemaId;
  std::string text;
  bool quotedIdentifier = false;  // as it was when the procedure was created
  std::string xtype = "P";        // P, or FN, IF, TF for functions
};

class Catalog {
 public:
  explicit Catalog(sqlite3* db) : db_(db) {}

  // Creates the catalog tables in a new, empty database.
  static void initialize(sqlite3* db, const std::string& schema, bool master);
  // tempdb's catalog as a session sees it: the shared tempdb's rows and
  // those of the session's own temporary objects, whose #names show padded
  // to SQL Server's form with a hexadecimal suffix counted from
  // `suffixBase`. Temporary views of the session's connection, which has
  // tempdb attached.
  static void createTempdbViews(sqlite3* db, std::int64_t suffixBase);
  // The temporary view that shows `table` (sysobjects ...) of tempdb, or
  // empty when tempdb's own table serves.
  static std::string tempdbView(const std::string& table);

  // The id of the T-SQL schema `name` in the database of SQLite schema
  // `schema`; 0 when there is none.
  int schemaId(const std::string& schema, const std::string& name);
  // The name of schema `id`; empty when there is none.
  std::string schemaName(const std::string& schema, int id);

  // Null when the table or view does not exist in T-SQL schema `owner`.
  // System tables answer in dbo and sys.
  std::shared_ptr<const TableInfo> table(const std::string& schema, const std::string& database,
                                         const std::string& name, int owner = kDboSchemaId);
  std::optional<ProcInfo> procedure(const std::string& schema, const std::string& name,
                                    int owner = kDboSchemaId);
  // A user-defined function (FN, IF or TF), with its CREATE FUNCTION text.
  std::optional<ProcInfo> function(const std::string& schema, const std::string& name,
                                   int owner = kDboSchemaId);
  // 0 when T-SQL schema `owner` has no object of that name.
  std::int64_t objectId(const std::string& schema, const std::string& name,
                        int owner = kDboSchemaId);
  std::int64_t nextObjectId(const std::string& schema);
  void invalidate() { cache_.clear(); }

  void addObject(const std::string& schema, std::int64_t id, const std::string& name,
                 const std::string& xtype, std::int64_t parent = 0, int owner = kDboSchemaId);
  void addColumn(const std::string& schema, std::int64_t tableId, const ColumnInfo& column,
                 std::int64_t defaultId, bool isParam = false, bool isOutput = false);
  void addComment(const std::string& schema, std::int64_t id, const std::string& text);
  // Records a trigger's events and timing on its sysobjects row.
  void setTriggerEvents(const std::string& schema, std::int64_t id, int events, bool insteadOf);
  // DISABLE TRIGGER and ENABLE TRIGGER.
  void setTriggerDisabled(const std::string& schema, std::int64_t id, bool disabled);
  // The definition text of a view, procedure or trigger, and the
  // QUOTED_IDENTIFIER it was created with.
  std::string objectText(const std::string& schema, std::int64_t id, bool* quotedIdentifier);
  // Views and procedures keep the QUOTED_IDENTIFIER they were created with.
  void setQuotedIdentifier(const std::string& schema, std::int64_t id, bool on);
  void addIndex(const std::string& schema, std::int64_t tableId, int indid, const std::string& name,
                int status, const std::vector<int>& colids);
  void setIdentity(const std::string& schema, std::int64_t tableId, std::int64_t seed,
                   std::int64_t increment);
  // Removes an object with everything that hangs off it.
  void dropObject(const std::string& schema, std::int64_t id);
  // Name of the constraint (PK, UQ, F, C) of `xtype` on a table; empty if none.
  std::string constraintName(const std::string& schema, std::int64_t tableId,
                             const std::string& xtype);
  std::int64_t nextIndexId(const std::string& schema, std::int64_t tableId);
  // The name of a table's clustered index (indid 1), empty for a heap.
  std::string clusteredIndexName(const std::string& schema, std::int64_t tableId);

 private:
  sqlite3* db_;
  std::map<std::string, std::shared_ptr<const TableInfo>> cache_;
};

// sysindexes.status of a clustered index or key.
constexpr int kClusteredIndexStatus = 0x10;

// systypes.xtype of a user-defined table type.
constexpr int kTableTypeXtype = 243;

// Ids of a session's temporary objects start here; shared databases' ids
// stay below.
constexpr std::int64_t kTemporaryIdBase = 1000000000;

// #name: a temporary object of one session. ##name: a global temporary
// table, kept in the shared tempdb while the session that made it lives.
inline bool isSessionTempName(std::string_view name) {
  return !name.empty() && name[0] == '#' && (name.size() < 2 || name[1] != '#');
}
inline bool isGlobalTempName(std::string_view name) {
  return name.size() >= 2 && name[0] == '#' && name[1] == '#';
}

// Maps a syscolumns xtype back to the engine's type.
std::optional<SqlType> sqlTypeFromXtype(int xtype);

}  // namespace tessel::sqld::engine
