// Literals and declarations of parameter values.

#include "values/literals.h"

#include <charconv>
#include <cmath>

#include "framework/decimal.h"
#include "framework/exceptions.h"
#include "framework/params.h"
#include "framework/sysutils.h"
#include "values/text_encoding.h"

namespace tessel::values {
namespace {

[[noreturn]] void Refuse(const TParam& Param, const std::string& Why) {
  DatabaseError(Format("Parameter '%s' %s", {Param.Name(), Why}));
}

std::string Quoted(const TParam& Param, const std::string& Value) {
  if (Value.find('\0') != std::string::npos) {
    Refuse(Param,
           "contains a zero character, which a string cannot hold; give it as a blob or "
           "bytes value");
  }
  const TextProblem problem = FindTextProblem(Value, kUnicode);
  if (problem.Kind != TextFault::None) {
    Refuse(Param, Format("is not valid UTF-8 (byte %d)", {static_cast<int>(problem.Offset) + 1}));
  }
  // Outside ASCII the literal must be Unicode: a plain literal is read in the
  // server's code page, which turns every character it lacks into '?'.
  return (IsAscii(Value) ? "" : "N") + QuotedStr(Value);
}

std::string BinaryLiteral(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  text.reserve(2 + 2 * bytes.size());
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

// The shortest text that reads back as the same double.
std::string FloatLiteral(const TParam& Param) {
  const double value = Param.AsFloat();
  if (!std::isfinite(value)) {
    Refuse(Param, Format("holds %g, which the server cannot store", {value}));
  }
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string DateText(const TTimeStamp& stamp) {
  int year = 0, month = 0, day = 0;
  DecodeDate(TimeStampToDateTime(TTimeStamp{0, stamp.Date}), year, month, day);
  return Format("%.4d%.2d%.2d", {year, month, day});
}

std::string TimeText(const TTimeStamp& stamp) {
  const int ms = stamp.Time;
  return Format("%.2d:%.2d:%.2d.%.3d", {ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000});
}

}  // namespace

bool IsTextType(TFieldType Type) {
  return Type == ftString || Type == ftFixedChar || Type == ftWideString || Type == ftMemo ||
         Type == ftFmtMemo;
}

bool IsBinaryType(TFieldType Type) {
  return Type == ftBytes || Type == ftVarBytes || Type == ftBlob || Type == ftGraphic;
}

std::string BinaryValue(const TParam& Param) {
  if (Param.Value().VarType() != varBytes) return Param.AsString();
  const TBytes bytes = Param.AsBytes();
  return std::string(bytes.begin(), bytes.end());
}

std::string SqlLiteral(const TParam& Param) {
  if (Param.IsNull()) return "null";
  if (IsTextType(Param.DataType())) return Quoted(Param, Param.AsString());
  if (IsBinaryType(Param.DataType())) return BinaryLiteral(BinaryValue(Param));
  switch (Param.DataType()) {
    case ftDateTime: {
      const TTimeStamp stamp = DateTimeToTimeStamp(Param.AsDateTime());
      return "'" + DateText(stamp) + " " + TimeText(stamp) + "'";
    }
    case ftDate:
      return "'" + DateText(DateTimeToTimeStamp(Param.AsDateTime())) + "'";
    case ftTime:
      return "'" + TimeText(DateTimeToTimeStamp(Param.AsDateTime())) + "'";
    // 1, not -1: a bit column compared with -1 is widened to int and never
    // equals it, so a row holding true could not be found again.
    case ftBoolean:
      return Param.AsBoolean() ? "1" : "0";
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
      return std::to_string(Param.Value().AsInteger());
    case ftFloat:
      return FloatLiteral(Param);
    case ftCurrency:
      return Param.Value().AsCurrency().ToString();
    case ftBCD:
      return Param.AsBCD().ToString();
    default:
      Refuse(Param, Format("has the data type %s, which has no literal in a statement",
                           {std::string(FieldTypeName(Param.DataType()))}));
  }
}

std::string DeclaredType(const TParam& Param) {
  if (IsTextType(Param.DataType())) return "NVARCHAR(MAX)";
  if (IsBinaryType(Param.DataType())) return "VARBINARY(MAX)";
  switch (Param.DataType()) {
    case ftSmallint:
      return "SMALLINT";
    case ftInteger:
    case ftWord:
    case ftAutoInc:
      return "INTEGER";
    case ftLargeint:
      return "BIGINT";
    case ftBoolean:
      return "BIT";
    case ftFloat:
      return "FLOAT";
    case ftCurrency:
      return "MONEY";
    // Exact text the server converts where the value is used, into the
    // column's own type: a declared decimal would fix one scale for every
    // later value, and a declared date-time type one precision (datetime's
    // 1/300 s ticks do not compare equal to datetime2's milliseconds).
    case ftBCD:
      return "VARCHAR(80)";
    case ftDate:
    case ftTime:
    case ftDateTime:
      return "VARCHAR(40)";
    default:
      Refuse(Param, Format("has the data type %s, which a prepared statement cannot declare",
                           {std::string(FieldTypeName(Param.DataType()))}));
  }
}

}  // namespace tessel::values
