#pragma once

// Writes every value of one column type through every write path of the
// package and reads the table back twice, through a fresh TTessel and through
// python-tds, reporting per value and path whether what arrived is exactly
// what was meant (or the value was refused before anything was sent, naming
// the field and the value). Then every row is written back unchanged and
// deleted through statements that compare all columns. Shared by the
// fidelity tests and the fidelity benchmark; raises only when the table
// cannot be made.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/SQLServer.h"
#include "value_table.h"

namespace tessel::fidelity {

// Where the independent client finds the server the package talks to.
struct ClientAddress {
  std::string host;
  int port = 1433;
  std::string user;
  std::string password;
  std::string database;
};

// From a "host:port" (or "host,port", or "host") server name.
ClientAddress MakeClientAddress(const std::string& server, const std::string& user,
                                const std::string& password, const std::string& database);

// One value through one path.
struct Arrival {
  std::string path;
  std::string value;   // the value's label
  bool exact = false;  // arrived exactly, or was refused as it must be
  std::string detail;  // what went wrong, when not exact
};

// The value column's name: long enough to be looked for in error messages.
inline constexpr const char* kValueField = "payload";

std::vector<Arrival> RoundTrip(TSQLServer& server, const ClientAddress& client,
                               const FidelityColumn& column);

// python-tds's reading of `SELECT k, payload FROM table`: key -> exact text
// (nullopt for NULL). Raises std::runtime_error with the client's output when
// it fails.
std::map<int, std::optional<std::string>> IndependentRead(const ClientAddress& client,
                                                          const std::string& table, int scale);

}  // namespace tessel::fidelity
