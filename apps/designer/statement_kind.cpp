#include "statement_kind.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

namespace tessel::designer {

namespace {

// Words that never appear in a statement that only reads. INTO covers
// SELECT ... INTO, which creates a table.
constexpr std::array<std::string_view, 22> kWritingWords = {
    "INSERT",     "UPDATE", "DELETE",  "MERGE",   "INTO",       "DROP",     "CREATE", "ALTER",
    "TRUNCATE",   "EXEC",   "EXECUTE", "GRANT",   "REVOKE",     "DENY",     "BULK",   "WRITETEXT",
    "UPDATETEXT", "DBCC",   "BACKUP",  "RESTORE", "OPENROWSET", "OPENQUERY"};

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '@' || c == '#' ||
         c == '$';
}

// Skips from `at` (the opening character) past the closing one; a doubled
// closing character stands for itself.
std::size_t SkipQuoted(std::string_view sql, std::size_t at, char close) {
  for (std::size_t i = at + 1; i < sql.size(); ++i) {
    if (sql[i] != close) continue;
    if (i + 1 < sql.size() && sql[i + 1] == close) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return sql.size();
}

// The words of the text, upper-cased, with ";" for each statement break.
std::vector<std::string> Words(std::string_view sql) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      i = std::min(sql.find('\n', i), sql.size());
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const std::size_t end = sql.find("*/", i + 2);
      i = end == std::string_view::npos ? sql.size() : end + 2;
    } else if (c == '\'' || c == '"') {
      i = SkipQuoted(sql, i, c);
    } else if (c == '[') {
      i = SkipQuoted(sql, i, ']');
    } else if (c == ';') {
      words.emplace_back(";");
      ++i;
    } else if (IsWordChar(c)) {
      std::string word;
      while (i < sql.size() && IsWordChar(sql[i])) {
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i])));
        ++i;
      }
      words.push_back(std::move(word));
    } else {
      ++i;
    }
  }
  return words;
}

}  // namespace

std::optional<std::string> DataChangingWord(std::string_view sql) {
  bool statement_start = true;
  for (const std::string& word : Words(sql)) {
    if (word == ";") {
      statement_start = true;
      continue;
    }
    if (std::find(kWritingWords.begin(), kWritingWords.end(), word) != kWritingWords.end()) {
      return word;
    }
    if (statement_start && word != "SELECT" && word != "WITH") return word;
    statement_start = false;
  }
  return std::nullopt;
}

}  // namespace tessel::designer
