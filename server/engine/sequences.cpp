#include "sequences.h"

#include <sqlite3.h>

#include <limits>

#include "binder.h"
#include "convert.h"
#include "errors.h"
#include "lexer.h"
#include "session.h"
#include "sqlite_util.h"
#include "types.h"

namespace tessel::sqld::engine {

std::optional<std::int64_t> nextSequenceValue(const SequenceState& s) {
  if (!s.current) return s.first;
  std::int64_t next = 0;
  if (!__builtin_add_overflow(*s.current, s.increment, &next) && next >= s.minimum &&
      next <= s.maximum)
    return next;
  // Past the end: an ascending sequence cycles to its minimum, a descending one to its maximum.
  if (!s.cycle) return std::nullopt;
  return s.increment > 0 ? s.minimum : s.maximum;
}

std::optional<SequenceRange> takeSequenceRange(SequenceState& s, std::int64_t count) {
  SequenceState probe = s;
  auto first = nextSequenceValue(probe);
  if (!first || count < 1) return std::nullopt;
  probe.current = first;
  SequenceRange r{*first, *first, 0};
  // Without CYCLE the range is one stretch of values.
  std::int64_t span = 0;
  std::int64_t last = 0;
  if (!s.cycle) {
    if (__builtin_mul_overflow(count - 1, s.increment, &span) ||
        __builtin_add_overflow(*first, span, &last) || last < s.minimum || last > s.maximum)
      return std::nullopt;
    r.last = last;
    s.current = last;
    return r;
  }
  for (std::int64_t i = 1; i < count; ++i) {
    std::int64_t before = *probe.current;
    auto value = nextSequenceValue(probe);
    if (s.increment > 0 ? *value < before : *value > before) ++r.cycles;
    probe.current = value;
  }
  r.last = *probe.current;
  s.current = probe.current;
  return r;
}

std::optional<SequenceRange> SequenceCounters::range(const std::string& database, std::int64_t id,
                                                     std::int64_t count,
                                                     const std::function<SequenceState()>& load) {
  std::lock_guard lock(mutex_);
  auto key = std::make_pair(database, id);
  auto it = states_.find(key);
  if (it == states_.end()) it = states_.emplace(key, load()).first;
  return takeSequenceRange(it->second, count);
}

std::optional<std::int64_t> SequenceCounters::next(const std::string& database, std::int64_t id,
                                                   const std::function<SequenceState()>& load) {
  std::lock_guard lock(mutex_);
  auto key = std::make_pair(database, id);
  auto it = states_.find(key);
  if (it == states_.end()) it = states_.emplace(key, load()).first;
  auto value = nextSequenceValue(it->second);
  if (value) it->second.current = value;
  return value;
}

std::optional<SequenceState> SequenceCounters::loaded(const std::string& database,
                                                      std::int64_t id) {
  std::lock_guard lock(mutex_);
  auto it = states_.find({database, id});
  if (it == states_.end()) return std::nullopt;
  return it->second;
}

void SequenceCounters::forget(const std::string& database, std::int64_t id) {
  std::lock_guard lock(mutex_);
  states_.erase({database, id});
}

namespace {

constexpr const char* kSequenceTable =
    "._tessel_sequence(id INTEGER PRIMARY KEY, xtype INTEGER, prec INTEGER, start_value INTEGER, "
    "increment INTEGER, minimum_value INTEGER, maximum_value INTEGER, is_cycling INTEGER, "
    "current_value INTEGER, restart_value INTEGER)";

// The range of values a sequence of type `t` can hold; nothing for a type a
// sequence cannot have.
std::optional<std::pair<std::int64_t, std::int64_t>> typeRange(const TypeInfo& t) {
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  switch (t.type) {
    case SqlType::TinyInt:
      return std::make_pair(std::int64_t{0}, std::int64_t{255});
    case SqlType::SmallInt:
      return std::make_pair(std::int64_t{-32768}, std::int64_t{32767});
    case SqlType::Int:
      return std::make_pair(std::int64_t{std::numeric_limits<std::int32_t>::min()},
                            std::int64_t{std::numeric_limits<std::int32_t>::max()});
    case SqlType::BigInt:
      return std::make_pair(std::numeric_limits<std::int64_t>::min(), kMax);
    case SqlType::Decimal:
    case SqlType::Numeric: {
      if (t.scale != 0) return std::nullopt;
      // Values beyond 18 digits do not fit the 64-bit counters.
      std::int64_t top = 1;
      for (int i = 0; i < t.precision && i < 18; ++i) top *= 10;
      if (t.precision > 18) return std::make_pair(-kMax, kMax);
      return std::make_pair(-(top - 1), top - 1);
    }
    default:
      return std::nullopt;
  }
}

// The done token's command of CREATE statements.
constexpr std::uint16_t kCmdCreate = 0xC6;

}  // namespace

SequenceRef SqliteSession::resolveSequence(const Name& name) {
  std::string database = name.size() >= 3 ? name[name.size() - 3] : std::string();
  SequenceRef ref;
  ref.schema = schemaFor(database);
  bool found = false;
  const int owner = ownerOfName(name, ref.schema);
  try {
    querySql(db_.get(),
             "SELECT o.id, s.xtype, s.prec FROM " + quoteName(ref.schema) + ".sysobjects o JOIN " +
                 quoteName(ref.schema) +
                 "._tessel_sequence s ON s.id = o.id WHERE o.name = ? COLLATE TSQL_CI AND "
                 "o.uid = ?",
             {Stored::text(name.back()), Stored::integer(owner)}, [&](sqlite3_stmt* st) {
               found = true;
               ref.id = sqlite3_column_int64(st, 0);
               auto type = sqlTypeFromXtype(sqlite3_column_int(st, 1));
               ref.type = makeType(type ? *type : SqlType::BigInt);
               if (isDecimalType(ref.type.type))
                 ref.type = makeType(ref.type.type, 0,
                                     static_cast<std::uint8_t>(sqlite3_column_int(st, 2)), 0);
             });
  } catch (const SqliteFailure&) {
    // A database written before sequences has no table for them, and so none.
  }
  if (!found) throw SqlError(208, {joinName(name)});
  return ref;
}

namespace {

SequenceState loadSequence(sqlite3* db, const std::string& schema, std::int64_t id) {
  SequenceState s;
  querySql(db,
           "SELECT start_value, increment, minimum_value, maximum_value, is_cycling, "
           "current_value, coalesce(restart_value, start_value) FROM " +
               quoteName(schema) + "._tessel_sequence WHERE id = ?",
           {Stored::integer(id)}, [&](sqlite3_stmt* st) {
             s.start = sqlite3_column_int64(st, 0);
             s.increment = sqlite3_column_int64(st, 1);
             s.minimum = sqlite3_column_int64(st, 2);
             s.maximum = sqlite3_column_int64(st, 3);
             s.cycle = sqlite3_column_int(st, 4) != 0;
             if (sqlite3_column_type(st, 5) != SQLITE_NULL) s.current = sqlite3_column_int64(st, 5);
             s.first = sqlite3_column_int64(st, 6);
           });
  return s;
}

std::string objectName(sqlite3* db, const std::string& schema, std::int64_t id) {
  std::string name;
  querySql(db, "SELECT name FROM " + quoteName(schema) + ".sysobjects WHERE id = ?",
           {Stored::integer(id)}, [&](sqlite3_stmt* st) {
             name = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
           });
  return name;
}

// Written with the statement: the engine's counter stays ahead of a
// rollback, and the next value taken writes it again.
void storeSequenceValue(sqlite3* db, const std::string& schema, std::int64_t id,
                        std::int64_t value) {
  execSql(db,
          "UPDATE " + quoteName(schema) + "._tessel_sequence SET current_value = ? WHERE id = ?",
          {Stored::integer(value), Stored::integer(id)});
}

}  // namespace

std::int64_t SqliteSession::takeSequenceValue(const std::string& schema, std::int64_t id) {
  // Statements that name the sequence took the lock before they began;
  // this covers the ones that reach it another way (a column default).
  lockForWrite(schema);
  auto value =
      engine_.sequences().next(schema, id, [&] { return loadSequence(db_.get(), schema, id); });
  if (!value) throw SqlError(11728, {objectName(db_.get(), schema, id)});
  storeSequenceValue(db_.get(), schema, id, *value);
  sequencesTaken_.insert({schema, id});
  return *value;
}

std::int64_t SqliteSession::takeSequenceRange(const std::string& database, const std::string& name,
                                              std::int64_t count) {
  // `name` as written: the schema it may give counts.
  const Name written = splitName(name);
  Name n{database, written.size() >= 2 ? written[written.size() - 2] : std::string(),
         written.back()};
  SequenceRef ref = resolveSequence(n);
  if (count < 1) throw SqlError(11733, {});
  lockForWrite(ref.schema);
  auto range = engine_.sequences().range(
      ref.schema, ref.id, count, [&] { return loadSequence(db_.get(), ref.schema, ref.id); });
  if (!range) throw SqlError(11732, {n.back()});
  storeSequenceValue(db_.get(), ref.schema, ref.id, range->last);
  sequencesTaken_.insert({ref.schema, ref.id});
  SequenceState s = loadSequence(db_.get(), ref.schema, ref.id);
  lastRange_ = {range->last, range->cycles, s.increment, s.minimum, s.maximum};
  return range->first;
}

std::int64_t SqliteSession::sequenceValueFor(const std::string& schema, std::int64_t id,
                                             std::int64_t site) {
  SequenceRow& row = sequenceRows_[{schema, id}];
  if (!row.sites.empty() && row.sites.insert(site).second) return row.value;
  row.value = takeSequenceValue(schema, id);
  row.sites = {site};
  return row.value;
}

void SqliteSession::keepSequenceValues() noexcept {
  if (sequencesTaken_.empty() || !sqlite3_get_autocommit(db_.get())) return;
  auto taken = std::move(sequencesTaken_);
  sequencesTaken_.clear();
  for (const auto& [schema, id] : taken) {
    try {
      auto kept = engine_.sequences().loaded(schema, id);
      if (!kept || !kept->current) continue;
      if (loadSequence(db_.get(), schema, id).current == kept->current) continue;
      lockForWrite(schema);
      storeSequenceValue(db_.get(), schema, id, *kept->current);
    } catch (...) {
      // Gone with its database or sequence, or the lock did not come: the
      // next value taken writes the counter again.
    }
  }
}

namespace {

// Runs body, a SQL function's work, handing a failure to SQLite as the
// statement's error: a server error with its number, a cancel as an interrupt.
template <typename Body>
void reportingErrors(sqlite3_context* c, const Body& body) {
  try {
    body();
  } catch (...) {
    resultCurrentError(c);
  }
}

}  // namespace

void SqliteSession::registerSequenceFunction() {
  sqlite3_create_function_v2(
      db_.get(), "t_nextval", 3, SQLITE_UTF8, this,
      [](sqlite3_context* c, int, sqlite3_value** v) {
        auto* self = static_cast<SqliteSession*>(sqlite3_user_data(c));
        reportingErrors(c, [&] {
          std::string schema = reinterpret_cast<const char*>(sqlite3_value_text(v[0]));
          sqlite3_result_int64(c, self->sequenceValueFor(schema, sqlite3_value_int64(v[1]),
                                                         sqlite3_value_int64(v[2])));
        });
      },
      nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(
      db_.get(), "t_seqattr", 3, SQLITE_UTF8, this,
      [](sqlite3_context* c, int, sqlite3_value** v) {
        auto* self = static_cast<SqliteSession*>(sqlite3_user_data(c));
        reportingErrors(c, [&] {
          std::string schema = reinterpret_cast<const char*>(sqlite3_value_text(v[0]));
          std::string attribute = reinterpret_cast<const char*>(sqlite3_value_text(v[2]));
          auto value = self->sequenceAttribute(schema, sqlite3_value_int64(v[1]), attribute);
          if (value) {
            sqlite3_result_int64(c, *value);
          } else {
            sqlite3_result_null(c);
          }
        });
      },
      nullptr, nullptr, nullptr);
  // t_seqrange(database, name, count): the first of `count` values taken at
  // once; t_seqrangepart(i) the rest of what sp_sequence_get_range returns.
  sqlite3_create_function_v2(
      db_.get(), "t_seqrange", 3, SQLITE_UTF8, this,
      [](sqlite3_context* c, int, sqlite3_value** v) {
        auto* self = static_cast<SqliteSession*>(sqlite3_user_data(c));
        reportingErrors(c, [&] {
          auto text = [&](int i) {
            const unsigned char* t = sqlite3_value_text(v[i]);
            return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
          };
          sqlite3_result_int64(
              c, self->takeSequenceRange(text(0), text(1), sqlite3_value_int64(v[2])));
        });
      },
      nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(
      db_.get(), "t_seqrangepart", 1, SQLITE_UTF8, this,
      [](sqlite3_context* c, int, sqlite3_value** v) {
        auto* self = static_cast<SqliteSession*>(sqlite3_user_data(c));
        const auto& r = self->lastRange_;
        const std::int64_t parts[] = {r.last, r.cycles, r.increment, r.minimum, r.maximum};
        int i = sqlite3_value_int(v[0]);
        if (i < 0 || i >= 5) return sqlite3_result_null(c);
        sqlite3_result_int64(c, parts[i]);
      },
      nullptr, nullptr, nullptr);
}

std::optional<std::int64_t> SqliteSession::sequenceAttribute(const std::string& schema,
                                                             std::int64_t id,
                                                             const std::string& attribute) {
  static constexpr std::string_view kColumns[] = {"start_value",   "increment",    "minimum_value",
                                                  "maximum_value", "is_cycling",   "xtype",
                                                  "prec",          "current_value"};
  bool known = false;
  for (std::string_view c : kColumns) known = known || c == attribute;
  if (!known) return std::nullopt;
  // The engine's counter is ahead of the file after a rollback.
  if (attribute == "current_value") {
    if (auto s = engine_.sequences().loaded(schema, id)) return s->current;
  }
  std::optional<std::int64_t> value;
  try {
    querySql(
        db_.get(),
        "SELECT " + attribute + " FROM " + quoteName(schema) + "._tessel_sequence WHERE id = ?",
        {Stored::integer(id)}, [&](sqlite3_stmt* st) {
          if (sqlite3_column_type(st, 0) != SQLITE_NULL) value = sqlite3_column_int64(st, 0);
        });
  } catch (const SqliteFailure&) {
    // A database written before sequences has none.
  }
  return value;
}

void SqliteSession::execSequence(const CreateSequenceStmt& c, Frame& f) {
  std::string database = c.name.size() >= 3 ? c.name[c.name.size() - 3] : std::string();
  const std::string schema = schemaFor(database);
  const std::string q = quoteName(schema);
  const std::string& name = c.name.back();
  auto integerOption = [&](const ExprPtr& e) -> std::optional<std::int64_t> {
    if (!e) return std::nullopt;
    TypeInfo from;
    Stored v = evaluate(*e, f, &from);
    // Constants beyond int are numeric: they convert as CAST(... AS bigint) does.
    v = convertValue(v, from, makeType(SqlType::BigInt), 0, settings_);
    if (v.kind != Stored::Kind::Int) return std::nullopt;
    return v.i;
  };
  execSql(db_.get(), std::string("CREATE TABLE IF NOT EXISTS ") + q + kSequenceTable);
  catalog_.invalidate();
  const int owner = ownerOfName(c.name, schema);
  if (!owner) throw SqlError(2760, {c.name[c.name.size() - 2]});
  std::int64_t id = catalog_.objectId(schema, name, owner);
  SequenceState s;
  TypeInfo type = makeType(SqlType::BigInt);
  if (c.alter) {
    SequenceRef ref = resolveSequence(c.name);
    id = ref.id;
    type = ref.type;
    s = loadSequence(db_.get(), schema, id);
    // The engine's counter is ahead of the file after a rollback.
    if (auto kept = engine_.sequences().loaded(schema, id)) s.current = kept->current;
  } else {
    if (id) throw SqlError(2714, {name});
    if (c.type) type = *c.type;
  }
  auto range = typeRange(type);
  if (!range) throw SqlError(11702, {name});
  if (!c.alter) {
    s.minimum = range->first;
    s.maximum = range->second;
  }
  if (c.minSet) s.minimum = integerOption(c.minValue).value_or(range->first);
  if (c.maxSet) s.maximum = integerOption(c.maxValue).value_or(range->second);
  if (auto inc = integerOption(c.increment)) s.increment = *inc;
  if (c.cycle) s.cycle = *c.cycle;
  if (!c.alter) {
    // Without START WITH: the minimum of an ascending sequence, the maximum of a descending one.
    s.start = integerOption(c.start).value_or(s.increment > 0 ? s.minimum : s.maximum);
    s.first = s.start;
  }
  // RESTART without WITH goes back to the start value CREATE gave.
  if (c.restart) {
    s.first = integerOption(c.restartWith).value_or(s.start);
    s.current.reset();
  }
  if (s.increment == 0) throw SqlError(11700, {name});
  if (s.minimum < range->first || s.minimum > range->second) throw SqlError(11708, {"MINVALUE"});
  if (s.maximum < range->first || s.maximum > range->second) throw SqlError(11708, {"MAXVALUE"});
  if (s.minimum >= s.maximum) throw SqlError(11705, {name});
  if (s.first < s.minimum || s.first > s.maximum) throw SqlError(11703, {name});
  if (s.current && (*s.current < s.minimum || *s.current > s.maximum))
    throw SqlError(11704, {std::to_string(*s.current), name});
  const bool outermost = sqlite3_get_autocommit(db_.get());
  execSql(db_.get(), "SAVEPOINT tessel_ddl");
  try {
    if (!c.alter) {
      id = catalog_.nextObjectId(schema);
      catalog_.addObject(schema, id, name, "SO", 0, owner);
    }
    execSql(
        db_.get(),
        "INSERT OR REPLACE INTO " + q +
            "._tessel_sequence(id, xtype, prec, start_value, increment, minimum_value, "
            "maximum_value, is_cycling, current_value, restart_value) VALUES (?,?,?,?,?,?,?,?,?,?)",
        {Stored::integer(id), Stored::integer(typeXtype(type.type)),
         Stored::integer(isDecimalType(type.type) ? type.precision : 0), Stored::integer(s.start),
         Stored::integer(s.increment), Stored::integer(s.minimum), Stored::integer(s.maximum),
         Stored::integer(s.cycle ? 1 : 0), s.current ? Stored::integer(*s.current) : Stored::null(),
         s.first == s.start ? Stored::null() : Stored::integer(s.first)});
    releaseSavepoint("tessel_ddl", outermost);
  } catch (...) {
    sqlite3_exec(db_.get(), "ROLLBACK TO tessel_ddl; RELEASE tessel_ddl", nullptr, nullptr,
                 nullptr);
    catalog_.invalidate();
    throw;
  }
  catalog_.invalidate();
  engine_.sequences().forget(schema, id);
  statementDone(doneKind(f), kCmdCreate, false, 0);
}

void SqliteSession::dropSequence(const std::string& schema, std::int64_t id) {
  execSql(db_.get(), "DELETE FROM " + quoteName(schema) + "._tessel_sequence WHERE id = ?",
          {Stored::integer(id)});
  engine_.sequences().forget(schema, id);
}

}  // namespace tessel::sqld::engine
