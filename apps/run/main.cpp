// tessel-run: loads a form file, optionally points its servers at another
// server or login, opens one of its queries and prints the rows as a table,
// CSV or JSON. The output is UTF-8 whatever the locale: the values are read as
// UTF-8 and written as they are.

#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include "framework/form_files.h"
#include "framework/sysutils.h"
#include "password_source.h"
#include "result_export.h"
#include "run_params.h"
#include "runtime/SQLServer.h"
#include "runtime/Tessel.h"
#include "runtime/published.h"
#include "table.h"

namespace {

using namespace tessel;

const char kUsageHead[] =
    "usage: tessel-run FORM [--query NAME] [--server HOST:PORT] [--user USER]\n"
    "                  [--password PASSWORD | --password-file FILE] [--database DB]\n"
    "                  [--param NAME=VALUE]... [--format table|csv|json]\n"
    "\n"
    "Loads the form file FORM (its servers connect and its queries open as they\n"
    "were saved), opens a query and prints its rows, in UTF-8.\n"
    "\n"
    "  --query NAME         the query to open (default: the first in the form)\n"
    "  --param NAME=VALUE   gives the query's parameter NAME this value, read as the\n"
    "                       parameter's type (repeatable)\n"
    "  --server HOST:PORT   log in to this server instead of the saved ServerName\n"
    "  --user USER          login name instead of the saved Username\n"
    "  --database DB        database instead of the saved DataBaseName\n"
    "  --format FORMAT      table (default: text and image values as their kind and\n"
    "                       size), csv (RFC 4180, a header line) or json (an array\n"
    "                       of objects); csv and json write text values whole and\n"
    "                       image values as base64\n"
    "  --help               show this text\n"
    "The password, instead of the saved Password:\n";

const char kUsageTail[] =
    "\n"
    "The overrides apply to every TSQLServer of the form before any connects.\n"
    "Exit status: 0 when the rows were printed, 1 on an error, 2 on bad arguments.\n";

struct Options {
  std::string form, query, server, user, database, format = "table";
  std::optional<std::string> password;
  bool has_server = false, has_user = false, has_database = false;
};

// Returns 0 to go on, 1 after --help, 2 on bad arguments.
int ParseArguments(int argc, char** argv, Options& options) {
  std::optional<std::string> password_option, password_file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsageHead, stdout);
      std::fputs(tessel::apps::kPasswordOptionsHelp, stdout);
      std::fputs(kUsageTail, stdout);
      return 1;
    }
    if (arg.rfind("--", 0) != 0) {
      if (!options.form.empty()) {
        std::fprintf(stderr, "tessel-run: more than one form file given (try --help)\n");
        return 2;
      }
      options.form = arg;
      continue;
    }
    std::string* target = nullptr;
    bool* flag = nullptr;
    if (arg == "--query") {
      target = &options.query;
    } else if (arg == "--server") {
      target = &options.server;
      flag = &options.has_server;
    } else if (arg == "--user") {
      target = &options.user;
      flag = &options.has_user;
    } else if (arg == "--password") {
      target = &password_option.emplace();
    } else if (arg == "--password-file") {
      target = &password_file.emplace();
    } else if (arg == "--format") {
      target = &options.format;
    } else if (arg == "--database") {
      target = &options.database;
      flag = &options.has_database;
    }
    if (target == nullptr || i + 1 >= argc) {
      std::fprintf(stderr, "tessel-run: %s '%s' (try --help)\n",
                   target == nullptr ? "unknown option" : "no value after", arg.c_str());
      return 2;
    }
    *target = argv[++i];
    if (flag != nullptr) *flag = true;
  }
  if (options.form.empty()) {
    std::fprintf(stderr, "tessel-run: no form file given (try --help)\n");
    return 2;
  }
  tessel::apps::ExportFormat format;
  if (options.format != "table" && !tessel::apps::ParseExportFormat(options.format, format)) {
    std::fprintf(stderr, "tessel-run: unknown format '%s': table, csv or json (try --help)\n",
                 options.format.c_str());
    return 2;
  }
  const std::string error =
      tessel::apps::ChoosePassword(password_option, password_file, options.password);
  if (!error.empty()) {
    std::fprintf(stderr, "tessel-run: %s\n", error.c_str());
    return 2;
  }
  return 0;
}

void OverrideLogins(TComponent& root, const Options& options) {
  for (int i = -1; i < root.ComponentCount(); ++i) {
    auto* server = dynamic_cast<TSQLServer*>(i < 0 ? &root : root.Components(i));
    if (server == nullptr) continue;
    if (options.has_server) server->SetServerName(options.server);
    if (options.has_user) server->SetUsername(options.user);
    if (options.password) server->SetPassword(*options.password);
    if (options.has_database) server->SetDataBaseName(options.database);
  }
}

TTessel* FindQuery(TComponent& root, const std::string& name) {
  if (!name.empty()) {
    TComponent* found = CompareText(root.Name(), name) == 0 ? &root : root.FindComponent(name);
    if (found == nullptr) throw Exception("The form has no component named " + name);
    auto* query = dynamic_cast<TTessel*>(found);
    if (query == nullptr) throw Exception(name + " is a " + found->ClassName() + ", not a TTessel");
    return query;
  }
  if (auto* query = dynamic_cast<TTessel*>(&root)) return query;
  for (int i = 0; i < root.ComponentCount(); ++i) {
    if (auto* query = dynamic_cast<TTessel*>(root.Components(i))) return query;
  }
  throw Exception("The form has no TTessel to open");
}

int Run(const Options& options, const tessel_run::ParamValues& params) {
  RegisterTesselClasses();
  TFormReadOptions read;
  read.bind_events = false;
  read.before_loaded = [&](TComponent& root) { OverrideLogins(root, options); };
  const std::unique_ptr<TComponent> form = ReadComponentFile(options.form, read);
  TTessel* query = FindQuery(*form, options.query);
  tessel_run::SetParams(*query, params);
  query->Open();
  tessel::apps::ExportFormat format;
  if (tessel::apps::ParseExportFormat(options.format, format)) {
    tessel::apps::WriteRows(*query, format, std::cout);
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  tessel_run::PrintTable(*query, stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string param_error;
  const tessel_run::ParamValues params = tessel_run::TakeParams(argc, argv, param_error);
  if (!param_error.empty()) {
    std::fprintf(stderr, "tessel-run: %s (try --help)\n", param_error.c_str());
    return 2;
  }
  Options options;
  const int parsed = ParseArguments(argc, argv, options);
  if (parsed == 1) return 0;
  if (parsed != 0) return 2;
  try {
    return Run(options, params);
  } catch (const tessel::Exception& e) {
    std::fprintf(stderr, "tessel-run: %s\n", tessel_run::UserMessage(e.Message()).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tessel-run: %s\n", tessel_run::UserMessage(e.what()).c_str());
  }
  return 1;
}
