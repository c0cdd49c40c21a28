// The table of server types and the moves between slots and native forms.

#include "values/server_types.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "framework/data_consts.h"
#include "framework/decimal.h"
#include "framework/exceptions.h"
#include "framework/field.h"
#include "framework/sysutils.h"
#include "values/text_encoding.h"

namespace tessel::values {
namespace {

// clang-format off
constexpr ServerType kTypes[] = {
    {34,  "image",            ftBlob,     Holding::Blob},
    {35,  "text",             ftMemo,     Holding::Blob},
    {kSQLUNIQUE, "uniqueidentifier", ftString, Holding::Text},
    {37,  "varbinary",        ftVarBytes, Holding::VarBytes},
    {38,  "int",              ftInteger,  Holding::Int4},
    {39,  "varchar",          ftString,   Holding::Text},
    {kSQLDATE, "date",        ftDate,     Holding::Date},
    {kSQLTIME, "time",        ftTime,     Holding::Time},
    {kSQLDATETIME2, "datetime2", ftDateTime, Holding::DateTime},
    // The offset would be lost in a date-time field: the exact text is kept.
    {kSQLDATETIMEOFFSET, "datetimeoffset", ftString, Holding::Text},
    {45,  "binary",           ftBytes,    Holding::Bytes},
    {47,  "char",             ftString,   Holding::Text},
    {48,  "tinyint",          ftSmallint, Holding::Int1},
    {50,  "bit",              ftBoolean,  Holding::Bit},
    {52,  "smallint",         ftSmallint, Holding::Int2},
    {56,  "int",              ftInteger,  Holding::Int4},
    {58,  "smalldatetime",    ftDateTime, Holding::DateTime},
    {59,  "real",             ftFloat,    Holding::Real},
    {60,  "money",            ftCurrency, Holding::Money},
    {61,  "datetime",         ftDateTime, Holding::DateTime},
    {62,  "float",            ftFloat,    Holding::Float},
    {106, "decimal",          ftBCD,      Holding::Decimal},
    {108, "numeric",          ftBCD,      Holding::Decimal},
    {111, "datetime",         ftDateTime, Holding::DateTime},
    {122, "smallmoney",       ftCurrency, Holding::SmallMoney},
    {127, "bigint",           ftLargeint, Holding::Int8},
    {kSQLXML, "xml",          ftMemo,     Holding::Blob},
    {kExactTimeText, "time",  ftString,   Holding::Text},
    {kExactDateTime2Text, "datetime2", ftString, Holding::Text},
};
// clang-format on

template <typename T>
T Load(const void* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void Store(void* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

[[noreturn]] void OutOfRange(const TField& Field, const std::string& Value, const std::string& Low,
                             const std::string& High) {
  DatabaseError(Format(dbconsts::SFieldRangeError, {Value, Field.DisplayName(), Low, High}));
}

std::string FloatText(double value) {
  return Format("%g", {value});
}

// smallmoney holds -214,748.3648 to 214,748.3647.
constexpr std::int64_t kSmallMoneyLow = INT32_MIN;
constexpr std::int64_t kSmallMoneyHigh = INT32_MAX;

void WriteMoney(const ColumnShape& Column, const TField& Field, std::int64_t scaled, char* Value) {
  if (Column.Type == 122) {
    if (scaled < kSmallMoneyLow || scaled > kSmallMoneyHigh) {
      OutOfRange(Field, Currency::FromScaled(scaled).ToString(), "-214748.3648", "214748.3647");
    }
    Store(Value, static_cast<std::int32_t>(scaled));
    return;
  }
  const auto bits = static_cast<std::uint64_t>(scaled);
  Store(Value, static_cast<std::int32_t>(static_cast<std::uint32_t>(bits >> 32)));
  Store(Value + 4, static_cast<std::uint32_t>(bits & 0xFFFFFFFFu));
}

std::int64_t ReadMoney(const ColumnShape& Column, const char* Value) {
  if (Column.Type == 122) return Load<std::int32_t>(Value);
  const auto high = static_cast<std::uint32_t>(Load<std::int32_t>(Value));
  const auto low = Load<std::uint32_t>(Value + 4);
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

// A decimal column keeps every value at its own precision and scale: the
// value given is brought to that scale (refused when a digit would be lost)
// and checked against the precision.
void WriteDecimal(const ColumnShape& Column, const TField& Field, const void* Source, char* Value) {
  const Decimal given = BcdToDecimal(Source);
  const int precision = std::clamp(Column.Precision, 1, Decimal::kMaxPrecision);
  const int scale = std::clamp(Column.Scale, 0, precision);
  Decimal held;
  if (!given.Rescaled(scale, held)) {
    DatabaseError(Format("%s has more decimals than field '%s' can hold (%d)",
                         {given.ToString(), Field.DisplayName(), scale}));
  }
  if (!held.FitsIn(precision, scale)) {
    const std::string nines =
        std::string(static_cast<std::size_t>(precision - scale), '9') +
        (scale > 0 ? "." + std::string(static_cast<std::size_t>(scale), '9') : std::string());
    OutOfRange(Field, given.ToString(), "-" + nines, nines);
  }
  DecimalToBcd(held, precision, Value);
}

// The dates a date-time column can hold, in the field's milliseconds.
void CheckDateTimeRange(const ColumnShape& Column, const TField& Field, double msecs) {
  constexpr double kMsPerDay = 86400000.0;
  double low = 1 * kMsPerDay;         // 0001-01-01
  double high = 3652060 * kMsPerDay;  // 10000-01-01, excluded
  const char* low_text = "0001-01-01";
  const char* high_text = "9999-12-31 23:59:59.999";
  if (Column.Type == 61 || Column.Type == 111) {
    low = 639906 * kMsPerDay;  // 1753-01-01
    low_text = "1753-01-01";
  } else if (Column.Type == 58) {
    low = 693596 * kMsPerDay;   // 1900-01-01
    high = 759132 * kMsPerDay;  // 2079-06-07, excluded
    low_text = "1900-01-01";
    high_text = "2079-06-06 23:59";
  }
  if (!(msecs >= low && msecs < high)) {
    OutOfRange(Field, DateTimeToStr(TimeStampToDateTime(MSecsToTimeStamp(msecs))), low_text,
               high_text);
  }
}

}  // namespace

// Each code below 256 to one more than its entry's place in kTypes (0: no
// entry): every field read looks its column's type up.
constexpr auto kPlaceOfCode = [] {
  std::array<std::uint8_t, 256> places{};
  for (std::size_t i = 0; i < std::size(kTypes); ++i) {
    const int code = kTypes[i].Code;
    if (code >= 0 && code < 256 && places[static_cast<std::size_t>(code)] == 0) {
      places[static_cast<std::size_t>(code)] = static_cast<std::uint8_t>(i + 1);
    }
  }
  return places;
}();
static_assert(std::size(kTypes) < 255);

const ServerType* FindServerType(int code) {
  if (code >= 0 && code < 256) {
    const std::uint8_t place = kPlaceOfCode[static_cast<std::size_t>(code)];
    return place == 0 ? nullptr : &kTypes[place - 1];
  }
  const auto* end = std::end(kTypes);
  const auto* found =
      std::find_if(std::begin(kTypes), end, [code](const ServerType& t) { return t.Code == code; });
  return found == end ? nullptr : found;
}

std::string ServerTypeName(int code) {
  if (code == 98) return "sql_variant";
  const ServerType* type = FindServerType(code);
  return type != nullptr ? type->Name : Format("type %d", {code});
}

void SlotToNative(const ColumnShape& Column, TFieldType Field, const char* Value, void* Dest) {
  const ServerType* type = FindServerType(Column.Type);
  const Holding hold = type != nullptr ? type->Hold : Holding::Bytes;
  switch (hold) {
    case Holding::Text: {
      const std::size_t length = strnlen(Value, static_cast<std::size_t>(Column.Size));
      std::memcpy(Dest, Value, length);
      static_cast<char*>(Dest)[length] = '\0';
      return;
    }
    case Holding::Int1:
      return Store(Dest, static_cast<std::int16_t>(Load<std::uint8_t>(Value)));
    case Holding::Bit:
      return Store(Dest, static_cast<std::int16_t>(Value[0] == 1 ? 1 : 0));
    case Holding::Real:
      return Store(Dest, static_cast<double>(Load<float>(Value)));
    case Holding::Money:
    case Holding::SmallMoney:
      return Store(Dest, ReadMoney(Column, Value));
    case Holding::Decimal:
      std::memcpy(Dest, Value, kBcdSize);
      return;
    case Holding::Blob:
      std::memcpy(Dest, Value, 32);
      return;
    default: {
      // The value area already holds the field's own form.
      std::size_t size = 0;
      switch (Field) {
        case ftSmallint:
        case ftBoolean:
          size = 2;
          break;
        case ftInteger:
        case ftDate:
        case ftTime:
          size = 4;
          break;
        case ftFloat:
        case ftLargeint:
        case ftDateTime:
          size = 8;
          break;
        case ftVarBytes:
          size = static_cast<std::size_t>(Column.Size) + 1;
          break;
        default:
          size = static_cast<std::size_t>(Column.Size);
          break;
      }
      std::memcpy(Dest, Value, size);
      return;
    }
  }
}

void NativeToSlot(const ColumnShape& Column, const TField& Field, const void* Source, char* Value) {
  const ServerType* type = FindServerType(Column.Type);
  const Holding hold = type != nullptr ? type->Hold : Holding::Bytes;
  switch (hold) {
    case Holding::Text: {
      const std::size_t length =
          strnlen(static_cast<const char*>(Source), static_cast<std::size_t>(Column.Size));
      const std::string text(static_cast<const char*>(Source), length);
      CheckText(Column, Field, text);
      std::memcpy(Value, text.data(), length);
      Value[length] = '\0';
      return;
    }
    case Holding::Int1: {
      const auto v = Load<std::int16_t>(Source);
      if (v < 0 || v > 255) OutOfRange(Field, std::to_string(v), "0", "255");
      return Store(Value, static_cast<std::uint8_t>(v));
    }
    case Holding::Int2:
      return Store(Value, Load<std::int16_t>(Source));
    case Holding::Int4:
      return Store(Value, Load<std::int32_t>(Source));
    case Holding::Int8:
      return Store(Value, Load<std::int64_t>(Source));
    case Holding::Bit:
      Value[0] = Load<std::int16_t>(Source) != 0 ? 1 : 0;
      return;
    case Holding::Real: {
      const double v = Load<double>(Source);
      if (!std::isfinite(v) || std::fabs(v) > FLT_MAX) {
        OutOfRange(Field, FloatText(v), "-3.40282347e+38", "3.40282347e+38");
      }
      return Store(Value, static_cast<float>(v));
    }
    case Holding::Float: {
      const double v = Load<double>(Source);
      if (!std::isfinite(v)) OutOfRange(Field, FloatText(v), "-1.79e+308", "1.79e+308");
      return Store(Value, v);
    }
    case Holding::Money:
    case Holding::SmallMoney:
      return WriteMoney(Column, Field, Load<std::int64_t>(Source), Value);
    case Holding::Decimal:
      return WriteDecimal(Column, Field, Source, Value);
    case Holding::DateTime: {
      const double v = Load<double>(Source);
      CheckDateTimeRange(Column, Field, v);
      return Store(Value, v);
    }
    case Holding::Date:
    case Holding::Time:
      return Store(Value, Load<std::int32_t>(Source));
    case Holding::Bytes:
    case Holding::VarBytes:
    case Holding::Blob: {
      const int length = std::min(Field.DataSize(), Column.Size + 1);
      std::memcpy(Value, Source, static_cast<std::size_t>(std::max(length, 0)));
      return;
    }
  }
}

void CheckText(const ColumnShape& Column, const TField& Field, const std::string& Text) {
  const TextProblem problem = FindTextProblem(Text, Column.CodePage);
  if (problem.Kind == TextFault::None) return;
  if (problem.Kind == TextFault::NotUtf8) {
    DatabaseError(Format("The value for field '%s' is not valid UTF-8 (byte %d)",
                         {Field.DisplayName(), static_cast<int>(problem.Offset) + 1}));
  }
  DatabaseError(
      Format("Field '%s' cannot hold the character '%s' (%s): the column keeps its "
             "text in code page %d, which has no such character",
             {Field.DisplayName(), problem.Character, problem.CodePoint, Column.CodePage}));
}

}  // namespace tessel::values
