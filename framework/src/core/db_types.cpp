#include "framework/db_types.h"

namespace tessel {

const char* FieldTypeName(TFieldType type) {
  static constexpr const char* kNames[] = {
      "Unknown", "String",    "SmallInt",   "Integer", "Word", "Boolean",
      "Float",   "Currency",  "BCD",        "Date",    "Time", "DateTime",
      "Bytes",   "VarBytes",  "AutoInc",    "Blob",    "Memo", "Graphic",
      "FmtMemo", "FixedChar", "WideString", "Largeint"};
  const auto index = static_cast<std::size_t>(type);
  return index < sizeof kNames / sizeof kNames[0] ? kNames[index] : "Unknown";
}

}  // namespace tessel
