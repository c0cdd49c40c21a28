// dbconvert and dbdatecrack with Microsoft's DBNUMERIC and DBDATEREC.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "columns.h"
#include "datecrack.h"
#include "numeric.h"
#include "state.h"

using namespace tessel::dblib;

namespace {

constexpr int kDefaultPrecision = 18;

void ReportBadNumeric(DBPROCESS* dbproc, const ms::Numeric& value) {
  ReportError(dbproc, ms::kExConversion, ms::kErrConvertSyntax,
              "Attempt to convert an invalid DBNUMERIC (precision " +
                  std::to_string(value.precision) + ", scale " + std::to_string(value.scale) + ")");
}

bool IsFloatSource(int type, DBINT length) {
  return type == SYBFLT8 || type == SYBREAL || (type == SYBFLTN && (length == 4 || length == 8));
}

// Float to money rounds to the nearest 1/10000 (FreeTDS truncates, so 12.3456 read back
// from a float became 12.3455) and refuses NaN, infinities and values out of range.
DBINT FloatToMoney(DBPROCESS* dbproc, int srctype, const BYTE* src, DBINT srclen, int desttype,
                   BYTE* dest) {
  long double value = 0;
  if (srctype == SYBREAL || (srctype == SYBFLTN && srclen == 4)) {
    float f;
    std::memcpy(&f, src, sizeof f);
    value = f;
  } else {
    double d;
    std::memcpy(&d, src, sizeof d);
    value = d;
  }
  bool small = desttype == SYBMONEY4;
  long double units = std::roundl(value * 10000.0L);
  long double low =
      small ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int64_t>::min();
  long double high =
      small ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int64_t>::max();
  if (!std::isfinite(value) || units < low || units > high) {
    ReportError(
        dbproc, ms::kExConversion, ms::kErrOverflow,
        "Data conversion resulted in overflow: " + std::to_string(static_cast<double>(value)) +
            (small ? " does not fit in smallmoney" : " does not fit in money"));
    return -1;
  }
  if (small) {
    auto money4 = static_cast<int32_t>(units);
    std::memcpy(dest, &money4, sizeof money4);
    return sizeof money4;
  }
  auto money = static_cast<int64_t>(units);
  DBMONEY out{static_cast<DBINT>(money >> 32), static_cast<DBUINT>(money & 0xffffffffu)};
  std::memcpy(dest, &out, sizeof out);
  return sizeof out;
}

}  // namespace

// FreeTDS's own dbconvert reads the connection to pick a numeric layout and so cannot take
// a null DBPROCESS; dbconvert_ps can, and is used for every conversion.
NTWDBLIB_API DBINT dbconvert(DBPROCESS* dbproc, int srctype, const BYTE* src, DBINT srclen,
                             int desttype, BYTE* dest, DBINT destlen) {
  if ((desttype == SYBMONEY || desttype == SYBMONEY4) && src != nullptr && dest != nullptr &&
      IsFloatSource(srctype, srclen)) {
    return FloatToMoney(dbproc, srctype, src, srclen, desttype, dest);
  }
  DBNUMERIC source{};
  if (IsNumericType(srctype) && src != nullptr && srclen != 0) {
    const auto& in = *reinterpret_cast<const ms::Numeric*>(src);
    if (!ToFreeTds(in, source)) {
      ReportBadNumeric(dbproc, in);
      return -1;
    }
    src = reinterpret_cast<const BYTE*>(&source);
    srclen = sizeof source;
  }
  if (!IsNumericType(desttype) || dest == nullptr) {
    return dbconvert_ps(dbproc, srctype, src, srclen, desttype, dest, destlen, nullptr);
  }
  // A Microsoft DBNUMERIC destination is fixed-length (destlen is ignored); its precision
  // and scale say what to produce, 18 and 0 when they do not make sense.
  auto& out = *reinterpret_cast<ms::Numeric*>(dest);
  DBTYPEINFO wanted{out.precision, out.scale};
  if (wanted.precision < 1 || wanted.precision > ms::kMaxPrecision)
    wanted.precision = kDefaultPrecision;
  if (wanted.scale > wanted.precision) wanted.scale = 0;
  DBNUMERIC result{};
  DBINT rc = dbconvert_ps(dbproc, srctype, src, srclen, desttype, reinterpret_cast<BYTE*>(&result),
                          sizeof result, &wanted);
  if (rc < 0) return -1;
  if (src == nullptr || srclen == 0) {
    // A null source: Microsoft's null value, zero with the requested shape.
    std::memset(&out, 0, sizeof out);
    out.precision = static_cast<uint8_t>(wanted.precision);
    out.scale = static_cast<uint8_t>(wanted.scale);
    out.sign = 1;
    return static_cast<DBINT>(sizeof out);
  }
  if (!ToMicrosoft(result, out)) return -1;
  return static_cast<DBINT>(sizeof out);
}

NTWDBLIB_API RETCODE dbdatecrack(DBPROCESS* dbproc, ms::DateRec* dateinfo,
                                 const ms::DateTime* datetime) {
  if (dateinfo == nullptr || datetime == nullptr) {
    ReportError(
        dbproc, ms::kExProgram, ms::kErrBadParam,
        datetime == nullptr ? "dbdatecrack: no datetime value" : "dbdatecrack: no DBDATEREC");
    return FAIL;
  }
  if (!CrackDateTime(*datetime, *dateinfo)) {
    ReportError(
        dbproc, ms::kExConversion, ms::kErrConvertSyntax,
        "dbdatecrack: time of day " + std::to_string(datetime->dttime) + " is beyond 23:59:59.997");
    return FAIL;
  }
  return SUCCEED;
}
