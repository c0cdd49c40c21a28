#include "options.h"

#include "password_source.h"

namespace tessel::explorer {

std::string Usage() {
  return std::string(
             "Usage: tessel-explorer --server HOST:PORT --user USER [--password PASSWORD |\n"
             "                       --password-file FILE] [options]\n"
             "Looks at the data of a SQL Server or tessel-sqld in a window: type a statement,\n"
             "run it, browse and edit the rows in a grid, read text and image columns,\n"
             "follow a detail query for the current row, export the rows as CSV or JSON,\n"
             "and open the server's databases, tables, views and procedures in a tree.\n"
             "\n"
             "  --server HOST:PORT   the server to log in to\n"
             "  --user USER          login name\n"
             "  --database DB        database to use (default: the login's default)\n"
             "  --sql TEXT           statement to run at start\n"
             "  --detail-sql TEXT    detail statement; :name parameters take the current\n"
             "                       row's field of that name\n"
             "  --history FILE       keep the statements run in FILE (default:\n"
             "                       ~/.local/share/tessel-explorer/history.json)\n"
             "  --expand TABLE       open TABLE's columns in the object tree at start\n"
             "  --screenshot FILE    run the statements, save a picture of the window, quit\n"
             "  --help               show this text\n"
             "The password (asked for in a dialog when none is given):\n") +
         apps::kPasswordOptionsHelp +
         "\n"
         "Rows are read in a worker thread with a count of rows so far; Cancel stops a\n"
         "statement on the server. Keys: F5 or Ctrl+Enter runs, Shift+F5 executes a\n"
         "statement without rows, Escape cancels, Ctrl+Up and Ctrl+Down step through\n"
         "the statements run before. Without a display, run it under xvfb-run.\n";
}

std::string ParseOptions(int argc, const char* const* argv, Options& o) {
  std::optional<std::string> password_option, password_file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return {};
    }
    if (arg.rfind("--", 0) != 0) return "unexpected argument '" + arg + "'";
    std::string key = arg.substr(2);
    std::string value;
    if (const auto eq = key.find('='); eq != std::string::npos) {
      value = key.substr(eq + 1);
      key = key.substr(0, eq);
    } else {
      if (i + 1 >= argc) return arg + " needs a value";
      value = argv[++i];
    }
    if (key == "server") {
      o.server = value;
    } else if (key == "user") {
      o.user = value;
    } else if (key == "password") {
      password_option = value;
    } else if (key == "password-file") {
      password_file = value;
    } else if (key == "database") {
      o.database = value;
    } else if (key == "sql") {
      o.sql = value;
    } else if (key == "detail-sql") {
      o.detail_sql = value;
    } else if (key == "history") {
      o.history = value;
    } else if (key == "expand") {
      o.expand = value;
    } else if (key == "screenshot") {
      o.screenshot = value;
    } else {
      return "unknown option '--" + key + "'";
    }
  }
  if (o.server.empty()) return "--server HOST:PORT is required";
  if (o.user.empty()) return "--user is required";
  return apps::ChoosePassword(password_option, password_file, o.password);
}

}  // namespace tessel::explorer
