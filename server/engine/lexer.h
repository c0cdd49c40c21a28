#pragma once

// Splits T-SQL text into tokens. Keywords come out as words; the parser
// decides which words are keywords. Whether "..." is a string or a name
// depends on QUOTED_IDENTIFIER, so the lexer takes that setting.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tessel::sqld::engine {

enum class TokenKind : std::uint8_t {
  Word,        // identifier or keyword, as written
  QuotedName,  // [name] or "name" (text without the delimiters)
  String,      // 'text' (text unescaped)
  NString,     // N'text'
  Integer,
  Decimal,   // 1.5
  Float,     // 1e5
  Money,     // $1.50
  Binary,    // 0x0A0B (text holds the raw bytes)
  Variable,  // @name or @@name (text includes the @)
  Symbol,    // operators and punctuation
  End,
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;
  std::size_t offset = 0;  // byte offset in the batch
  int line = 1;
  bool doubleQuoted = false;  // "..." (a name or a string by QUOTED_IDENTIFIER)
};

// Throws SqlError 105 for an unclosed string and 102 for a stray character.
std::vector<Token> tokenize(std::string_view sql, bool quotedIdentifier);

// Case-insensitive ASCII comparison.
bool iequals(std::string_view a, std::string_view b);
std::string upper(std::string_view s);
std::string lower(std::string_view s);
// Whether lower() would change s.
bool hasUpper(std::string_view s);

}  // namespace tessel::sqld::engine
