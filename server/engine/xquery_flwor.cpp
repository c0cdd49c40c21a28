// FLWOR expressions and some/every. The for and let clauses bind their
// variables' slots in turn, one clause a level; with order by, each tuple's
// bindings and keys are kept, sorted, and the return clause evaluated on
// them in their order.

#include <algorithm>
#include <cmath>

#include "xquery_eval.h"

namespace tessel::sqld::engine::xquery {
namespace {

struct Tuple {
  std::vector<Seq> keys;
  std::vector<Seq> bindings;  // the FLWOR's own slots, in `slots` order
};

// Order of two keys (empty or one item): untyped and text compare as text,
// numbers as numbers; an empty key (and NaN) is least unless said greatest.
int compareKeys(const Seq& a, const Seq& b, bool emptyGreatest) {
  auto missing = [](const Seq& s) {
    return s.empty() || (s[0].t == Item::T::Number && std::isnan(s[0].d));
  };
  const bool ma = missing(a), mb = missing(b);
  if (ma || mb) {
    if (ma && mb) return 0;
    return (ma ? -1 : 1) * (emptyGreatest ? -1 : 1);
  }
  const Item& x = a[0];
  const Item& y = b[0];
  if (x.t == Item::T::Number && y.t == Item::T::Number) return x.d < y.d ? -1 : x.d > y.d ? 1 : 0;
  if (x.t == Item::T::Boolean && y.t == Item::T::Boolean) return int(x.b) - int(y.b);
  const int c = atomize(x).compare(atomize(y));
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace

Seq Evaluator::flwor(const XExpr& e, const Focus& f) {
  const Clause* order = nullptr;
  std::vector<int> slots;
  for (const Clause& c : e.clauses) {
    if (c.k == Clause::K::OrderBy) order = &c;
    if (c.slot >= 0) slots.push_back(c.slot);
    if (c.position >= 0) slots.push_back(c.position);
  }
  Seq out;
  std::vector<Tuple> tuples;
  const XExpr& ret = *e.args[0];
  // Binds clause `i` and those after it, then returns or keeps the tuple.
  auto run = [&](auto& self, std::size_t i) -> void {
    if (i == e.clauses.size() || e.clauses[i].k == Clause::K::OrderBy) {
      if (!order) {
        Seq part = eval(ret, f);
        out.insert(out.end(), std::make_move_iterator(part.begin()),
                   std::make_move_iterator(part.end()));
        return;
      }
      Tuple t;
      for (const Clause::Key& k : order->keys) t.keys.push_back(eval(*k.expr, f));
      for (int s : slots) t.bindings.push_back(vars_[static_cast<std::size_t>(s)]);
      tuples.push_back(std::move(t));
      return;
    }
    const Clause& c = e.clauses[i];
    switch (c.k) {
      case Clause::K::For: {
        const Seq items = eval(*c.expr, f);
        for (std::size_t n = 0; n < items.size(); ++n) {
          vars_[static_cast<std::size_t>(c.slot)] = Seq{items[n]};
          if (c.position >= 0)
            vars_[static_cast<std::size_t>(c.position)] =
                Seq{numberItem(static_cast<double>(n + 1), Numeric::Integer)};
          self(self, i + 1);
        }
        break;
      }
      case Clause::K::Let:
        vars_[static_cast<std::size_t>(c.slot)] = eval(*c.expr, f);
        self(self, i + 1);
        break;
      case Clause::K::Where:
        if (effectiveBoolean(eval(*c.expr, f))) self(self, i + 1);
        break;
      case Clause::K::OrderBy:
        break;
    }
  };
  run(run, 0);
  if (!order) return out;
  std::vector<std::size_t> sorted(tuples.size());
  for (std::size_t i = 0; i < sorted.size(); ++i) sorted[i] = i;
  std::stable_sort(sorted.begin(), sorted.end(), [&](std::size_t a, std::size_t b) {
    for (std::size_t k = 0; k < order->keys.size(); ++k) {
      int c = compareKeys(tuples[a].keys[k], tuples[b].keys[k], order->keys[k].emptyGreatest);
      if (order->keys[k].descending) c = -c;
      if (c != 0) return c < 0;
    }
    return false;
  });
  for (std::size_t t : sorted) {
    for (std::size_t s = 0; s < slots.size(); ++s)
      vars_[static_cast<std::size_t>(slots[s])] = std::move(tuples[t].bindings[s]);
    Seq part = eval(ret, f);
    out.insert(out.end(), std::make_move_iterator(part.begin()),
               std::make_move_iterator(part.end()));
  }
  return out;
}

bool Evaluator::quantified(const XExpr& e, const Focus& f, std::size_t clause) {
  if (clause == e.clauses.size()) return effectiveBoolean(eval(*e.args[0], f));
  const bool some = e.text == "some";
  const Clause& c = e.clauses[clause];
  for (const Item& i : eval(*c.expr, f)) {
    vars_[static_cast<std::size_t>(c.slot)] = Seq{i};
    if (quantified(e, f, clause + 1) == some) return some;
  }
  return !some;
}

}  // namespace tessel::sqld::engine::xquery
