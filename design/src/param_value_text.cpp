#include "param_value_text.h"

#include <cstdio>
#include <regex>

#include "framework/exceptions.h"
#include "framework/params.h"
#include "framework/sysutils.h"

namespace tessel::design {

namespace {

std::string IsoDate(TDateTime value) {
  int year = 0, month = 0, day = 0;
  DecodeDate(value, year, month, day);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
  return text;
}

std::string IsoTime(TDateTime value) {
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  DecodeTime(value, hour, minute, second, millisecond);
  char text[20];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", hour, minute, second);
  std::string result = text;
  if (millisecond != 0) {
    std::snprintf(text, sizeof text, ".%03d", millisecond);
    result += text;
  }
  return result;
}

// A date with an optional time, the date part as yyyy-mm-dd.
const std::regex& IsoDateTimePattern() {
  static const std::regex pattern(
      R"(\d{4}-\d{2}-\d{2}([ T]\d{1,2}:\d{2}(:\d{2}(\.\d{1,3})?)?( ?[AaPp][Mm])?)?)");
  return pattern;
}

}  // namespace

std::string ParamValueText(const TParam& param) {
  switch (param.DataType()) {
    case ftDate:
      return IsoDate(param.AsDateTime());
    case ftTime:
      return IsoTime(param.AsDateTime());
    case ftDateTime: {
      const TDateTime value = param.AsDateTime();
      const TDateTime day = static_cast<double>(static_cast<long long>(value));
      // Midnight shows as the date alone, as typed.
      return value == day ? IsoDate(value) : IsoDate(value) + " " + IsoTime(value);
    }
    default:
      return param.Text();
  }
}

void SetParamValueText(TParam& param, const std::string& text) {
  const TFieldType type = param.DataType();
  if (type == ftDate || type == ftDateTime) {
    const bool date_only = type == ftDate && text.find_first_of(" T") == std::string::npos;
    if (!std::regex_match(text, IsoDateTimePattern()) || (type == ftDate && !date_only)) {
      throw EConvertError("'" + text + "' is not a date written as yyyy-mm-dd" +
                          (type == ftDateTime ? " [hh:mm[:ss]]" : ""));
    }
  }
  param.SetText(text);
}

const char* ParamValueHint(const TParam& param) {
  switch (param.DataType()) {
    case ftDate:
      return "yyyy-mm-dd";
    case ftDateTime:
      return "yyyy-mm-dd hh:mm:ss";
    case ftTime:
      return "hh:mm:ss";
    default:
      return "";
  }
}

}  // namespace tessel::design
