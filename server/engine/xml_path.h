#pragma once

// The XQuery that the xml type's methods take: path expressions over the
// value's tree (child, attribute, self, parent and descendant steps, name,
// wildcard and kind tests, positional and comparison predicates, a few
// functions, sql:variable and sql:column), and the insert, delete and
// replace value of statements of modify(). A query is parsed once, when its
// statement is bound, so that malformed or unsupported text fails before any
// row is read; the SQLite functions t_xml_value, t_xml_query, t_xml_exist,
// t_xml_nodes and t_xml_modify evaluate it on each value.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;

namespace tessel::sqld::engine {

class XmlQuery {
 public:
  enum class Method : std::uint8_t { Value, Query, Exist, Nodes, Modify };

  // A value from outside the query: sql:variable("@v") or sql:column("c").
  struct Reference {
    bool column = false;
    std::string name;  // as written
  };
  // Its value for one evaluation: kind 'n' (a number), 's' (text), 'x'
  // (xml text) or 0 for NULL.
  struct Outside {
    char kind = 0;
    std::string text;
  };

  // Throws SqlError (2209 and the other XQuery errors) for text the method
  // cannot take. `where`: "table.column" when the method is called on a
  // table's column, which its messages name.
  // `namespaces`: those of WITH XMLNAMESPACES (encodeXmlNamespace), which
  // the query's own prolog overrides.
  static std::shared_ptr<const XmlQuery> parse(std::string_view text, Method method,
                                               std::string_view where = {},
                                               std::string_view namespaces = {});
  ~XmlQuery();

  const std::vector<Reference>& references() const;

  // The methods on one xml value (its text, or a node handle that nodes()
  // gave); `at`, when given, places the context at that node of the
  // value's document. value(): the atomized result, nullopt for an empty
  // sequence.
  using At = std::optional<std::size_t>;
  std::optional<std::string> value(std::string_view xml, const std::vector<Outside>& o,
                                   At at = {}) const;
  std::string query(std::string_view xml, const std::vector<Outside>& o, At at = {}) const;
  bool exist(std::string_view xml, const std::vector<Outside>& o, At at = {}) const;
  // The places of the nodes selected in their document, as a JSON array of
  // numbers: each a row's `at`, or made a handle by xmlNodeHandle.
  std::string nodes(std::string_view xml, const std::vector<Outside>& o, At at = {}) const;
  std::string modify(std::string_view xml, const std::vector<Outside>& o) const;

  struct Impl;

 private:
  explicit XmlQuery(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The node at `order` of the document of `xml` (a value or a handle) as a
// value the methods take with that node as their context.
std::string xmlNodeHandle(std::string_view xml, std::size_t order);

// The namespaces WITH XMLNAMESPACES declares travel to the methods as one
// text: each declaration appended by encodeXmlNamespace (prefix "" for
// DEFAULT), read back by decodeXmlNamespaces.
void encodeXmlNamespace(std::string& out, std::string_view prefix, std::string_view uri);
std::vector<std::pair<std::string, std::string>> decodeXmlNamespaces(std::string_view text);

// The prefix of an XQuery error message: "XQuery [value()]: ", or
// "XQuery [t.doc.value()]: " for a method called on column doc of table t.
std::string xqueryErrorPrefix(XmlQuery::Method method, std::string_view where = {});

void registerXmlMethodFunctions(sqlite3* db);

}  // namespace tessel::sqld::engine
