#pragma once

// The query parameters given on tessel-run's command line (--param
// NAME=VALUE, repeatable): taken out of the arguments before the options are
// read, and set on the query before it opens, through each parameter's Text
// so that the value takes the parameter's data type.

#include <string>
#include <utility>
#include <vector>

namespace tessel {
class TTessel;
}

namespace tessel_run {

using ParamValues = std::vector<std::pair<std::string, std::string>>;

// Removes every "--param NAME=VALUE" from argv (argc shrinks) and returns
// them in order. A malformed one leaves error set and the rest unread.
ParamValues TakeParams(int& argc, char** argv, std::string& error);

// Closes the query if the form opened it, then sets each value; raises an
// Exception naming a parameter the query does not have.
void SetParams(tessel::TTessel& query, const ParamValues& values);

// A failure as the user reads it: without the exception's class name in
// front ("ElqSQLError: ") and with one final period.
std::string UserMessage(std::string message);

}  // namespace tessel_run
