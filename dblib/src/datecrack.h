// Splitting a datetime value into Microsoft's DBDATEREC.
#ifndef TESSEL_DBLIB_DATECRACK_H
#define TESSEL_DBLIB_DATECRACK_H

#include "ms_types.h"

namespace tessel::dblib {

// dtdays counts days from 1900-01-01 (negative before it), dttime 1/300 seconds from
// midnight. weekday is 1 (Monday) to 7 (Sunday); week counts Sunday-started weeks with
// week 1 holding January 1 (1..54); millisecond is the tick rounded to the nearest ms.
// Fails on a time of day outside 0..25919999 ticks.
bool CrackDateTime(const ms::DateTime& value, ms::DateRec& out);

}  // namespace tessel::dblib

#endif
