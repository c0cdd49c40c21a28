#include "numeric.h"

#include <cstring>

namespace tessel::dblib {
namespace {

using U128 = unsigned __int128;

constexpr U128 PowerOfTen(int n) {
  U128 value = 1;
  for (int i = 0; i < n; ++i) value *= 10;
  return value;
}

bool ValidShape(int precision, int scale) {
  return precision >= 1 && precision <= ms::kMaxPrecision && scale >= 0 && scale <= precision;
}

}  // namespace

int FreeTdsNumericBytes(int precision) {
  // Bytes of the largest magnitude of that many digits, plus the sign byte.
  U128 largest = PowerOfTen(precision) - 1;
  int bytes = 0;
  while (largest != 0) {
    largest >>= 8;
    ++bytes;
  }
  return bytes + 1;
}

bool ToMicrosoft(const DBNUMERIC& in, ms::Numeric& out) {
  if (!ValidShape(in.precision, in.scale)) return false;
  int magnitude_bytes = FreeTdsNumericBytes(in.precision) - 1;
  U128 magnitude = 0;
  for (int i = 0; i < magnitude_bytes; ++i) magnitude = (magnitude << 8) | in.array[1 + i];
  if (magnitude >= PowerOfTen(in.precision)) return false;
  std::memset(&out, 0, sizeof out);
  out.precision = in.precision;
  out.scale = in.scale;
  out.sign = in.array[0] == 1 ? 0 : 1;
  for (int i = 0; i < ms::kNumericBytes; ++i) {
    out.val[i] = static_cast<uint8_t>(magnitude & 0xff);
    magnitude >>= 8;
  }
  return true;
}

bool ToFreeTds(const ms::Numeric& in, DBNUMERIC& out) {
  if (!ValidShape(in.precision, in.scale)) return false;
  U128 magnitude = 0;
  for (int i = ms::kNumericBytes - 1; i >= 0; --i) magnitude = (magnitude << 8) | in.val[i];
  if (magnitude >= PowerOfTen(in.precision)) return false;
  std::memset(&out, 0, sizeof out);
  out.precision = in.precision;
  out.scale = in.scale;
  // Microsoft's sign 0 is negative; a negative zero is kept as zero.
  out.array[0] = (in.sign == 0 && magnitude != 0) ? 1 : 0;
  int magnitude_bytes = FreeTdsNumericBytes(in.precision) - 1;
  for (int i = magnitude_bytes; i >= 1; --i) {
    out.array[i] = static_cast<unsigned char>(magnitude & 0xff);
    magnitude >>= 8;
  }
  return true;
}

}  // namespace tessel::dblib
