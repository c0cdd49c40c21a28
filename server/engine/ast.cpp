#include "ast.h"

namespace tessel::sqld::engine {

std::string joinName(const Name& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) out += (i ? "." : "") + name[i];
  return out;
}

Name splitName(std::string_view text) {
  Name parts(1);
  char close = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char ch = text[i];
    if (close) {
      if (ch != close) {
        parts.back() += ch;
      } else if (i + 1 < text.size() && text[i + 1] == close) {
        parts.back() += ch;
        ++i;
      } else {
        close = 0;
      }
    } else if (ch == '[') {
      close = ']';
    } else if (ch == '"') {
      close = '"';
    } else if (ch == '.') {
      parts.emplace_back();
    } else {
      parts.back() += ch;
    }
  }
  return parts;
}

Expr::~Expr() {
  std::vector<ExprPtr> pending = std::move(args);
  while (!pending.empty()) {
    ExprPtr e = std::move(pending.back());
    pending.pop_back();
    if (!e) continue;
    for (ExprPtr& a : e->args) pending.push_back(std::move(a));
    e->args.clear();
  }
}

}  // namespace tessel::sqld::engine
