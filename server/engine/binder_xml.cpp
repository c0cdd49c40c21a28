// FOR XML: a query's rows as one XML text. The query binds as usual, its
// ORDER BY kept; an outer SELECT turns each row into its XML and joins the
// rows in order with group_concat. As a subquery it is a scalar of that text.

#include "binder.h"
#include "errors.h"
#include "lexer.h"
#include "types.h"

namespace tessel::sqld::engine {
namespace {

// SQL that escapes the text `sql` for XML content, or for a double-quoted
// attribute value.
std::string escaped(const std::string& sql, bool attribute) {
  std::string out = "replace(replace(replace(replace(" + sql +
                    ", '&', '&amp;'), '<', '&lt;'), '>', '&gt;'), char(13), '&#x0D;')";
  if (attribute) out = "replace(" + out + ", '\"', '&quot;')";
  return out;
}

std::string literal(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// XML names cannot hold blanks and some other characters: they are written
// as _xHHHH_.
std::string xmlName(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    const bool ok = std::isalnum(c) || c == '_' || c >= 0x80 || (i > 0 && (c == '-' || c == '.'));
    if (ok) {
      out += static_cast<char>(c);
    } else {
      char buf[16];
      std::snprintf(buf, sizeof buf, "_x%04X_", c);
      out += buf;
    }
  }
  return out;
}

struct XmlColumn {
  std::string name;
  std::string text;  // SQL of the value as text; NULL stays NULL
  bool xml = false;  // already XML (a nested FOR XML ... TYPE): not escaped
};

std::string elementSql(const std::string& name, const XmlColumn& c, bool xsinil) {
  const std::string value = c.xml ? c.text : escaped(c.text, false);
  std::string nil = xsinil ? literal("<" + name + " xsi:nil=\"true\"/>") : "''";
  return "coalesce(" + literal("<" + name + ">") + " || " + value + " || " +
         literal("</" + name + ">") + ", " + nil + ")";
}

std::string attributeSql(const std::string& name, const XmlColumn& c) {
  return "coalesce(" + literal(" " + name + "=\"") + " || " + escaped(c.text, true) +
         " || '\"', '')";
}

// An element with its attributes and content; one without content closes
// its start tag, as <row a="1"/>.
std::string rowElement(const std::string& name, const std::string& attributes,
                       const std::string& content) {
  return literal("<" + name) + " || " + attributes + " || CASE WHEN " + content +
         " = '' THEN '/>' ELSE '>' || " + content + " || " + literal("</" + name + ">") + " END";
}

std::string concat(const std::vector<std::string>& parts) {
  if (parts.empty()) return "''";
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : " || ") + p;
  return out;
}

// One row in PATH mode: '@a' an attribute of the row element, 'a/b' nested
// elements (columns in a row sharing a leading path share its elements),
// text() or an unnamed column text of the row itself.
std::string pathRow(const std::optional<std::string>& rowName, const std::vector<XmlColumn>& cols) {
  std::vector<std::string> attributes, content;
  std::vector<std::string> open;  // element path open in `content`
  auto closeTo = [&](std::size_t depth) {
    while (open.size() > depth) {
      content.push_back(literal("</" + open.back() + ">"));
      open.pop_back();
    }
  };
  for (const XmlColumn& c : cols) {
    if (!c.name.empty() && c.name[0] == '@') {
      attributes.push_back(attributeSql(xmlName(c.name.substr(1)), c));
      continue;
    }
    std::vector<std::string> path;
    std::size_t start = 0;
    while (start <= c.name.size()) {
      std::size_t slash = c.name.find('/', start);
      if (slash == std::string::npos) slash = c.name.size();
      path.push_back(c.name.substr(start, slash - start));
      start = slash + 1;
    }
    std::string leaf = path.back();
    path.pop_back();
    std::size_t shared = 0;
    while (shared < open.size() && shared < path.size() && open[shared] == path[shared]) ++shared;
    closeTo(shared);
    for (std::size_t i = shared; i < path.size(); ++i) {
      open.push_back(xmlName(path[i]));
      content.push_back(literal("<" + open.back() + ">"));
    }
    if (leaf.empty() || leaf == "text()" || leaf == "*" || leaf == "node()" || leaf == "data()") {
      content.push_back("coalesce(" + (c.xml ? c.text : escaped(c.text, false)) + ", '')");
    } else if (leaf[0] == '@' && !path.empty()) {
      // An attribute of an element the path opened: the element's start tag
      // is the part just before.
      std::string& tag = content.back();
      tag = literal("<" + open.back()) + " || " + attributeSql(xmlName(leaf.substr(1)), c) +
            " || '>'";
    } else {
      content.push_back(elementSql(xmlName(leaf), c, false));
    }
  }
  closeTo(0);
  if (!rowName || rowName->empty()) return concat(content);
  return rowElement(xmlName(*rowName), concat(attributes), concat(content));
}

}  // namespace

std::string Binder::forXmlSql(const SelectStmt& s, Scope* outer, const std::string& autoName) {
  const ForXml& x = *s.forXml;
  bool pointers = textPointers;
  textPointers = false;
  Core c = bindCore(s, outer);
  textPointers = pointers;
  if (!s.unions.empty()) throw SqlError(102, {"XML"});
  std::string inner = c.head;
  for (std::size_t i = 0; i < c.items.size(); ++i)
    inner += (i ? ", " : "") + c.items[i].sql + " AS " + quoteName("c" + std::to_string(i + 1));
  inner += c.tail;
  if (!s.orderBy.empty()) {
    WindowClause windows(*this, WindowUse::Allowed);
    std::string keys;
    for (const OrderItem& o : s.orderBy) {
      std::string key;
      const Expr& e = *o.expr;
      if (e.kind == ExprKind::Column && e.names.size() == 1)
        for (std::size_t k = 0; k < c.names.size() && key.empty(); ++k)
          if (iequals(c.names[k], e.names[0])) key = orderKey(c.items[k]);
      if (key.empty()) key = orderKey(bindExpr(e, c.scope));
      keys += (keys.empty() ? "" : ", ") + key + (o.descending ? " DESC" : "");
    }
    inner += " ORDER BY " + keys;
  }
  if (s.top) inner += " LIMIT " + rowCountSql(*s.top, RowCount::Top);
  if (s.offset)
    inner += " LIMIT " + (s.fetch ? rowCountSql(*s.fetch, RowCount::Fetch) : "-1") + " OFFSET " +
             rowCountSql(*s.offset, RowCount::Offset);

  std::vector<XmlColumn> cols;
  for (std::size_t i = 0; i < c.items.size(); ++i) {
    Typed v;
    v.sql = quoteName("c" + std::to_string(i + 1));
    v.type = c.items[i].type;
    XmlColumn col;
    col.name = c.names[i];
    col.xml = c.items[i].xml;
    // Dates as ISO 8601, as XML writes them.
    const SqlType t = v.type.type;
    const bool date = isDateType(t) || t == SqlType::Date || t == SqlType::DateTime2 ||
                      t == SqlType::DateTimeOffset || t == SqlType::Time;
    const int style = date ? 126 : 0;
    col.text = isCharType(v.type.type)
                   ? v.sql
                   : convertSql(v, makeType(SqlType::NVarChar, kMaxLength / 2 * 2), false, style);
    cols.push_back(std::move(col));
  }
  std::string row;
  if (x.mode == ForXml::Mode::Path) {
    row = pathRow(x.rowName, cols);
  } else {
    const std::string name = xmlName(x.mode == ForXml::Mode::Raw ? *x.rowName : autoName);
    std::vector<std::string> parts;
    for (const XmlColumn& col : cols) {
      if (col.name.empty()) throw SqlError(6858, {});
      parts.push_back(x.elements ? elementSql(xmlName(col.name), col, x.xsinil)
                                 : attributeSql(xmlName(col.name), col));
    }
    row = x.elements ? rowElement(name, "''", concat(parts))
                     : literal("<" + name) + " || " + concat(parts) + " || '/>'";
  }
  std::string all = "group_concat(" + row + ", '')";
  if (x.root) {
    std::string root = xmlName(*x.root);
    if (x.xsinil) root += " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"";
    all =
        literal("<" + root + ">") + " || " + all + " || " + literal("</" + xmlName(*x.root) + ">");
  }
  return "SELECT " + all + " FROM (" + inner + ")";
}

BoundStatement Binder::bindForXml(const SelectStmt& s) {
  WithScope with(*this, s.with);
  // AUTO names each row by the table its columns come from.
  std::string autoName = "row";
  if (!s.from.empty()) {
    const TableRef* ref = s.from[0].get();
    while (ref->kind == TableRef::Kind::Join) ref = ref->left.get();
    if (!ref->alias.empty())
      autoName = ref->alias;
    else if (!ref->name.empty())
      autoName = ref->name.back();
  }
  BoundStatement out;
  out.sql = forXmlSql(s, nullptr, autoName);
  Column c;
  c.name = "XML_F52E2B61-18A1-11d1-B105-00805F49916B";
  c.type = makeType(SqlType::NVarChar, kMaxLength / 2 * 2);
  c.type.nullable = true;
  out.columns.push_back(c);
  out.origins.emplace_back();
  out.params = params_;
  return out;
}

}  // namespace tessel::sqld::engine
