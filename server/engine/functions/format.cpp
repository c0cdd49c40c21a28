// FORMAT, and the text of an XML value ((SELECT ... FOR XML ...).value('.', type)).

#include "builtin.h"
#include "errors.h"
#include "types.h"

namespace tessel::sqld::engine::builtin {
namespace {

// FORMAT(value, format [, culture]): numbers and dates as .NET formats them
// (t_format in format.cpp); nvarchar(4000).
Typed format(Call& c) {
  Typed v = c.arg(0);
  std::string kind, value;
  const SqlType t = v.type.type;
  const TypeInfo text = makeType(SqlType::VarChar, 100);
  if (isIntegerType(t) && t != SqlType::Bit) {
    kind = "i";
    value = v.sql;
  } else if (isExactType(t)) {
    kind = "n";
    value = c.convert(v, text);
  } else if (t == SqlType::Real || t == SqlType::Float) {
    kind = "f";
    value = v.sql;
  } else if (t == SqlType::Time) {
    kind = "t";
    value = c.convert(v, text);
  } else if (isDateType(t) || t == SqlType::Date || t == SqlType::DateTime2 ||
             t == SqlType::DateTimeOffset) {
    kind = t == SqlType::DateTimeOffset ? "o" : "d";
    value = c.convert(v, text, 126);
  } else if (v.nullLiteral) {
    return make("NULL", makeType(SqlType::NVarChar, 8000));
  } else {
    throw SqlError(8116, {typeName(t), "format"});
  }
  const std::string culture = c.size() > 2 ? c.text(2).sql : "NULL";
  Typed r = make("t_format(" + value + ", '" + kind + "', " + c.text(1).sql + ", " + culture + ")",
                 makeType(SqlType::NVarChar, 8000));
  r.type.nullable = true;
  return r;
}

Typed xmlValue(Call& c) {
  Typed x = c.arg(0);
  Typed r = make("t_xml_text(" + x.sql + ")", makeType(SqlType::NVarChar, kMaxLength / 2 * 2));
  r.type.nullable = true;
  return r;
}

constexpr Function kFunctions[] = {
    {"FORMAT", 2, 3, format},
    // Named so that no call can spell it: the parser makes it of .value().
    {".VALUE", 1, 1, xmlValue},
};

}  // namespace

std::span<const Function> formatFunctions() {
  return kFunctions;
}

}  // namespace tessel::sqld::engine::builtin
