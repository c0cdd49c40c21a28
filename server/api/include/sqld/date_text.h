#pragma once

// date, time, datetime2 and datetimeoffset as text: "2024-02-29",
// "13:45:10.1234567", "2024-02-29 13:45:10.12", "2024-02-29 13:45:10 +01:00".
// The engine converts with it; the listener sends these types as this text
// to clients older than TDS 7.3. Pure functions, any thread.

#include <string>

#include "sqld/values.h"

namespace tessel::sqld {

// `type` is Date, Time, DateTime2 or DateTimeOffset; its scale (0 to 7) is
// the number of fractional-second digits shown.
std::string formatDateTime2(const DateTime2Value& v, const TypeInfo& type);

// Characters the text of a value of `type` takes at most.
int dateTime2TextLength(const TypeInfo& type);

}  // namespace tessel::sqld
