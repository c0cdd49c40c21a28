#pragma once

// Checks before a batch runs that every @variable it uses is declared
// earlier in the text (or is a parameter of the procedure being created), as
// SQL Server does when it compiles a batch: error 137 then runs nothing.

#include <set>
#include <string>
#include <vector>

#include "ast.h"

namespace tessel::sqld::engine {

// Throws SqlError 137 naming the first undeclared variable.
void checkVariables(const std::vector<StmtPtr>& statements);

}  // namespace tessel::sqld::engine
