// Values of the newer date, time and uniqueidentifier columns.

#include "query/query_column_values.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "framework/sysutils.h"

namespace tessel::columns {
namespace {

constexpr std::int64_t kTicksPerMillisecond = 10000;
constexpr std::int64_t kTicksPerMinute = 60 * 1000 * kTicksPerMillisecond;
constexpr std::int64_t kTicksPerDay = 24 * 60 * kTicksPerMinute;
// 1900-01-01 counted from 0001-01-01 as day 1.
constexpr std::int64_t kDayNumberOf1900 = 693596;

}  // namespace

bool ReadDateTimeValue(const std::uint8_t* data, int length, DateTimeValue& value) {
  if (data == nullptr || length != 16) return false;
  std::uint64_t ticks = 0;
  std::int32_t day = 0;
  std::int16_t offset = 0;
  std::uint16_t flags = 0;
  std::memcpy(&ticks, data, sizeof ticks);
  std::memcpy(&day, data + 8, sizeof day);
  std::memcpy(&offset, data + 12, sizeof offset);
  std::memcpy(&flags, data + 14, sizeof flags);
  if (ticks >= static_cast<std::uint64_t>(kTicksPerDay)) return false;
  value.Day = day;
  value.Ticks = static_cast<std::int64_t>(ticks);
  value.Offset = offset;
  value.Scale = flags & 7;
  return true;
}

std::int32_t DayNumber(const DateTimeValue& value) {
  return static_cast<std::int32_t>(value.Day + kDayNumberOf1900);
}

std::int32_t MillisecondOfDay(const DateTimeValue& value) {
  return static_cast<std::int32_t>(value.Ticks / kTicksPerMillisecond);
}

double DateTimeMilliseconds(const DateTimeValue& value) {
  TTimeStamp stamp{MillisecondOfDay(value), DayNumber(value)};
  return TimeStampToMSecs(stamp);
}

namespace {

// The date and time of day (with the value's fraction digits) of a day and a
// time in 100 ns units.
std::string LocalText(std::int64_t day, std::int64_t ticks, int scale, bool with_date) {
  char text[64];
  int n = 0;
  if (with_date) {
    int year = 0, month = 0, days = 0;
    const TTimeStamp date{0, static_cast<std::int32_t>(day + kDayNumberOf1900)};
    DecodeDate(TimeStampToDateTime(date), year, month, days);
    n = std::snprintf(text, sizeof text, "%04d-%02d-%02d ", year, month, days);
  }
  const std::int64_t seconds = ticks / (1000 * kTicksPerMillisecond);
  n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), "%02d:%02d:%02d",
                     static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                     static_cast<int>(seconds % 60));
  if (scale > 0) {
    char fraction[24];
    std::snprintf(fraction, sizeof fraction, "%07lld",
                  static_cast<long long>(ticks % (1000 * kTicksPerMillisecond)));
    std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ".%.*s", scale, fraction);
  }
  return text;
}

}  // namespace

std::string TimeText(const DateTimeValue& value) {
  return LocalText(0, value.Ticks, value.Scale, false);
}

std::string DateTime2Text(const DateTimeValue& value) {
  return LocalText(value.Day, value.Ticks, value.Scale, true);
}

std::string DateTimeOffsetText(const DateTimeValue& value) {
  // The local time: UTC moved by the offset, across midnight if need be.
  std::int64_t ticks = value.Ticks + value.Offset * kTicksPerMinute;
  std::int64_t day = value.Day;
  if (ticks < 0) {
    ticks += kTicksPerDay;
    --day;
  } else if (ticks >= kTicksPerDay) {
    ticks -= kTicksPerDay;
    ++day;
  }
  char offset_text[16];
  const int offset = value.Offset < 0 ? -value.Offset : value.Offset;
  std::snprintf(offset_text, sizeof offset_text, " %c%02d:%02d", value.Offset < 0 ? '-' : '+',
                offset / 60, offset % 60);
  return LocalText(day, ticks, value.Scale, true) + offset_text;
}

std::string GuidText(const std::uint8_t* data, int length) {
  if (data == nullptr || length != 16) return {};
  // The first three groups are stored least significant byte first.
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    const std::uint8_t byte = data[kOrder[i]];
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  text += '}';
  return text;
}

bool IsNewerType(int Type) {
  return Type == kSQLUNIQUE || Type == kExactTimeText || Type == kExactDateTime2Text ||
         (Type >= kSQLDATE && Type <= kSQLDATETIMEOFFSET);
}

bool ReadNewerTypeValue(int Type, const std::uint8_t* Data, int Available, char* Slot, int Area) {
  char* value = Slot + 1;
  const auto put_text = [&](const std::string& text) {
    const std::size_t length =
        std::min(text.size(), static_cast<std::size_t>(std::max(Area - 1, 0)));
    std::memcpy(value, text.data(), length);
    value[length] = '\0';
  };
  if (Type == kSQLUNIQUE) {
    const std::string text = GuidText(Data, Available);
    if (text.empty()) Slot[0] = 0;
    put_text(text);
    return true;
  }
  if (!IsNewerType(Type)) return false;
  DateTimeValue parts;
  if (!ReadDateTimeValue(Data, Available, parts)) {
    Slot[0] = 0;
    return true;
  }
  switch (Type) {
    case kExactTimeText:
      put_text(TimeText(parts));
      break;
    case kExactDateTime2Text:
      put_text(DateTime2Text(parts));
      break;
    case kSQLDATE: {
      const std::int32_t day = DayNumber(parts);
      std::memcpy(value, &day, sizeof day);
      break;
    }
    case kSQLTIME: {
      const std::int32_t ms = MillisecondOfDay(parts);
      std::memcpy(value, &ms, sizeof ms);
      break;
    }
    case kSQLDATETIME2: {
      const double ms = DateTimeMilliseconds(parts);
      std::memcpy(value, &ms, sizeof ms);
      break;
    }
    default:
      put_text(DateTimeOffsetText(parts));
      break;
  }
  return true;
}

}  // namespace tessel::columns
