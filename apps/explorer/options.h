#pragma once

// tessel-explorer's command line. Parsing never exits: errors come back as text.

#include <optional>
#include <string>

namespace tessel::explorer {

struct Options {
  std::string server;  // HOST:PORT
  std::string user;
  // --password, --password-file or TESSEL_PASSWORD; asked for in a dialog when missing.
  std::optional<std::string> password;
  std::string database;
  std::string sql;         // run at start when given
  std::string detail_sql;  // the detail query, with :master_field parameters
  std::string history;     // where the statements run are kept; empty: the default
  std::string expand;      // a table of the current database shown with its columns
  std::string screenshot;  // write a picture of the window and quit
  bool help = false;
};

// Fills out; returns an error message, empty when the arguments are good.
std::string ParseOptions(int argc, const char* const* argv, Options& out);
std::string Usage();

}  // namespace tessel::explorer
