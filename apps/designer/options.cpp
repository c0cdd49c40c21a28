#include "options.h"

#include <functional>
#include <map>

#include "password_source.h"
#include "runtime/SQLServer.h"

namespace tessel::designer {

std::string Usage() {
  return std::string(
             "Usage: tessel-designer [FORM] [options]\n"
             "Designs a form of Tessel components: place a connection, queries and update\n"
             "objects from the palette, set their properties in the property panel, run a\n"
             "component's editor from its context menu or by double-clicking it, save the\n"
             "form as a text form file (the format tessel-run reads) and preview a query\n"
             "with live rows from the server.\n"
             "\n"
             "  FORM                 the form file to open (default: a new form)\n"
             "  --server HOST:PORT   log in to this server instead of the saved ServerName\n"
             "  --user USER          login name instead of the saved Username\n"
             "  --database DB        database instead of the saved DataBaseName\n"
             "  --select NAME        show this component in the property panel\n"
             "  --preview QUERY      run this query of the form in the preview\n"
             "  --screenshot FILE    save a picture of the window as FILE (PNG) and quit\n"
             "  --help               show this text\n"
             "The password, instead of the saved Password:\n") +
         apps::kPasswordOptionsHelp +
         "\n"
         "The login overrides apply to every TSQLServer of the form before any connects\n"
         "and are saved with the form. Without a display, run it under xvfb-run.\n";
}

std::string ParseOptions(int argc, const char* const* argv, Options& o) {
  // Each option takes a value, as --name VALUE or --name=VALUE.
  std::optional<std::string> password_option, password_file;
  const std::map<std::string, std::function<void(const std::string&)>> takes = {
      {"server", [&](const std::string& v) { o.server = v; }},
      {"user", [&](const std::string& v) { o.user = v; }},
      {"password", [&](const std::string& v) { password_option = v; }},
      {"password-file", [&](const std::string& v) { password_file = v; }},
      {"database", [&](const std::string& v) { o.database = v; }},
      {"select", [&](const std::string& v) { o.select = v; }},
      {"preview", [&](const std::string& v) { o.preview = v; }},
      {"screenshot", [&](const std::string& v) { o.screenshot = v; }},
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      return {};
    }
    if (arg.rfind("--", 0) != 0) {
      if (!o.form.empty()) return "more than one form file given";
      o.form = arg;
      continue;
    }
    const auto eq = arg.find('=');
    const std::string key = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    const auto option = takes.find(key);
    if (option == takes.end()) return "unknown option '--" + key + "'";
    if (eq != std::string::npos) {
      option->second(arg.substr(eq + 1));
    } else if (i + 1 < argc) {
      option->second(argv[++i]);
    } else {
      return arg + " needs a value";
    }
  }
  if (!o.preview.empty() && o.form.empty()) return "--preview needs a form file";
  return apps::ChoosePassword(password_option, password_file, o.password);
}

void OverrideLogins(const Options& options, TComponent& root) {
  for (int i = -1; i < root.ComponentCount(); ++i) {
    auto* server = dynamic_cast<TSQLServer*>(i < 0 ? &root : root.Components(i));
    if (server == nullptr) continue;
    if (options.server) server->SetServerName(*options.server);
    if (options.user) server->SetUsername(*options.user);
    if (options.password) server->SetPassword(*options.password);
    if (options.database) server->SetDataBaseName(*options.database);
  }
}

}  // namespace tessel::designer
