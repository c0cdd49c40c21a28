// Microsoft's 19-byte DBNUMERIC and FreeTDS's 35-byte DBNUMERIC, both ways.
//
// FreeTDS: array[0] is the sign (1 negative), then the magnitude big-endian in exactly
// the number of bytes its precision needs. Microsoft: sign 1 positive, the magnitude in
// 16 bytes little-endian.
#ifndef TESSEL_DBLIB_NUMERIC_H
#define TESSEL_DBLIB_NUMERIC_H

#include "ftds.h"
#include "ms_types.h"

namespace tessel::dblib {

// Bytes FreeTDS uses for a value of `precision` digits, the sign byte included.
int FreeTdsNumericBytes(int precision);

// Fails (returns false) when the precision is outside 1..38, the scale exceeds it, or the
// magnitude does not fit in the digits of the precision.
bool ToMicrosoft(const DBNUMERIC& in, ms::Numeric& out);
bool ToFreeTds(const ms::Numeric& in, DBNUMERIC& out);

}  // namespace tessel::dblib

#endif
