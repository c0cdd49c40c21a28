// The SQLite functions behind the table-valued built-ins: STRING_SPLIT's
// parts and OPENJSON's check of its document, both read through json_each.

#include "table_functions.h"

#include <sqlite3.h>

#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "sqlite_util.h"

namespace tessel::sqld::engine {
namespace {

void raise(sqlite3_context* c, std::int32_t number, std::initializer_list<std::string_view> args) {
  Message m = makeMessage(number, args);
  std::string text = encodeErrorText(m, errorDef(number).scope == ErrorScope::Batch);
  sqlite3_result_error(c, text.c_str(), static_cast<int>(text.size()));
}

// Characters (not bytes) of UTF-8 text.
std::size_t characters(std::string_view s) {
  std::size_t n = 0;
  for (char ch : s) n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  return n;
}

void appendJsonString(std::string& out, std::string_view s) {
  out += '"';
  for (char ch : s) {
    auto u = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (u < 0x20) {
      static const char* const kHex = "0123456789abcdef";
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += ch;
    }
  }
  out += '"';
}

// t_string_split(text, separator): the parts between separators as a JSON
// array of strings; NULL text has none. The separator is one character.
void fnStringSplit(sqlite3_context* c, int, sqlite3_value** v) {
  std::string_view sep = valueText(v[1]);
  if (sqlite3_value_type(v[1]) == SQLITE_NULL || characters(sep) != 1)
    return raise(c, 214, {"separator", "nchar(1)/nvarchar(1)"});
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return sqlite3_result_null(c);
  std::string_view text = valueText(v[0]);
  std::string out = "[";
  for (std::size_t start = 0;;) {
    std::size_t at = text.find(sep, start);
    appendJsonString(out, text.substr(start, at == std::string_view::npos ? at : at - start));
    if (at == std::string_view::npos) break;
    out += ',';
    start = at + sep.size();
  }
  out += ']';
  sqlite3_result_text64(c, out.data(), out.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// The byte offset of the first character that keeps `s` from being JSON
// (s.size() when it ends too soon), or npos. Nesting is kept on a stack of
// its own, so a deep document cannot exhaust the thread's.
std::size_t jsonErrorAt(std::string_view s) {
  std::size_t i = 0;
  std::vector<char> open;
  auto ws = [&] {
    while (i < s.size() && std::strchr(" \t\n\r", s[i]) && s[i]) ++i;
  };
  auto string = [&] {
    if (i >= s.size() || s[i] != '"') return false;
    for (++i; i < s.size() && s[i] != '"'; ++i) {
      if (static_cast<unsigned char>(s[i]) < 0x20) return false;
      if (s[i] != '\\') continue;
      if (++i >= s.size()) return false;
      if (s[i] == 'u') {
        for (int k = 0; k < 4; ++k)
          if (++i >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i]))) return false;
      } else if (!std::strchr("\"\\/bfnrt", s[i]) || !s[i]) {
        return false;
      }
    }
    if (i >= s.size()) return false;
    ++i;
    return true;
  };
  auto digits = [&] {
    std::size_t from = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    return i > from;
  };
  auto key = [&] {
    ws();
    if (!string()) return false;
    ws();
    if (i >= s.size() || s[i] != ':') return false;
    ++i;
    return true;
  };
  for (;;) {
    ws();
    if (i >= s.size()) return i;
    const char ch = s[i];
    if (ch == '{' || ch == '[') {
      ++i;
      ws();
      if (i < s.size() && s[i] == (ch == '{' ? '}' : ']')) {
        ++i;
      } else {
        open.push_back(ch);
        if (ch == '{' && !key()) return i;
        continue;
      }
    } else if (ch == '"') {
      if (!string()) return i;
    } else if (s.substr(i, 4) == "true" || s.substr(i, 4) == "null") {
      i += 4;
    } else if (s.substr(i, 5) == "false") {
      i += 5;
    } else if (ch == '-' || std::isdigit(static_cast<unsigned char>(ch))) {
      if (ch == '-') ++i;
      if (!digits()) return i;
      if (i < s.size() && s[i] == '.' && (++i, !digits())) return i;
      if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!digits()) return i;
      }
    } else {
      return i;
    }
    // After a value: close what ends here, then a comma leads to the next.
    for (;;) {
      ws();
      if (open.empty()) return i < s.size() ? i : std::string_view::npos;
      if (i >= s.size()) return i;
      if (s[i] == (open.back() == '{' ? '}' : ']')) {
        ++i;
        open.pop_back();
        continue;
      }
      if (s[i] != ',') return i;
      ++i;
      if (open.back() == '{' && !key()) return i;
      break;
    }
  }
}

// t_json_doc(text): the text when it is JSON (or NULL), else error 13609
// naming the first character that is not.
void fnJsonDoc(sqlite3_context* c, int, sqlite3_value** v) {
  if (sqlite3_value_type(v[0]) == SQLITE_NULL) return sqlite3_result_null(c);
  std::string_view s = valueText(v[0]);
  std::size_t at = jsonErrorAt(s);
  if (at == std::string_view::npos) return sqlite3_result_value(c, v[0]);
  std::size_t end = at < s.size() ? at + 1 : at;
  while (end < s.size() && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) ++end;
  raise(c, 13609, {s.substr(at, end - at), std::to_string(characters(s.substr(0, at)))});
}

}  // namespace

void registerTableFunctions(sqlite3* db) {
  const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function_v2(db, "t_string_split", 2, flags, nullptr, fnStringSplit, nullptr,
                             nullptr, nullptr);
  sqlite3_create_function_v2(db, "t_json_doc", 1, flags, nullptr, fnJsonDoc, nullptr, nullptr,
                             nullptr);
}

}  // namespace tessel::sqld::engine
