#pragma once

// Where a program's login password comes from: --password on the command line, a file
// only its owner may read (--password-file), or the TESSEL_PASSWORD environment variable.
// A command line is visible to every user of the machine (ps); the file and the variable
// are not, so programs offer all three.

#include <optional>
#include <string>

namespace tessel::apps {

// The password from the first line of `path` (a trailing CR is dropped). Refuses, with the
// reason, a file that is not a regular file, that its group or other users may read, write
// or execute, or whose first line is empty. Returns the error, empty on success.
std::string ReadPasswordFile(const std::string& path, std::string& password);

// Chooses among the sources: --password (`option`) or --password-file (`file`) wins over
// TESSEL_PASSWORD; giving both options is refused. `password` is left as it was when no
// source gives one (an empty TESSEL_PASSWORD gives none). Returns the error, empty on
// success.
std::string ChoosePassword(const std::optional<std::string>& option,
                           const std::optional<std::string>& file,
                           std::optional<std::string>& password);

// The --help lines of the two options and the variable, for the programs' usage texts.
extern const char kPasswordOptionsHelp[];

}  // namespace tessel::apps
