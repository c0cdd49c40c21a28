// FOR XML's SQLite functions: base64 text of binary values, and the nesting
// of AUTO mode's per-table elements across the query's ordered rows.

#include "xml_output.h"

#include <sqlite3.h>

#include <memory>
#include <vector>

#include "sqlite_util.h"

namespace tessel::sqld::engine {

std::string base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const auto n = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                   static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[n >> 18 & 63];
    out += kDigits[n >> 12 & 63];
    out += kDigits[n >> 6 & 63];
    out += kDigits[n & 63];
  }
  if (i < bytes.size()) {
    std::uint32_t n = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    const bool two = i + 1 < bytes.size();
    if (two) n |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += kDigits[n >> 18 & 63];
    out += kDigits[n >> 12 & 63];
    out += two ? kDigits[n >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

namespace {

std::string text(sqlite3_value* v) {
  const auto* p = static_cast<const char*>(sqlite3_value_blob(v));
  return p ? std::string(p, static_cast<std::size_t>(sqlite3_value_bytes(v))) : std::string();
}

// t_base64(value): NULL stays NULL.
void fnBase64(sqlite3_context* c, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return sqlite3_result_null(c);
  const std::string out = base64(text(v[0]));
  sqlite3_result_text(c, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// The elements AUTO mode has open: the outer tables' while the next row may
// still belong to them.
struct AutoNesting {
  struct Open {
    std::string name;
    std::string key;  // its start tag and own content: equal for equal values
    bool content = false;
  };
  std::vector<Open> open;
  std::string out;

  // Ends the start tag of the innermost open element before content goes in.
  void beginContent() {
    if (!open.empty() && !open.back().content) {
      out += '>';
      open.back().content = true;
    }
  }
  void closeTo(std::size_t depth) {
    while (open.size() > depth) {
      out += open.back().content ? "</" + open.back().name + ">" : std::string("/>");
      open.pop_back();
    }
  }
};

// t_xml_auto(name1, attributes1, elements1, name2, ...): one row's elements,
// outermost table first. A row whose outer tables' values equal the previous
// row's goes inside their open elements; the innermost table's element is
// new for every row.
void xmlAutoStep(sqlite3_context* c, int n, sqlite3_value** v) {
  auto** slot = static_cast<AutoNesting**>(sqlite3_aggregate_context(c, sizeof(AutoNesting*)));
  if (!slot) return sqlite3_result_error_nomem(c);
  try {
    if (!*slot) *slot = new AutoNesting;
    AutoNesting& x = **slot;
    const auto levels = static_cast<std::size_t>(n / 3);
    std::vector<AutoNesting::Open> row(levels);
    for (std::size_t k = 0; k < levels; ++k) {
      row[k].name = text(v[3 * k]);
      row[k].key = text(v[3 * k + 1]) + '\x01' + text(v[3 * k + 2]);
    }
    std::size_t same = 0;
    while (same + 1 < levels && same < x.open.size() && x.open[same].key == row[same].key) ++same;
    x.closeTo(same);
    for (std::size_t k = same; k < levels; ++k) {
      x.beginContent();
      x.out += "<" + row[k].name + text(v[3 * k + 1]);
      const std::string elements = text(v[3 * k + 2]);
      x.open.push_back(std::move(row[k]));
      if (!elements.empty()) {
        x.beginContent();
        x.out += elements;
      }
    }
  } catch (...) {
    resultCurrentError(c);
  }
}

void xmlAutoFinal(sqlite3_context* c) {
  auto** slot = static_cast<AutoNesting**>(sqlite3_aggregate_context(c, 0));
  std::unique_ptr<AutoNesting> x(slot ? *slot : nullptr);
  if (slot) *slot = nullptr;
  if (!x) return sqlite3_result_null(c);
  x->closeTo(0);
  sqlite3_result_text(c, x->out.data(), static_cast<int>(x->out.size()), SQLITE_TRANSIENT);
}

}  // namespace

void registerXmlOutputFunctions(sqlite3* db) {
  sqlite3_create_function_v2(db, "t_base64", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                             fnBase64, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "t_xml_auto", -1, SQLITE_UTF8, nullptr, nullptr, xmlAutoStep,
                             xmlAutoFinal, nullptr);
}

}  // namespace tessel::sqld::engine
