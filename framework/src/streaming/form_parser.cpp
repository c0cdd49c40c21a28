// The form file parser: text to a tree of objects and property values.
// Malformed input of any kind ends in EFormError with the line; nesting is
// limited so that no input can exhaust the stack.

#include <charconv>
#include <cstring>

#include "framework/form_files.h"
#include "framework/sysutils.h"
#include "streaming/form_tree.h"
#include "streaming/property_text.h"

namespace tessel::detail {

namespace {

// Deeper nesting of objects and collections than this is refused.
constexpr int kMaxDepth = 64;

bool IsIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsIdentChar(char c) {
  return IsIdentStart(c) || (c >= '0' && c <= '9');
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

class Parser {
 public:
  Parser(std::string_view text, const std::string& file_name) : text_(text), file_(file_name) {}

  FormObject ParseFile() {
    SkipBlanks();
    FormObject root = ParseObject(0);
    SkipBlanks();
    if (!AtEnd()) Fail("Text after the end of the form: " + Preview());
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const { throw EFormError(file_, line_, what); }

  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

  void SkipBlanks() {
    while (!AtEnd()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
      } else if (c != ' ' && c != '\t' && c != '\r') {
        return;
      }
      ++pos_;
    }
  }

  // What stands at the current position, for messages.
  std::string Preview() const {
    if (AtEnd()) return "the end of the file";
    std::size_t end = pos_;
    while (end < text_.size() && end - pos_ < 20 && text_[end] != '\n' && text_[end] != '\r') ++end;
    std::string shown(text_.substr(pos_, end - pos_));
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < 32) c = '?';
    }
    return "'" + shown + "'";
  }

  void Expect(char c, const std::string& what) {
    SkipBlanks();
    if (AtEnd()) Fail("The file ends where " + what + " was expected");
    if (Peek() != c) Fail("Expected " + what + " but found " + Preview());
    ++pos_;
  }

  std::string Ident(const char* what) {
    SkipBlanks();
    if (AtEnd()) Fail(std::string("The file ends where ") + what + " was expected");
    if (!IsIdentStart(Peek())) Fail(std::string("Expected ") + what + " but found " + Preview());
    const std::size_t start = pos_;
    while (!AtEnd() && IsIdentChar(Peek())) ++pos_;
    return std::string(text_.substr(start, pos_ - start));
  }

  // An identifier with optional dotted parts: UpdateParams.KeyFields.Strings.
  std::string DottedIdent(const char* what) {
    std::string name = Ident(what);
    while (Peek() == '.') {
      ++pos_;
      name += '.';
      name += Ident("a name after '.'");
    }
    return name;
  }

  bool NextWordIs(std::string_view word) {
    SkipBlanks();
    if (text_.size() - pos_ < word.size()) return false;
    if (CompareText(text_.substr(pos_, word.size()), word) != 0) return false;
    const std::size_t after = pos_ + word.size();
    return after >= text_.size() || !IsIdentChar(text_[after]);
  }

  FormObject ParseObject(int depth) {
    if (depth > kMaxDepth) Fail("Objects are nested too deeply");
    SkipBlanks();
    if (AtEnd()) Fail("The file is empty; a form starts with 'object'");
    if (!NextWordIs("object")) Fail("Expected 'object' but found " + Preview());
    FormObject object;
    object.line = line_;
    pos_ += 6;
    std::string first = Ident("a component name");
    SkipBlanks();
    if (Peek() == ':') {
      ++pos_;
      object.name = std::move(first);
      object.class_name = Ident("a class name");
    } else {
      object.class_name = std::move(first);
    }
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail("The file ends inside object " + Label(object) + "; 'end' is missing");
      if (NextWordIs("end")) {
        pos_ += 3;
        return object;
      }
      if (NextWordIs("object")) {
        object.children.push_back(ParseObject(depth + 1));
      } else {
        object.properties.push_back(ParseProperty(depth));
      }
    }
  }

  static std::string Label(const FormObject& object) {
    return object.name.empty() ? object.class_name : object.name;
  }

  FormProperty ParseProperty(int depth) {
    FormProperty property;
    SkipBlanks();
    property.line = line_;
    property.path = DottedIdent("a property name or 'end'");
    Expect('=', "'=' after " + property.path);
    property.value = ParseValue(depth, true);
    return property;
  }

  FormValue ParseValue(int depth, bool compound_allowed) {
    SkipBlanks();
    FormValue value;
    value.line = line_;
    if (AtEnd()) Fail("The file ends where a value was expected");
    const char c = Peek();
    if (c == '\'' || c == '#') {
      value.kind = FormValue::kString;
      value.text = ParseString();
    } else if (c == '-' || c == '+' || (c >= '0' && c <= '9') || c == '$') {
      ParseNumber(value);
    } else if (IsIdentStart(c)) {
      if (NextWordIs("end") || NextWordIs("object"))
        Fail("Expected a value but found " + Preview());
      value.kind = FormValue::kIdent;
      value.text = DottedIdent("a value");
    } else if (c == '[') {
      value.kind = FormValue::kSet;
      ParseSet(value);
    } else if (compound_allowed && c == '(') {
      value.kind = FormValue::kList;
      ParseList(value);
    } else if (compound_allowed && c == '<') {
      value.kind = FormValue::kCollection;
      ParseCollection(value, depth);
    } else if (c == '{') {
      value.kind = FormValue::kBinary;
      ParseBinary(value);
    } else {
      Fail("Expected a value but found " + Preview());
    }
    return value;
  }

  // 'quoted' and #nn parts, run together; '+' continues on the next line.
  std::string ParseString() {
    std::string result;
    for (;;) {
      ParseStringParts(result);
      SkipBlanks();
      if (Peek() != '+') return result;
      ++pos_;
      SkipBlanks();
      if (Peek() != '\'' && Peek() != '#')
        Fail("Expected a string after '+' but found " + Preview());
    }
  }

  void ParseStringParts(std::string& result) {
    while (!AtEnd()) {
      const char c = Peek();
      if (c == '\'') {
        ++pos_;
        for (;;) {
          if (AtEnd() || Peek() == '\n' || Peek() == '\r') Fail("Unterminated string");
          if (Peek() == '\'') {
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
              result += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          result += text_[pos_++];
        }
      } else if (c == '#') {
        ++pos_;
        const std::size_t start = pos_;
        while (!AtEnd() && Peek() >= '0' && Peek() <= '9') ++pos_;
        const auto code = ParseInteger(text_.substr(start, pos_ - start), 0, 255);
        if (!code) Fail("Expected a character code from #0 to #255");
        result += static_cast<char>(*code);
      } else {
        return;
      }
    }
  }

  void ParseNumber(FormValue& value) {
    const std::size_t start = pos_;
    if (Peek() == '$') {
      ++pos_;
      std::uint64_t bits = 0;
      const char* first = text_.data() + pos_;
      const auto [end, ec] = std::from_chars(first, text_.data() + text_.size(), bits, 16);
      if (ec != std::errc() || end == first) Fail("Expected hexadecimal digits after '$'");
      pos_ = static_cast<std::size_t>(end - text_.data());
      value.kind = FormValue::kInteger;
      value.integer = static_cast<std::int64_t>(bits);
      return;
    }
    if (Peek() == '-' || Peek() == '+') ++pos_;
    bool is_float = false;
    while (!AtEnd()) {
      const char c = Peek();
      if (c >= '0' && c <= '9') {
        ++pos_;
      } else if (c == '.' || c == 'e' || c == 'E') {
        is_float = true;
        ++pos_;
        if ((c == 'e' || c == 'E') && (Peek() == '-' || Peek() == '+')) ++pos_;
      } else {
        break;
      }
    }
    const std::string_view number = text_.substr(start, pos_ - start);
    if (is_float) {
      const auto parsed = ParseFloat(number);
      if (!parsed) Fail("'" + std::string(number) + "' is not a number");
      value.kind = FormValue::kFloat;
      value.number = *parsed;
      value.text = std::string(number);
    } else {
      const auto parsed = ParseInteger(number, INT64_MIN, INT64_MAX);
      if (!parsed) Fail("'" + std::string(number) + "' is not a number or is too large");
      value.kind = FormValue::kInteger;
      value.integer = *parsed;
      value.text = std::string(number);
    }
  }

  void ParseSet(FormValue& value) {
    ++pos_;
    SkipBlanks();
    if (Peek() == ']') {
      ++pos_;
      return;
    }
    for (;;) {
      value.names.push_back(Ident("a set element"));
      SkipBlanks();
      if (Peek() == ']') {
        ++pos_;
        return;
      }
      Expect(',', "',' or ']'");
    }
  }

  void ParseList(FormValue& value) {
    ++pos_;
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail("The file ends inside a list; ')' is missing");
      if (Peek() == ')') {
        ++pos_;
        return;
      }
      value.items.push_back(ParseValue(0, false));
    }
  }

  void ParseCollection(FormValue& value, int depth) {
    if (depth + 1 > kMaxDepth) Fail("Collections are nested too deeply");
    ++pos_;
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail("The file ends inside a collection; '>' is missing");
      if (Peek() == '>') {
        ++pos_;
        return;
      }
      if (!NextWordIs("item")) Fail("Expected 'item' or '>' but found " + Preview());
      FormItem item;
      item.line = line_;
      pos_ += 4;
      for (;;) {
        SkipBlanks();
        if (AtEnd()) Fail("The file ends inside a collection item; 'end' is missing");
        if (NextWordIs("end")) {
          pos_ += 3;
          break;
        }
        item.properties.push_back(ParseProperty(depth + 1));
      }
      value.collection.push_back(std::move(item));
    }
  }

  void ParseBinary(FormValue& value) {
    ++pos_;
    int high = -1;
    for (;;) {
      SkipBlanks();
      if (AtEnd()) Fail("The file ends inside binary data; '}' is missing");
      const char c = Peek();
      if (c == '}') {
        if (high >= 0) Fail("Binary data has an odd number of hexadecimal digits");
        ++pos_;
        return;
      }
      const int digit = HexDigit(c);
      if (digit < 0) Fail("Expected a hexadecimal digit or '}' but found " + Preview());
      ++pos_;
      if (high < 0) {
        high = digit;
      } else {
        value.bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
        high = -1;
      }
    }
  }

  std::string_view text_;
  const std::string& file_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

FormObject ParseForm(std::string_view text, const std::string& file_name) {
  return Parser(text, file_name).ParseFile();
}

const char* FormValueKindName(FormValue::Kind kind) {
  switch (kind) {
    case FormValue::kIdent:
      return "a name";
    case FormValue::kInteger:
      return "an integer";
    case FormValue::kFloat:
      return "a number";
    case FormValue::kString:
      return "a string";
    case FormValue::kSet:
      return "a set";
    case FormValue::kList:
      return "a list";
    case FormValue::kCollection:
      return "a collection";
    case FormValue::kBinary:
      return "binary data";
  }
  return "a value";
}

}  // namespace tessel::detail
