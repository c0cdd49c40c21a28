#pragma once

// The definition of a computed column as the catalog shows it: the
// expression rewritten the way SQL Server keeps it (names in brackets,
// numbers in parentheses, function names and keywords in lower case, the
// whole in parentheses), e.g. ([price]*(2)).

#include <string>

#include "ast.h"

namespace tessel::sqld::engine {

// `written` is the expression's own text, kept in parentheses when the
// expression uses something the rewriting does not cover.
std::string computedDefinition(const Expr& e, const std::string& written);

}  // namespace tessel::sqld::engine
