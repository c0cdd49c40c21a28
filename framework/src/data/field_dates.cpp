// Date, time and date-time fields, and their ISO text.

#include <cmath>
#include <cstring>

#include "date_text.h"
#include "framework/data_consts.h"
#include "framework/field_kinds.h"
#include "framework/sysutils.h"

namespace tessel {

namespace {

constexpr double kMSecsPerDay = 86400000.0;

// Day number 1 is 0001-01-01; 31 Dec 9999 is the last day TDateTime supports.
constexpr std::int32_t kMaxDay = 3652059;

bool DayInRange(std::int32_t day) {
  return day >= 1 && day <= kMaxDay;
}

// TDateTime values of 0001-01-01 00:00 up to the end of 9999-12-31.
bool ValueInRange(TDateTime value) {
  return std::isfinite(value) && value >= -693593.0 && value < 2958466.0;
}

}  // namespace

std::string DateToIsoText(TDateTime value) {
  int year = 0, month = 0, day = 0;
  DecodeDate(value, year, month, day);
  return Format("%.4d-%.2d-%.2d", {year, month, day});
}

std::string TimeToIsoText(TDateTime value) {
  int hour = 0, minute = 0, second = 0, ms = 0;
  DecodeTime(value, hour, minute, second, ms);
  std::string text = Format("%.2d:%.2d:%.2d", {hour, minute, second});
  if (ms != 0) text += Format(".%.3d", {ms});
  return text;
}

std::string DateTimeToIsoText(TDateTime value) {
  return DateToIsoText(value) + " " + TimeToIsoText(value);
}

// --- shared conversions ---------------------------------------------------------

TDateTime TDateTimeKindField::AsDateTime() const {
  char data[8] = {};
  if (!GetData(data)) return 0;
  return FromNative(data);
}

void TDateTimeKindField::SetAsDateTime(TDateTime value) {
  char data[8] = {};
  ToNative(value, data);
  SetData(data);
}

std::string TDateTimeKindField::AsString() const {
  char data[8] = {};
  if (!GetData(data)) return {};
  return FormatValue(FromNative(data));
}

void TDateTimeKindField::SetAsString(const std::string& value) {
  if (Trim(value).empty()) {
    Clear();
    return;
  }
  TDateTime parsed = 0;
  if (!Parse(value, parsed)) ConvertError(InvalidFormat(), value);
  SetAsDateTime(parsed);
}

// --- TDateField -----------------------------------------------------------------

TDateField::TDateField(TComponent* owner) : TDateTimeKindField(owner, ftDate) {}

TDateTime TDateField::FromNative(const void* data) const {
  std::int32_t day = 0;
  std::memcpy(&day, data, sizeof day);
  if (!DayInRange(day)) return 0;
  return TimeStampToDateTime(TTimeStamp{0, day});
}

void TDateField::ToNative(TDateTime value, void* data) const {
  if (!ValueInRange(value)) ConvertError(dbconsts::SInvalidDateValue, FloatToStr(value));
  const std::int32_t day = DateTimeToTimeStamp(value).Date;
  std::memcpy(data, &day, sizeof day);
}

std::string TDateField::FormatValue(TDateTime value) const {
  return DateToIsoText(value);
}

bool TDateField::Parse(const std::string& text, TDateTime& value) const {
  return TryStrToDate(text, value);
}

const char* TDateField::InvalidFormat() const {
  return dbconsts::SInvalidDateValue;
}

// --- TTimeField -----------------------------------------------------------------

TTimeField::TTimeField(TComponent* owner) : TDateTimeKindField(owner, ftTime) {}

TDateTime TTimeField::FromNative(const void* data) const {
  std::int32_t ms = 0;
  std::memcpy(&ms, data, sizeof ms);
  return ms / kMSecsPerDay;
}

void TTimeField::ToNative(TDateTime value, void* data) const {
  if (!ValueInRange(value)) ConvertError(dbconsts::SInvalidTimeValue, FloatToStr(value));
  const std::int32_t ms = DateTimeToTimeStamp(value).Time;
  std::memcpy(data, &ms, sizeof ms);
}

std::string TTimeField::FormatValue(TDateTime value) const {
  return TimeToIsoText(value);
}

bool TTimeField::Parse(const std::string& text, TDateTime& value) const {
  return TryStrToTime(text, value);
}

const char* TTimeField::InvalidFormat() const {
  return dbconsts::SInvalidTimeValue;
}

// --- TDateTimeField -------------------------------------------------------------

TDateTimeField::TDateTimeField(TComponent* owner) : TDateTimeKindField(owner, ftDateTime) {}

TDateTime TDateTimeField::FromNative(const void* data) const {
  double msecs = 0;
  std::memcpy(&msecs, data, sizeof msecs);
  if (!std::isfinite(msecs) || msecs < kMSecsPerDay || msecs >= (kMaxDay + 1) * kMSecsPerDay) {
    return 0;
  }
  return TimeStampToDateTime(MSecsToTimeStamp(msecs));
}

void TDateTimeField::ToNative(TDateTime value, void* data) const {
  if (!ValueInRange(value)) ConvertError(dbconsts::SInvalidDateTimeValue, FloatToStr(value));
  const TTimeStamp stamp = DateTimeToTimeStamp(value);
  const double msecs = TimeStampToMSecs(stamp);
  std::memcpy(data, &msecs, sizeof msecs);
}

std::string TDateTimeField::FormatValue(TDateTime value) const {
  return DateTimeToIsoText(value);
}

bool TDateTimeField::Parse(const std::string& text, TDateTime& value) const {
  return TryStrToDateTime(text, value);
}

const char* TDateTimeField::InvalidFormat() const {
  return dbconsts::SInvalidDateTimeValue;
}

}  // namespace tessel
