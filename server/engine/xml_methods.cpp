// The SQLite functions behind the xml type's methods. Each takes the xml
// value (or the handle of a node that nodes() selected), the place of the
// context node in it (-1: none given; NULL: no node, as for a row OUTER
// APPLY adds), the query's text,
// a string with one kind letter per sql:variable or sql:column reference,
// the table and column its messages name (or nothing), the name of what the
// method is called on, the namespaces of WITH XMLNAMESPACES (as
// encodeXmlNamespace writes them), and the references' values.

#include <sqlite3.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "sqlite_util.h"
#include "xml_path.h"

namespace tessel::sqld::engine {
namespace {

// The references' values follow the fixed arguments: seven, or six in SQL
// that a database file keeps from before the namespaces were passed (a
// computed column or CHECK), told apart by the number of references.
constexpr int kFixed = 7;
constexpr int kFixedWithoutNamespaces = 6;

void deleteQuery(void* p) {
  delete static_cast<std::shared_ptr<const XmlQuery>*>(p);
}

// The query of a call, parsed once per statement.
std::shared_ptr<const XmlQuery> queryOf(sqlite3_context* c, sqlite3_value* text,
                                        XmlQuery::Method method, sqlite3_value* where,
                                        sqlite3_value* namespaces) {
  if (auto* cached = static_cast<std::shared_ptr<const XmlQuery>*>(sqlite3_get_auxdata(c, 1)))
    return *cached;
  auto q = XmlQuery::parse(valueText(text), method, valueText(where),
                           namespaces ? valueText(namespaces) : std::string_view());
  sqlite3_set_auxdata(c, 1, new std::shared_ptr<const XmlQuery>(q), deleteQuery);
  return q;
}

template <XmlQuery::Method M>
void method(sqlite3_context* c, int argc, sqlite3_value** v) {
  try {
    if (argc < kFixedWithoutNamespaces) return sqlite3_result_null(c);
    const std::string_view kinds = valueText(v[3]);
    const int fixed = argc - static_cast<int>(kinds.size()) == kFixedWithoutNamespaces
                          ? kFixedWithoutNamespaces
                          : kFixed;
    if (argc < fixed) return sqlite3_result_null(c);
    const std::shared_ptr<const XmlQuery> query =
        queryOf(c, v[2], M, v[4], fixed == kFixed ? v[6] : nullptr);
    const XmlQuery& q = *query;
    std::vector<XmlQuery::Outside> outside(kinds.size());
    for (std::size_t i = 0; i < kinds.size() && fixed + static_cast<int>(i) < argc; ++i) {
      sqlite3_value* value = v[fixed + i];
      if (sqlite3_value_type(value) == SQLITE_NULL) continue;
      outside[i].kind = kinds[i];
      outside[i].text = std::string(valueText(value));
    }
    if (sqlite3_value_type(v[0]) == SQLITE_NULL) {
      if (M == XmlQuery::Method::Modify) throw SqlError(5302, {valueText(v[5])});
      return sqlite3_result_null(c);
    }
    if (sqlite3_value_type(v[1]) == SQLITE_NULL) return sqlite3_result_null(c);
    const sqlite3_int64 place = sqlite3_value_int64(v[1]);
    const XmlQuery::At at =
        place < 0 ? XmlQuery::At() : XmlQuery::At(static_cast<std::size_t>(place));
    const std::string_view xml = valueText(v[0]);
    std::string out;
    switch (M) {
      case XmlQuery::Method::Value: {
        auto value = q.value(xml, outside, at);
        if (!value) return sqlite3_result_null(c);
        out = std::move(*value);
        break;
      }
      case XmlQuery::Method::Query:
        out = q.query(xml, outside, at);
        break;
      case XmlQuery::Method::Exist:
        return sqlite3_result_int(c, q.exist(xml, outside, at) ? 1 : 0);
      case XmlQuery::Method::Nodes:
        out = q.nodes(xml, outside, at);
        break;
      case XmlQuery::Method::Modify:
        out = q.modify(xml, outside);
        break;
    }
    sqlite3_result_text64(c, out.data(), out.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } catch (...) {
    resultCurrentError(c);
  }
}

// t_xml_node(xml, order): the handle of a node nodes() selected in `xml`;
// NULL for the row OUTER APPLY adds.
void nodeHandle(sqlite3_context* c, int, sqlite3_value** v) {
  try {
    if (sqlite3_value_type(v[0]) == SQLITE_NULL || sqlite3_value_type(v[1]) == SQLITE_NULL)
      return sqlite3_result_null(c);
    const std::string out =
        xmlNodeHandle(valueText(v[0]), static_cast<std::size_t>(sqlite3_value_int64(v[1])));
    sqlite3_result_text64(c, out.data(), out.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } catch (...) {
    resultCurrentError(c);
  }
}

}  // namespace

void registerXmlMethodFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  using M = XmlQuery::Method;
  struct Entry {
    const char* name;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  static constexpr Entry kEntries[] = {{"t_xml_value", method<M::Value>},
                                       {"t_xml_query", method<M::Query>},
                                       {"t_xml_exist", method<M::Exist>},
                                       {"t_xml_nodes", method<M::Nodes>},
                                       {"t_xml_modify", method<M::Modify>}};
  for (const Entry& e : kEntries)
    sqlite3_create_function_v2(db, e.name, -1, flags, nullptr, e.fn, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "t_xml_node", 2, flags, nullptr, nodeHandle, nullptr, nullptr,
                             nullptr);
}

}  // namespace tessel::sqld::engine
