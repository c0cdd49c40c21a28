#include "xml_text.h"

#include <span>
#include <utility>
#include <vector>

#include "errors.h"
#include "sqld/charset.h"

namespace tessel::sqld::engine {
namespace {

bool isXmlChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool isSpace(char32_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameStart(char32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0xC0;
}

bool isNameChar(char32_t c) {
  return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == 0xB7;
}

// Escapes what XML text (or, with `attribute`, a double-quoted attribute
// value) cannot hold as it is.
void appendEscaped(std::string& out, char32_t c, bool attribute) {
  switch (c) {
    case '&':
      out += "&amp;";
      return;
    case '<':
      out += "&lt;";
      return;
    case '>':
      out += "&gt;";
      return;
    case '"':
      if (attribute) {
        out += "&quot;";
        return;
      }
      break;
    default:
      break;
  }
  appendCodePointUtf8(out, c);
}

class XmlReader {
 public:
  explicit XmlReader(std::string_view text) : s_(text) {}

  std::string read() {
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") at_ = 3;
    if (startsWith("<?xml") &&
        (at_ + 5 >= s_.size() || isSpace(peekAt(at_ + 5)) || s_[at_ + 5] == '?')) {
      // The declaration names the encoding of text that is already decoded:
      // it is read and not kept.
      skip(5);
      until("?>");
    }
    while (!atEnd()) {
      if (s_[at_] == '<') {
        markup();
      } else if (s_[at_] == '&') {
        char32_t c = reference();
        appendEscaped(text_, c, false);
        significant_ = true;
      } else {
        char32_t c = next();
        // Line ends are read as one line feed.
        if (c == '\r') {
          if (!atEnd() && s_[at_] == '\n') next();
          c = '\n';
        }
        appendEscaped(text_, c, false);
        significant_ = significant_ || !isSpace(c);
      }
    }
    if (!open_.empty()) fail(9400);
    flushText();
    return std::move(out_);
  }

 private:
  [[noreturn]] void fail(int number) const {
    // The character the parser stopped at; at the end of the input, the last.
    int column = column_ + (atEnd() ? 0 : 1);
    throw SqlError(number, {std::to_string(line_), std::to_string(column < 1 ? 1 : column)});
  }

  bool atEnd() const { return at_ >= s_.size(); }
  bool startsWith(std::string_view what) const { return s_.substr(at_, what.size()) == what; }

  // The code point at byte `at` and its length; 0 bytes for malformed UTF-8.
  char32_t decode(std::size_t at, std::size_t& length) const {
    const auto b = static_cast<unsigned char>(s_[at]);
    length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (length == 0 || at + length > s_.size()) {
      length = 0;
      return 0;
    }
    if (length == 1) return b;
    char32_t c = b & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const auto more = static_cast<unsigned char>(s_[at + i]);
      if ((more & 0xC0) != 0x80) {
        length = 0;
        return 0;
      }
      c = (c << 6) | (more & 0x3F);
    }
    return c;
  }
  char32_t peekAt(std::size_t at) const {
    std::size_t length = 0;
    return at < s_.size() ? decode(at, length) : 0;
  }
  char32_t peek() const { return peekAt(at_); }

  // Consumes one character, which must be one XML allows.
  char32_t next() {
    if (atEnd()) fail(9400);
    std::size_t length = 0;
    const char32_t c = decode(at_, length);
    if (length == 0 || !isXmlChar(c)) fail(9420);
    at_ += length;
    if (c == '\n' || (c == '\r' && (atEnd() || s_[at_] != '\n'))) {
      ++line_;
      column_ = 0;
    } else if (c != '\r') {
      ++column_;
    }
    return c;
  }
  void skip(std::size_t characters) {
    for (std::size_t i = 0; i < characters; ++i) next();
  }
  bool skipSpace() {
    bool any = false;
    while (!atEnd() && isSpace(peek())) {
      next();
      any = true;
    }
    return any;
  }
  void expect(char c, int number) {
    if (atEnd()) fail(9400);
    if (s_[at_] != c) fail(number);
    next();
  }
  // The characters up to `end`, which is consumed.
  std::string until(std::string_view end) {
    std::string body;
    while (!startsWith(end)) appendCodePointUtf8(body, next());
    skip(end.size());
    return body;
  }

  // A name, qualified by at most one prefix.
  std::string name(int number) {
    if (atEnd()) fail(9400);
    if (!isNameStart(peek()) || peek() == ':') fail(number);
    std::string out;
    bool colon = false;
    while (!atEnd() && isNameChar(peek())) {
      if (peek() == ':') {
        if (colon || atEnd()) fail(9455);
        colon = true;
        appendCodePointUtf8(out, next());
        if (atEnd()) fail(9400);
        if (!isNameStart(peek()) || peek() == ':') fail(9455);
        continue;
      }
      appendCodePointUtf8(out, next());
    }
    return out;
  }

  // &name; or &#n; / &#xh; at '&': the character it stands for.
  char32_t reference() {
    next();
    if (atEnd()) fail(9400);
    char32_t c = 0;
    if (s_[at_] == '#') {
      next();
      const bool hex = !atEnd() && s_[at_] == 'x';
      if (hex) next();
      bool digits = false;
      while (!atEnd() && s_[at_] != ';') {
        const char d = s_[at_];
        int v = d >= '0' && d <= '9'          ? d - '0'
                : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                              : -1;
        if (v < 0) fail(hex ? 9416 : 9417);
        c = c * (hex ? 16 : 10) + static_cast<char32_t>(v);
        if (c > 0x10FFFF) c = 0xFFFFFFFF;
        digits = true;
        next();
      }
      if (!digits) fail(atEnd() ? 9400 : hex ? 9416 : 9417);
    } else {
      c = xmlEntityChar(name(9421));
      if (c == 0) fail(9448);
    }
    expect(';', 9411);
    // A reference to a character XML does not allow fails past its ';'.
    if (!isXmlChar(c)) fail(9420);
    return c;
  }

  // Text read since the last markup: white space alone between tags is not
  // kept.
  void flushText() {
    if (significant_) out_ += text_;
    text_.clear();
    significant_ = false;
  }

  void markup() {
    if (startsWith("<!--")) {
      flushText();
      skip(4);
      out_ += "<!--" + until("-->") + "-->";
    } else if (startsWith("<![CDATA[")) {
      skip(9);
      while (!startsWith("]]>")) {
        appendEscaped(text_, next(), false);
        significant_ = true;
      }
      skip(3);
      return;
    } else if (startsWith("<!")) {
      skip(2);
      fail(9421);
    } else if (startsWith("<?")) {
      flushText();
      skip(2);
      const std::string target = name(9455);
      if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
          (target[2] | 0x20) == 'l')
        fail(9438);
      std::string body;
      if (!startsWith("?>")) {
        if (!skipSpace()) fail(9410);
        body = " " + until("?>");
      } else {
        skip(2);
      }
      out_ += "<?" + target + body + "?>";
    } else if (startsWith("</")) {
      skip(2);
      const std::string element = name(9455);
      skipSpace();
      if (open_.empty() || open_.back() != element) fail(9436);
      expect('>', 9412);
      flushText();
      open_.pop_back();
      if (out_.size() == emptyAt_) {
        out_.back() = '/';
        out_ += '>';
      } else {
        out_ += "</" + element + ">";
      }
      emptyAt_ = std::string::npos;
    } else {
      flushText();
      next();
      const std::string element = name(9455);
      out_ += "<" + element;
      std::vector<std::string> attributes;
      for (;;) {
        const bool spaced = skipSpace();
        if (atEnd()) fail(9400);
        if (s_[at_] == '>') {
          next();
          out_ += ">";
          open_.push_back(element);
          emptyAt_ = out_.size();
          return;
        }
        if (s_[at_] == '/') {
          next();
          expect('>', 9412);
          out_ += "/>";
          emptyAt_ = std::string::npos;
          return;
        }
        if (!spaced) fail(9410);
        const std::string attribute = name(9455);
        for (const std::string& seen : attributes)
          if (seen == attribute) fail(9437);
        attributes.push_back(attribute);
        out_ += " " + attribute + "=\"";
        skipSpace();
        expect('=', 9414);
        skipSpace();
        if (atEnd()) fail(9400);
        const char quote = s_[at_];
        if (quote != '"' && quote != '\'') fail(9413);
        next();
        while (atEnd() || s_[at_] != quote) {
          if (atEnd()) fail(9400);
          if (s_[at_] == '<') fail(9415);
          appendEscaped(out_, s_[at_] == '&' ? reference() : next(), true);
        }
        next();
        out_ += "\"";
      }
    }
    emptyAt_ = std::string::npos;
  }

  std::string_view s_;
  std::size_t at_ = 0;
  int line_ = 1;
  int column_ = 0;  // characters of the current line read so far
  std::string out_;
  std::vector<std::string> open_;  // elements not yet closed, innermost last
  std::string text_;               // escaped text since the last markup
  bool significant_ = false;       // `text_` holds more than white space
  // out_'s size just after the start tag of an element with nothing in it yet.
  std::size_t emptyAt_ = std::string::npos;
};

}  // namespace

char32_t xmlEntityChar(std::string_view name) {
  static constexpr std::pair<std::string_view, char32_t> kEntities[] = {
      {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& [entity, c] : kEntities)
    if (entity == name) return c;
  return 0;
}

std::string xmlFromText(std::string_view text) {
  return XmlReader(text).read();
}

std::string xmlFromBytes(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return xmlFromText(ucs2leToUtf8(std::span(data + 2, bytes.size() - 2)));
  }
  return xmlFromText(bytes);
}

}  // namespace tessel::sqld::engine
