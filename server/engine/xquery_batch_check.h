#pragma once

// Compiles, before a batch runs, the XQuery of each xml method call whose
// target the batch text and the catalog show to be xml: a variable the
// batch declares xml, a method's result, or an xml column of a table that
// exists. As when SQL Server compiles a batch, a static XQuery error (2209,
// 9335 ...) then runs none of it. Calls on other targets (a table the batch
// itself creates, a derived table's column) are compiled when their
// statement is bound, as SQL Server defers what it cannot resolve.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ast.h"

namespace tessel::sqld::engine {

// What the catalog says of a column of a table named in FROM: no such table
// (or one whose columns it does not list, as a view's), no such column, a
// column of another type, or an xml column that the methods' messages name
// as `where` ("table.column").
struct XmlColumnFound {
  enum class State : std::uint8_t { NoTable, NoColumn, NotXml, Xml };
  State state = State::NoTable;
  std::string where;
};
using XmlColumnLookup = std::function<XmlColumnFound(const Name& table, const std::string& column)>;

// Throws the first call's SqlError, on the line of its statement.
void checkXQueries(const std::vector<StmtPtr>& statements, const XmlColumnLookup& lookup);

}  // namespace tessel::sqld::engine
