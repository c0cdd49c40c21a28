#include "recording_sink.h"

#include <cstdio>

#include "datetime.h"
#include "exact.h"

namespace tessel::sqld::testing {

void RecordingSink::metadata(std::span<const Column> columns) {
  results.push_back({std::vector<Column>(columns.begin(), columns.end()), {}});
}

void RecordingSink::databaseChanged(std::string_view newName, std::string_view) {
  database = std::string(newName);
  Message m;
  m.number = 5701;
  m.state = 2;
  m.severity = 0;
  m.text = "Changed database context to '" + database + "'.";
  messages.push_back(m);
}

void RecordingSink::row(std::span<const Value> values) {
  ++rowCount;
  if (keepRows && !results.empty()) results.back().rows.emplace_back(values.begin(), values.end());
}

std::vector<Message> RecordingSink::errors() const {
  std::vector<Message> out;
  for (const auto& m : messages)
    if (m.severity > 10) out.push_back(m);
  return out;
}

void RecordingSink::clear() {
  *this = RecordingSink();
}

std::string renderValue(const Value& v, const TypeInfo& type) {
  if (type.type == SqlType::Variant && v.variantType) return renderValue(v, *v.variantType);
  const auto& d = v.data();
  if (v.isNull()) return "NULL";
  if (auto* i = std::get_if<std::int64_t>(&d)) return std::to_string(*i);
  if (auto* f = std::get_if<double>(&d)) {
    char buf[64];
    std::snprintf(buf, sizeof buf, type.type == SqlType::Real ? "%.7g" : "%.15g", *f);
    return buf;
  }
  if (auto* dec = std::get_if<DecimalValue>(&d))
    return engine::exact::toString(dec->unscaled, dec->scale);
  if (auto* m = std::get_if<MoneyValue>(&d)) return engine::exact::toString(m->tenThousandths, 4);
  if (auto* dt = std::get_if<DateTimeValue>(&d)) {
    const auto [y, mo, day] = engine::civilFromDays(dt->days);
    std::uint32_t secs = dt->ticks / 300;
    int ms = static_cast<int>((dt->ticks % 300 * 10 + 1) / 3);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u.%03d", y, mo, day, secs / 3600,
                  secs / 60 % 60, secs % 60, ms);
    return buf;
  }
  if (auto* w = std::get_if<DateTime2Value>(&d)) {
    // yyyy-mm-dd, hh:mi:ss[.fraction to the scale], both, and the offset.
    std::string out;
    char buf[64];
    if (type.type != SqlType::Time) {
      const auto [y, mo, day] = engine::civilFromDays(w->days - 693595);
      std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, mo, day);
      out = buf;
      if (type.type == SqlType::Date) return out;
      out += " ";
    }
    long long s = w->units / 10000000;
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%07lld", s / 3600, s / 60 % 60, s % 60,
                  static_cast<long long>(w->units % 10000000));
    out += std::string(buf).substr(0, type.scale ? 9 + type.scale : 8);
    if (type.type == SqlType::DateTimeOffset) {
      int off = w->offsetMinutes < 0 ? -w->offsetMinutes : w->offsetMinutes;
      std::snprintf(buf, sizeof buf, " %c%02d:%02d", w->offsetMinutes < 0 ? '-' : '+', off / 60,
                    off % 60);
      out += buf;
    }
    return out;
  }
  if (auto* s = std::get_if<std::string>(&d)) return *s;
  if (auto* b = std::get_if<BytesValue>(&d)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (unsigned char c : b->bytes) {
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    return out;
  }
  if (auto* g = std::get_if<GuidValue>(&d)) {
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 16; ++i) {
      if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
      std::uint8_t c = g->bytes[kOrder[i]];
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    return out;
  }
  return "?";
}

std::string renderType(const TypeInfo& t) {
  static const char* kNames[] = {"tinyint",
                                 "smallint",
                                 "int",
                                 "bigint",
                                 "bit",
                                 "real",
                                 "float",
                                 "decimal",
                                 "numeric",
                                 "money",
                                 "smallmoney",
                                 "datetime",
                                 "smalldatetime",
                                 "char",
                                 "varchar",
                                 "nchar",
                                 "nvarchar",
                                 "text",
                                 "ntext",
                                 "image",
                                 "binary",
                                 "varbinary",
                                 "uniqueidentifier",
                                 "date",
                                 "time",
                                 "datetime2",
                                 "datetimeoffset",
                                 "sql_variant",
                                 "xml"};
  std::string name = kNames[static_cast<int>(t.type)];
  switch (t.type) {
    case SqlType::Decimal:
    case SqlType::Numeric:
      return name + "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case SqlType::Char:
    case SqlType::VarChar:
    case SqlType::Binary:
    case SqlType::VarBinary:
      return name + "(" + std::to_string(t.length) + ")";
    case SqlType::NChar:
    case SqlType::NVarChar:
      return name + "(" + std::to_string(t.length / 2) + ")";
    case SqlType::Time:
    case SqlType::DateTime2:
    case SqlType::DateTimeOffset:
      return name + "(" + std::to_string(t.scale) + ")";
    default:
      return name;
  }
}

}  // namespace tessel::sqld::testing
