#include "recording_sink.h"

#include <cstdio>

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

namespace {

std::string scaled(__int128 v, int scale) {
  bool neg = v < 0;
  unsigned __int128 u =
      neg ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(u % 10)));
    u /= 10;
  } while (u);
  if (scale > 0) {
    while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
    digits.insert(digits.end() - scale, '.');
  }
  return (neg ? "-" : "") + digits;
}

// Civil date from days since 1900-01-01.
void civil(std::int64_t days, int& y, int& m, int& d) {
  std::int64_t z = days - 25567 + 719468;
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

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
  if (auto* dec = std::get_if<DecimalValue>(&d)) return scaled(dec->unscaled, dec->scale);
  if (auto* m = std::get_if<MoneyValue>(&d)) return scaled(m->tenThousandths, 4);
  if (auto* dt = std::get_if<DateTimeValue>(&d)) {
    int y, mo, day;
    civil(dt->days, y, mo, day);
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
      int y, mo, day;
      civil(w->days - 693595, y, mo, day);
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
                                 "sql_variant"};
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
