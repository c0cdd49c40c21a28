#pragma once

// The catalog reading of the SQL builder, the update-parameters and the
// fields dialogs: the user tables of the connection component's database,
// the columns of one of them, and the columns a query returns, read through
// a query of the session's own. The session opens
// the connection component if needed and, when it ends, puts its Connected
// state back as it found it. GUI thread only.

#include <memory>
#include <string>
#include <vector>

namespace tessel {

class TFieldDefs;
class TSQLServer;
class TTessel;

class TlqCatalogSession {
 public:
  TlqCatalogSession();
  ~TlqCatalogSession();
  TlqCatalogSession(const TlqCatalogSession&) = delete;
  TlqCatalogSession& operator=(const TlqCatalogSession&) = delete;

  // Creates the catalog query on `server` and remembers its Connected state.
  void Begin(TSQLServer* server);
  // Opens the connection component (a login when it is closed); raises what
  // the login raises.
  void Connect();
  // User table names, ordered by name.
  std::vector<std::string> Tables();
  // Column names of a user table, in the server's order.
  std::vector<std::string> Columns(const std::string& table);
  // The definitions of the columns query returns, asked of the server with
  // query's statement and parameters, copied into columns; raises what the
  // server says when the statement cannot be run.
  void DescribeQuery(const TTessel& query, TFieldDefs& columns);
  // Puts Connected back and frees the query. Failures are swallowed: the
  // dialog is closing and has nobody left to tell.
  void End() noexcept;

 private:
  std::vector<std::string> FirstColumn(const std::string& sql);
  // The connection component, taken from the catalog query: a component
  // destroyed meanwhile has detached the query, so it is never reached.
  TSQLServer* Server() const;

  std::unique_ptr<TTessel> FQuery;
  bool FWasConnected = false;
};

}  // namespace tessel
