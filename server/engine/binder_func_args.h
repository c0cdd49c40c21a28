#pragma once

// Small pieces the built-in function binders share: a typed result from its
// SQL text, and the check of an argument count (error 174).

#include <cstddef>
#include <string>
#include <utility>

#include "binder.h"
#include "errors.h"
#include "lexer.h"

namespace tessel::sqld::engine::func_args {

inline Typed make(std::string sql, TypeInfo type) {
  Typed t;
  t.sql = std::move(sql);
  t.type = type;
  return t;
}

inline void expectArgs(const Expr& e, std::size_t lo, std::size_t hi) {
  if (e.args.size() < lo || e.args.size() > hi)
    throw SqlError(174, {lower(e.op), std::to_string(lo)});
}

}  // namespace tessel::sqld::engine::func_args
