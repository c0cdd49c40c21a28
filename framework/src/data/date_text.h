#pragma once

// ISO text of dates and times as the date and time fields show them:
// 2024-02-29, 13:45:00, 2024-02-29 13:45:00.250 (milliseconds only when not 0).

#include <string>

#include "framework/sysutils.h"

namespace tessel {

std::string DateToIsoText(TDateTime value);
std::string TimeToIsoText(TDateTime value);
std::string DateTimeToIsoText(TDateTime value);

}  // namespace tessel
