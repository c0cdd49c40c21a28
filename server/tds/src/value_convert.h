#pragma once

// Lenient conversions of an engine Value to the representation a column's
// wire type needs. The engine normally hands over the matching kind; these
// keep a mismatch from corrupting the stream.

#include <cstdint>
#include <string>

#include "sqld/values.h"

namespace tessel::sqld::tds::convert {

// |v| without overflow for the most negative value.
inline unsigned __int128 magnitude(__int128 v) {
  auto u = static_cast<unsigned __int128>(v);
  return v < 0 ? ~u + 1 : u;
}

std::int64_t toInt64(const Value& v);
double toDouble(const Value& v);
DecimalValue toDecimal(const Value& v, std::uint8_t precision, std::uint8_t scale);
std::int64_t toMoney(const Value& v);  // ten-thousandths
DateTimeValue toDateTime(const Value& v);
std::string toText(const Value& v);   // UTF-8 (or raw bytes for binary values)
std::string toBytes(const Value& v);  // raw bytes
GuidValue toGuid(const Value& v);
DateTime2Value toDateTime2(const Value& v);

}  // namespace tessel::sqld::tds::convert
