#pragma once

// The value text of a parameter in the parameters dialog. Dates and times
// are shown and taken as ISO text (2026-11-05, 13:45:00, 2026-11-05
// 13:45:00) whatever the host's date order, so a date never reads as
// 11/05/2026 and a typed 05/11/2026 is refused rather than guessed at;
// other types go through the parameter's Text. Main thread.

#include <string>

namespace tessel {

class TParam;

namespace design {

std::string ParamValueText(const TParam& param);
// Raises EConvertError when text does not fit the parameter's type.
void SetParamValueText(TParam& param, const std::string& text);
// What the value box suggests while empty ("yyyy-mm-dd" for a date).
const char* ParamValueHint(const TParam& param);

}  // namespace design
}  // namespace tessel
