#pragma once

// tessel-designer's command line. Parsing never exits: errors come back as
// text.

#include <optional>
#include <string>

namespace tessel {
class TComponent;
}

namespace tessel::designer {

struct Options {
  std::string form;  // the form file to open
  // Replace the saved login of every server in the form before any connects.
  std::optional<std::string> server, user, password, database;
  std::string select;      // the component to show in the property panel
  std::string preview;     // the query to run in the preview at start
  std::string screenshot;  // write a picture of the window and quit
  bool help = false;
};

// Fills out; returns an error message, empty when the arguments are good.
std::string ParseOptions(int argc, const char* const* argv, Options& out);
std::string Usage();
// Applies the login overrides to every TSQLServer of the form.
void OverrideLogins(const Options& options, TComponent& root);

}  // namespace tessel::designer
