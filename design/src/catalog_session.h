#pragma once

// The catalog reading of the SQL builder and the update-parameters dialogs:
// the user tables of the connection component's database and the columns of
// one of them, read through a query of the session's own. The session opens
// the connection component if needed and, when it ends, puts its Connected
// state back as it found it. GUI thread only.

#include <memory>
#include <string>
#include <vector>

namespace tessel {

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
