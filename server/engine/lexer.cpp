#include "lexer.h"

#include <cctype>

#include "errors.h"

namespace tessel::sqld::engine {

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// Names fold in ASCII only, as std::toupper and std::tolower do in the "C"
// locale the server runs in; done inline because names are folded for every
// variable lookup of every row.
std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool hasUpper(std::string_view s) {
  for (char c : s)
    if (c >= 'A' && c <= 'Z') return true;
  return false;
}

namespace {

bool isWordStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}
bool isWordChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '#' || c == '@' || c == '$' || c >= 0x80;
}
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Lexer {
 public:
  Lexer(std::string_view sql, bool qi) : sql_(sql), quotedIdentifier_(qi) {}

  std::vector<Token> run() {
    std::vector<Token> out;
    for (;;) {
      skipSpaceAndComments();
      Token t;
      t.offset = pos_;
      t.line = line_;
      if (pos_ >= sql_.size()) {
        out.push_back(t);
        return out;
      }
      lexOne(t);
      out.push_back(std::move(t));
    }
  }

 private:
  char peek(std::size_t ahead = 0) const {
    return pos_ + ahead < sql_.size() ? sql_[pos_ + ahead] : '\0';
  }

  void skipSpaceAndComments() {
    while (pos_ < sql_.size()) {
      char c = sql_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (c == '-' && peek(1) == '-') {
        while (pos_ < sql_.size() && sql_[pos_] != '\n') ++pos_;
      } else if (c == '/' && peek(1) == '*') {
        skipBlockComment();
      } else {
        return;
      }
    }
  }

  void skipBlockComment() {
    int depth = 0;
    while (pos_ < sql_.size()) {
      if (sql_[pos_] == '/' && peek(1) == '*') {
        ++depth;
        pos_ += 2;
      } else if (sql_[pos_] == '*' && peek(1) == '/') {
        pos_ += 2;
        if (--depth == 0) return;
      } else {
        if (sql_[pos_] == '\n') ++line_;
        ++pos_;
      }
    }
  }

  // Reads text up to the closing quote; a doubled quote stands for one.
  std::string readQuoted(char close) {
    std::size_t start = pos_;
    ++pos_;
    std::string text;
    while (pos_ < sql_.size()) {
      char c = sql_[pos_];
      if (c == close) {
        if (peek(1) == close) {
          text += close;
          pos_ += 2;
          continue;
        }
        ++pos_;
        return text;
      }
      if (c == '\n') ++line_;
      text += c;
      ++pos_;
    }
    if (close == ']') throw SqlError(105, {sql_.substr(start)});
    throw SqlError(105, {text});
  }

  void lexNumber(Token& t) {
    std::size_t start = pos_;
    bool dot = false, exp = false;
    while (pos_ < sql_.size()) {
      char c = sql_[pos_];
      if (std::isdigit(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (c == '.' && !dot && !exp) {
        dot = true;
        ++pos_;
      } else if ((c == 'e' || c == 'E') && !exp) {
        exp = true;
        ++pos_;
        if (peek() == '+' || peek() == '-') ++pos_;
      } else {
        break;
      }
    }
    t.text = std::string(sql_.substr(start, pos_ - start));
    t.kind = exp ? TokenKind::Float : dot ? TokenKind::Decimal : TokenKind::Integer;
  }

  void lexOne(Token& t) {
    char c = sql_[pos_];
    unsigned char uc = static_cast<unsigned char>(c);
    if (c == '\'') {
      t.kind = TokenKind::String;
      t.text = readQuoted('\'');
    } else if ((c == 'N' || c == 'n') && peek(1) == '\'') {
      ++pos_;
      t.kind = TokenKind::NString;
      t.text = readQuoted('\'');
    } else if (c == '"') {
      t.kind = quotedIdentifier_ ? TokenKind::QuotedName : TokenKind::String;
      t.doubleQuoted = true;
      t.text = readQuoted('"');
    } else if (c == '[') {
      t.kind = TokenKind::QuotedName;
      t.text = readQuoted(']');
    } else if (c == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
      pos_ += 2;
      std::string hex;
      while (hexValue(peek()) >= 0) hex += sql_[pos_++];
      if (hex.size() % 2) hex.insert(hex.begin(), '0');
      t.kind = TokenKind::Binary;
      for (std::size_t i = 0; i < hex.size(); i += 2)
        t.text += static_cast<char>(hexValue(hex[i]) * 16 + hexValue(hex[i + 1]));
    } else if (std::isdigit(uc) ||
               (c == '.' && std::isdigit(static_cast<unsigned char>(peek(1))))) {
      lexNumber(t);
    } else if (c == '$' && (std::isdigit(static_cast<unsigned char>(peek(1))) || peek(1) == '.' ||
                            peek(1) == '-')) {
      ++pos_;
      bool negative = false;
      if (peek() == '-') {
        negative = true;
        ++pos_;
      }
      lexNumber(t);
      if (negative) t.text.insert(t.text.begin(), '-');
      t.kind = TokenKind::Money;
    } else if (c == '$' && std::isalpha(static_cast<unsigned char>(peek(1)))) {
      // $action (MERGE's OUTPUT) and the other $ pseudo-columns.
      std::size_t start = pos_++;
      while (pos_ < sql_.size() && isWordChar(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
      t.kind = TokenKind::Word;
      t.text = std::string(sql_.substr(start, pos_ - start));
    } else if (c == '@') {
      std::size_t start = pos_++;
      while (pos_ < sql_.size() && isWordChar(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
      t.kind = TokenKind::Variable;
      t.text = std::string(sql_.substr(start, pos_ - start));
    } else if (isWordStart(uc)) {
      std::size_t start = pos_;
      while (pos_ < sql_.size() && isWordChar(static_cast<unsigned char>(sql_[pos_]))) ++pos_;
      t.kind = TokenKind::Word;
      t.text = std::string(sql_.substr(start, pos_ - start));
    } else {
      lexSymbol(t);
    }
  }

  void lexSymbol(Token& t) {
    static constexpr std::string_view kTwo[] = {"<>", "!=", ">=", "<=", "!<", "!>",
                                                "+=", "-=", "*=", "/=", "||"};
    t.kind = TokenKind::Symbol;
    for (std::string_view two : kTwo) {
      if (sql_.substr(pos_, 2) == two) {
        t.text = std::string(two);
        pos_ += 2;
        return;
      }
    }
    static constexpr std::string_view kOne = "(),.;=<>+-*/%&|^~:";
    char c = sql_[pos_];
    if (kOne.find(c) == std::string_view::npos) throw SqlError(102, {std::string(1, c)});
    t.text = std::string(1, c);
    ++pos_;
  }

  std::string_view sql_;
  bool quotedIdentifier_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

std::vector<Token> tokenize(std::string_view sql, bool quotedIdentifier) {
  return Lexer(sql, quotedIdentifier).run();
}

}  // namespace tessel::sqld::engine
