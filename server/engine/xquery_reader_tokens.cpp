// The XQuery reader's tokens: names, strings, numbers and symbols, with
// (: comments :) skipped.

#include <cctype>

#include "errors.h"
#include "xml_text.h"
#include "xquery_reader.h"

namespace tessel::sqld::engine::xquery {
namespace {

bool nameStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool nameChar(unsigned char c) {
  return nameStart(c) || std::isdigit(c) || c == '-' || c == '.';
}

}  // namespace

// --- tokens

void QueryReader::skipSpace() {
  for (;;) {
    while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    if (s_.substr(pos_, 2) != "(:") return;
    // (: comments :), which may nest.
    int depth = 0;
    while (pos_ < s_.size()) {
      if (s_.substr(pos_, 2) == "(:") {
        ++depth;
        pos_ += 2;
      } else if (s_.substr(pos_, 2) == ":)") {
        pos_ += 2;
        if (--depth == 0) break;
      } else {
        ++pos_;
      }
    }
    if (depth != 0) syntax(Token{});
  }
}

// A copy: the token read ahead changes as the reader looks further.
Token QueryReader::peek() {
  if (!cached_) {
    token_ = lex();
    cached_ = true;
  }
  return token_;
}

Token QueryReader::take() {
  Token t = peek();
  pos_ = t.end;
  cached_ = false;
  return t;
}

Token QueryReader::peekSecond() {
  const std::size_t save = pos_;
  take();
  Token second = peek();
  pos_ = save;
  cached_ = false;
  return second;
}

void QueryReader::seek(std::size_t pos) {
  pos_ = pos;
  cached_ = false;
}

Token QueryReader::lex() {
  skipSpace();
  Token t;
  t.at = pos_;
  if (pos_ >= s_.size()) {
    t.end = pos_;
    return t;
  }
  const auto c = static_cast<unsigned char>(s_[pos_]);
  std::size_t i = pos_;
  if (c == '"' || c == '\'') {
    t.k = Token::K::String;
    for (++i;; ++i) {
      if (i >= s_.size()) {
        Token bad;
        bad.text = std::string(s_.substr(pos_, 20));
        syntax(bad);
      }
      if (static_cast<unsigned char>(s_[i]) == c) {
        if (i + 1 < s_.size() && static_cast<unsigned char>(s_[i + 1]) == c) {
          t.text += s_[i];
          ++i;
          continue;
        }
        break;
      }
      if (s_[i] == '&') {
        const std::size_t semi = s_.find(';', i);
        const char32_t e =
            semi == std::string_view::npos ? 0 : xmlEntityChar(s_.substr(i + 1, semi - i - 1));
        if (e != 0) {
          t.text += static_cast<char>(e);
          i = semi;
          continue;
        }
      }
      t.text += s_[i];
    }
    t.end = i + 1;
    return t;
  }
  if (std::isdigit(c) || (c == '.' && pos_ + 1 < s_.size() &&
                          std::isdigit(static_cast<unsigned char>(s_[pos_ + 1])))) {
    t.k = Token::K::Number;
    while (i < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i])) || s_[i] == '.')) ++i;
    if (i < s_.size() && (s_[i] == 'e' || s_[i] == 'E')) {
      ++i;
      if (i < s_.size() && (s_[i] == '+' || s_[i] == '-')) ++i;
      while (i < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i]))) ++i;
    }
    t.text = std::string(s_.substr(pos_, i - pos_));
    t.end = i;
    return t;
  }
  if (nameStart(c)) {
    t.k = Token::K::Name;
    while (i < s_.size()) {
      const auto d = static_cast<unsigned char>(s_[i]);
      if (nameChar(d)) {
        ++i;
      } else if (d == ':' && i + 1 < s_.size() &&
                 (nameStart(static_cast<unsigned char>(s_[i + 1])) || s_[i + 1] == '*') &&
                 s_.substr(i, 2) != "::") {
        // p:name, and p:* as one name test.
        i += s_[i + 1] == '*' ? 2 : 1;
        if (s_[i - 1] == '*') break;
      } else {
        break;
      }
    }
    t.text = std::string(s_.substr(pos_, i - pos_));
    t.end = i;
    return t;
  }
  t.k = Token::K::Symbol;
  static constexpr std::string_view kTwo[] = {"//", "!=", "<=", ">=", "..", "::", ":="};
  for (std::string_view two : kTwo) {
    if (s_.substr(pos_, 2) == two) {
      t.text = std::string(two);
      t.end = pos_ + 2;
      return t;
    }
  }
  t.text = std::string(1, static_cast<char>(c));
  t.end = pos_ + 1;
  return t;
}

bool QueryReader::isSymbol(std::string_view s) {
  return peek().k == Token::K::Symbol && peek().text == s;
}
bool QueryReader::isName(std::string_view s) {
  return peek().k == Token::K::Name && peek().text == s;
}
bool QueryReader::acceptSymbol(std::string_view s) {
  if (!isSymbol(s)) return false;
  take();
  return true;
}
bool QueryReader::acceptName(std::string_view s) {
  if (!isName(s)) return false;
  take();
  return true;
}
void QueryReader::expectSymbol(std::string_view s) {
  if (!acceptSymbol(s)) syntax(peek());
}
void QueryReader::expectName(std::string_view s) {
  if (!acceptName(s)) syntax(peek());
}

}  // namespace tessel::sqld::engine::xquery
