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
  bool xml = false;  // an xml value (as a nested FOR XML ... TYPE gives): not escaped
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

// In RAW and AUTO mode an xml value is content of the row's element even
// without ELEMENTS: XML cannot be an attribute's value.
bool asElement(const XmlColumn& c, const ForXml& x) {
  return x.elements || c.xml;
}

// A column of RAW or AUTO mode: an element or attribute of its name; an
// unnamed XML value (a nested FOR XML ... TYPE) goes in as it is.
std::string columnPart(const XmlColumn& c, const ForXml& x) {
  if (c.name.empty()) return "coalesce(" + c.text + ", '')";
  return asElement(c, x) ? elementSql(xmlName(c.name), c, x.xsinil)
                         : attributeSql(xmlName(c.name), c);
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

// AUTO mode: an element per table, named as the query names the table, in
// the order the select list first reads each; a column that reads no table
// goes to the element of the column before it. t_xml_auto nests each
// table's element in the one before it.
std::string autoRows(const std::vector<Typed>& items, const std::vector<Binder::Source>& sources,
                     const std::vector<XmlColumn>& cols, const ForXml& x) {
  struct Level {
    std::string alias;  // the source's alias in the generated SQL
    std::string name;
    std::vector<std::string> attributes, elements;
    void add(const XmlColumn& c, const ForXml& x, bool first = false) {
      auto& parts = asElement(c, x) ? elements : attributes;
      parts.insert(first ? parts.begin() : parts.end(), columnPart(c, x));
    }
  };
  std::vector<Level> levels;
  std::vector<std::size_t> unplaced;  // columns read before any table's
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const std::string& alias = items[i].sourceAlias;
    auto source = std::find_if(sources.begin(), sources.end(), [&](const Binder::Source& s) {
      return !alias.empty() && s.sqlAlias == alias;
    });
    auto level = levels.end();
    if (source != sources.end()) {
      level = std::find_if(levels.begin(), levels.end(),
                           [&](const Level& l) { return l.alias == alias; });
      if (level == levels.end()) {
        levels.push_back({alias, xmlName(source->exposedName), {}, {}});
        level = levels.end() - 1;
      }
    } else if (!levels.empty()) {
      level = levels.end() - 1;
    }
    if (level == levels.end()) {
      unplaced.push_back(i);
      continue;
    }
    level->add(cols[i], x);
  }
  if (levels.empty()) throw SqlError(6800, {});
  for (auto k = unplaced.rbegin(); k != unplaced.rend(); ++k) levels[0].add(cols[*k], x, true);
  std::string args;
  for (const Level& l : levels) {
    args += (args.empty() ? "" : ", ") + literal(l.name) + ", " + concat(l.attributes) + ", " +
            concat(l.elements);
  }
  return "t_xml_auto(" + args + ")";
}

}  // namespace

std::string Binder::binaryReference(const Core& c, std::size_t i,
                                    const std::function<std::string(std::size_t)>& textOf) {
  const Typed& value = c.items[i];
  if (!value.table) throw SqlError(6830, {c.names[i]});
  // The key's column as the select list reads it from the same table.
  const std::vector<std::string> key = ctx_.primaryKeyColumns(*value.table);
  std::size_t k = 0;
  while (key.size() == 1 && k < c.items.size() &&
         !(c.items[k].sourceAlias == value.sourceAlias && c.items[k].column &&
           iequals(c.items[k].column->name, key[0]) && !c.names[k].empty()))
    ++k;
  if (key.size() != 1 || k == c.items.size()) throw SqlError(6831, {c.names[i]});
  std::string table;
  for (const Source& s : c.scope.sources)
    if (s.sqlAlias == value.sourceAlias) table = xmlName(s.exposedName);
  // dbobject/Table[@Key='1']/@Column, as a URL of the database's virtual root.
  return "CASE WHEN " + quoteName("c" + std::to_string(i + 1)) + " IS NULL THEN NULL ELSE " +
         literal("dbobject/" + table + "[@" + xmlName(c.names[k]) + "='") + " || " + textOf(k) +
         " || " + literal("']/@" + xmlName(c.names[i])) + " END";
}

TypeInfo forXmlType(const ForXml& x) {
  return x.type ? makeType(SqlType::Xml) : makeType(SqlType::NVarChar, kMaxLength / 2 * 2);
}

std::string Binder::forXmlSql(const SelectStmt& s, Scope* outer) {
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

  // Column i of the query's rows as text: dates in ISO 8601 and floating
  // point in scientific notation, as XML writes them.
  auto textOf = [&](std::size_t i) {
    Typed v;
    v.sql = quoteName("c" + std::to_string(i + 1));
    v.type = c.items[i].type;
    const SqlType t = v.type.type;
    if (isCharType(t) || t == SqlType::Xml) return v.sql;
    if (isBinaryType(t)) return "t_base64(" + v.sql + ")";
    const bool date = isDateType(t) || t == SqlType::Date || t == SqlType::DateTime2 ||
                      t == SqlType::DateTimeOffset || t == SqlType::Time;
    const int style = date ? 126 : t == SqlType::Float ? 2 : t == SqlType::Real ? 1 : 0;
    return convertSql(v, makeType(SqlType::NVarChar, kMaxLength / 2 * 2), false, style);
  };
  std::vector<XmlColumn> cols;
  for (std::size_t i = 0; i < c.items.size(); ++i) {
    XmlColumn col;
    col.name = c.names[i];
    col.xml = c.items[i].type.type == SqlType::Xml;
    col.text = textOf(i);
    // PATH writes binary values as base64; RAW and AUTO only when asked,
    // AUTO otherwise a reference to the value by its table's key.
    if (isBinaryType(c.items[i].type.type) && !x.binaryBase64) {
      if (x.mode == ForXml::Mode::Raw) throw SqlError(6829, {col.name});
      if (x.mode == ForXml::Mode::Auto) col.text = binaryReference(c, i, textOf);
    }
    cols.push_back(std::move(col));
  }
  if (x.mode != ForXml::Mode::Path) {
    for (std::size_t i = 0; i < cols.size(); ++i) {
      if (cols[i].name.empty() && !cols[i].xml) throw SqlError(6809, {});
      // Two attributes of one name in a RAW row (AUTO's are on the
      // elements of their tables).
      if (asElement(cols[i], x) || x.mode != ForXml::Mode::Raw) continue;
      for (std::size_t k = 0; k < i; ++k)
        if (!asElement(cols[k], x) && iequals(cols[k].name, cols[i].name))
          throw SqlError(6810, {cols[i].name});
    }
  }
  std::string all;
  if (x.mode == ForXml::Mode::Path) {
    all = "group_concat(" + pathRow(x.rowName, cols) + ", '')";
  } else if (x.mode == ForXml::Mode::Raw) {
    const std::string name = xmlName(*x.rowName);
    std::vector<std::string> attributes, content;
    for (const XmlColumn& col : cols)
      (asElement(col, x) ? content : attributes).push_back(columnPart(col, x));
    all = "group_concat(" + rowElement(name, concat(attributes), concat(content)) + ", '')";
  } else {
    if (c.grouped) throw SqlError(6821, {});
    all = autoRows(c.items, c.scope.sources, cols, x);
  }
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
  BoundStatement out;
  out.sql = forXmlSql(s, nullptr);
  Column c;
  c.name = "XML_F52E2B61-18A1-11d1-B105-00805F49916B";
  c.type = forXmlType(*s.forXml);
  c.type.nullable = true;
  out.columns.push_back(c);
  out.origins.emplace_back();
  out.params = params_;
  return out;
}

}  // namespace tessel::sqld::engine
