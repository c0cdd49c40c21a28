#pragma once

// What a statement is going to write, read from its parse tree before it is
// bound: the tables (or, for definitions, the objects) it changes. Sessions
// take the write locks of those databases before the statement's first read,
// and check a database user's rights against them.

#include <string>
#include <vector>

#include "ast.h"

namespace tessel::sqld::engine {

struct WriteTarget {
  Name name;                // as written; empty: the current database itself
  bool definition = false;  // creates, changes or drops an object (else changes rows)
  std::string verb;         // INSERT, UPDATE, DELETE, CREATE TABLE, DROP ...
};

std::vector<WriteTarget> writeTargets(const Stmt& s);

}  // namespace tessel::sqld::engine
