#include "types.h"

#include <algorithm>

#include "collations.h"
#include "lexer.h"

namespace tessel::sqld::engine {

TypeInfo makeType(SqlType type, std::int32_t length, std::uint8_t precision, std::uint8_t scale) {
  TypeInfo t;
  t.type = type;
  t.precision = precision;
  t.scale = scale;
  switch (type) {
    case SqlType::TinyInt:
    case SqlType::Bit:
      t.length = 1;
      break;
    case SqlType::SmallInt:
      t.length = 2;
      break;
    case SqlType::Int:
    case SqlType::Real:
    case SqlType::SmallMoney:
    case SqlType::SmallDateTime:
      t.length = 4;
      break;
    case SqlType::BigInt:
    case SqlType::Float:
    case SqlType::Money:
    case SqlType::DateTime:
      t.length = 8;
      break;
    case SqlType::UniqueIdentifier:
      t.length = 16;
      break;
    case SqlType::Date:
      t.length = 3;
      break;
    case SqlType::Time:
    case SqlType::DateTime2:
    case SqlType::DateTimeOffset:
      // Bytes on the wire for the scale; the date adds three, the offset two.
      t.length = (scale <= 2   ? 3
                  : scale <= 4 ? 4
                               : 5) +
                 (type == SqlType::Time ? 0 : 3) + (type == SqlType::DateTimeOffset ? 2 : 0);
      break;
    case SqlType::Decimal:
    case SqlType::Numeric:
      t.length = decimalLength(precision);
      break;
    case SqlType::Text:
    case SqlType::Image:
      t.length = 2147483647;
      break;
    case SqlType::NText:
      t.length = 2147483646;
      break;
    case SqlType::Variant:
      t.length = 8016;
      break;
    case SqlType::Xml:
      // Unbounded: the catalog shows -1, as for the (max) types.
      t.length = -1;
      break;
    default:
      t.length = length;
      break;
  }
  return t;
}

int decimalLength(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

std::optional<TypeInfo> typeFromName(std::string_view rawName, const std::vector<int>& args) {
  std::string name = lower(rawName);
  auto arg = [&](std::size_t i, int fallback) { return i < args.size() ? args[i] : fallback; };
  auto text = [&](SqlType t, int unit) {
    int n = arg(0, 1);
    if (n < 0 && (t == SqlType::VarChar || t == SqlType::NVarChar || t == SqlType::VarBinary))
      return makeType(t, kMaxLength / unit * unit);
    if (n < 0) n = 8000 / unit;
    return makeType(t, n * unit);
  };
  if (name == "int" || name == "integer") return makeType(SqlType::Int);
  if (name == "smallint") return makeType(SqlType::SmallInt);
  if (name == "tinyint") return makeType(SqlType::TinyInt);
  if (name == "bigint") return makeType(SqlType::BigInt);
  if (name == "bit") return makeType(SqlType::Bit);
  if (name == "real") return makeType(SqlType::Real);
  if (name == "float" || name == "double") {
    if (!args.empty() && args[0] <= 24) return makeType(SqlType::Real);
    return makeType(SqlType::Float);
  }
  if (name == "decimal" || name == "dec" || name == "numeric") {
    int p = std::clamp(arg(0, 18), 1, 38);
    int s = std::clamp(arg(1, 0), 0, p);
    return makeType(name == "numeric" ? SqlType::Numeric : SqlType::Decimal, 0,
                    static_cast<std::uint8_t>(p), static_cast<std::uint8_t>(s));
  }
  if (name == "money") return makeType(SqlType::Money, 0, 19, 4);
  if (name == "smallmoney") return makeType(SqlType::SmallMoney, 0, 10, 4);
  if (name == "datetime") return makeType(SqlType::DateTime);
  if (name == "smalldatetime") return makeType(SqlType::SmallDateTime);
  auto fractional = [&](SqlType t) {
    int scale = std::clamp(arg(0, 7), 0, 7);
    return makeType(t, 0, 0, static_cast<std::uint8_t>(scale));
  };
  if (name == "date") return makeType(SqlType::Date);
  if (name == "time") return fractional(SqlType::Time);
  if (name == "datetime2") return fractional(SqlType::DateTime2);
  if (name == "datetimeoffset") return fractional(SqlType::DateTimeOffset);
  if (name == "char" || name == "character") return text(SqlType::Char, 1);
  if (name == "varchar") return text(SqlType::VarChar, 1);
  if (name == "nchar") return text(SqlType::NChar, 2);
  if (name == "nvarchar") return text(SqlType::NVarChar, 2);
  if (name == "sysname") return makeType(SqlType::NVarChar, 256);
  if (name == "text") return makeType(SqlType::Text);
  if (name == "ntext") return makeType(SqlType::NText);
  if (name == "image") return makeType(SqlType::Image);
  if (name == "binary") return text(SqlType::Binary, 1);
  if (name == "varbinary") return text(SqlType::VarBinary, 1);
  if (name == "timestamp" || name == "rowversion") return makeType(SqlType::Binary, 8);
  if (name == "uniqueidentifier") return makeType(SqlType::UniqueIdentifier);
  if (name == "sql_variant") return makeType(SqlType::Variant);
  if (name == "xml") return makeType(SqlType::Xml);
  return std::nullopt;
}

std::string typeName(SqlType type) {
  switch (type) {
    case SqlType::TinyInt:
      return "tinyint";
    case SqlType::SmallInt:
      return "smallint";
    case SqlType::Int:
      return "int";
    case SqlType::BigInt:
      return "bigint";
    case SqlType::Bit:
      return "bit";
    case SqlType::Real:
      return "real";
    case SqlType::Float:
      return "float";
    case SqlType::Decimal:
      return "decimal";
    case SqlType::Numeric:
      return "numeric";
    case SqlType::Money:
      return "money";
    case SqlType::SmallMoney:
      return "smallmoney";
    case SqlType::DateTime:
      return "datetime";
    case SqlType::SmallDateTime:
      return "smalldatetime";
    case SqlType::Char:
      return "char";
    case SqlType::VarChar:
      return "varchar";
    case SqlType::NChar:
      return "nchar";
    case SqlType::NVarChar:
      return "nvarchar";
    case SqlType::Text:
      return "text";
    case SqlType::NText:
      return "ntext";
    case SqlType::Image:
      return "image";
    case SqlType::Binary:
      return "binary";
    case SqlType::VarBinary:
      return "varbinary";
    case SqlType::UniqueIdentifier:
      return "uniqueidentifier";
    case SqlType::Date:
      return "date";
    case SqlType::Time:
      return "time";
    case SqlType::DateTime2:
      return "datetime2";
    case SqlType::DateTimeOffset:
      return "datetimeoffset";
    case SqlType::Variant:
      return "sql_variant";
    case SqlType::Xml:
      return "xml";
  }
  return "int";
}

std::string typeDisplayName(const TypeInfo& t) {
  std::string name = typeName(t.type);
  if (isDecimalType(t.type))
    return name + "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
  if (isMaxType(t)) return name + "(max)";
  if (t.type == SqlType::Time || t.type == SqlType::DateTime2 || t.type == SqlType::DateTimeOffset)
    return name + "(" + std::to_string(t.scale) + ")";
  if ((isCharType(t.type) || isBinaryType(t.type)) && !isLargeType(t.type))
    return name + "(" + std::to_string(charLength(t)) + ")";
  return name;
}

int typePrecedence(SqlType type) {
  switch (type) {
    case SqlType::Variant:
      return 32;
    case SqlType::Xml:
      return 31;
    case SqlType::DateTimeOffset:
      return 30;
    case SqlType::DateTime2:
      return 29;
    case SqlType::DateTime:
      return 28;
    case SqlType::SmallDateTime:
      return 27;
    case SqlType::Date:
      return 26;
    case SqlType::Time:
      return 25;
    case SqlType::Float:
      return 22;
    case SqlType::Real:
      return 21;
    case SqlType::Decimal:
      return 20;
    case SqlType::Numeric:
      return 20;
    case SqlType::Money:
      return 19;
    case SqlType::SmallMoney:
      return 18;
    case SqlType::BigInt:
      return 17;
    case SqlType::Int:
      return 16;
    case SqlType::SmallInt:
      return 15;
    case SqlType::TinyInt:
      return 14;
    case SqlType::Bit:
      return 13;
    case SqlType::NText:
      return 12;
    case SqlType::Text:
      return 11;
    case SqlType::Image:
      return 10;
    case SqlType::UniqueIdentifier:
      return 9;
    case SqlType::NVarChar:
      return 8;
    case SqlType::NChar:
      return 7;
    case SqlType::VarChar:
      return 6;
    case SqlType::Char:
      return 5;
    case SqlType::VarBinary:
      return 4;
    case SqlType::Binary:
      return 3;
  }
  return 0;
}

bool isCharType(SqlType t) {
  return t == SqlType::Char || t == SqlType::VarChar || t == SqlType::NChar ||
         t == SqlType::NVarChar || t == SqlType::Text || t == SqlType::NText;
}
bool isUnicodeType(SqlType t) {
  return t == SqlType::NChar || t == SqlType::NVarChar || t == SqlType::NText;
}
bool isBinaryType(SqlType t) {
  return t == SqlType::Binary || t == SqlType::VarBinary || t == SqlType::Image;
}
bool isIntegerType(SqlType t) {
  return t == SqlType::TinyInt || t == SqlType::SmallInt || t == SqlType::Int ||
         t == SqlType::BigInt || t == SqlType::Bit;
}
bool isDecimalType(SqlType t) {
  return t == SqlType::Decimal || t == SqlType::Numeric;
}
bool isMoneyType(SqlType t) {
  return t == SqlType::Money || t == SqlType::SmallMoney;
}
bool isExactType(SqlType t) {
  return isIntegerType(t) || isDecimalType(t) || isMoneyType(t);
}
bool isNumericType(SqlType t) {
  return isExactType(t) || t == SqlType::Real || t == SqlType::Float;
}
bool isDateType(SqlType t) {
  return t == SqlType::DateTime || t == SqlType::SmallDateTime;
}
bool isLargeType(SqlType t) {
  return t == SqlType::Text || t == SqlType::NText || t == SqlType::Image;
}
bool isFixedLengthType(SqlType t) {
  return t == SqlType::Char || t == SqlType::NChar || t == SqlType::Binary;
}

int storageScale(const TypeInfo& t) {
  if (isMoneyType(t.type)) return 4;
  if (isDecimalType(t.type)) return t.scale;
  return 0;
}

int typeXtype(SqlType t) {
  switch (t) {
    case SqlType::TinyInt:
      return 48;
    case SqlType::SmallInt:
      return 52;
    case SqlType::Int:
      return 56;
    case SqlType::BigInt:
      return 127;
    case SqlType::Bit:
      return 104;
    case SqlType::Real:
      return 59;
    case SqlType::Float:
      return 62;
    case SqlType::Decimal:
      return 106;
    case SqlType::Numeric:
      return 108;
    case SqlType::Money:
      return 60;
    case SqlType::SmallMoney:
      return 122;
    case SqlType::DateTime:
      return 61;
    case SqlType::SmallDateTime:
      return 58;
    case SqlType::Char:
      return 175;
    case SqlType::VarChar:
      return 167;
    case SqlType::NChar:
      return 239;
    case SqlType::NVarChar:
      return 231;
    case SqlType::Text:
      return 35;
    case SqlType::NText:
      return 99;
    case SqlType::Image:
      return 34;
    case SqlType::Binary:
      return 173;
    case SqlType::VarBinary:
      return 165;
    case SqlType::UniqueIdentifier:
      return 36;
    case SqlType::Date:
      return 40;
    case SqlType::Time:
      return 41;
    case SqlType::DateTime2:
      return 42;
    case SqlType::DateTimeOffset:
      return 43;
    case SqlType::Variant:
      return 98;
    case SqlType::Xml:
      return 241;
  }
  return 0;
}

// The pre-7.0 type codes that syscolumns.type still carries: nullable columns
// of fixed types use the variable-length "n" codes.
int typeOldType(const TypeInfo& t) {
  bool n = t.nullable;
  switch (t.type) {
    case SqlType::TinyInt:
      return n ? 38 : 48;
    case SqlType::SmallInt:
      return n ? 38 : 52;
    case SqlType::Int:
      return n ? 38 : 56;
    case SqlType::BigInt:
      return n ? 38 : 127;
    case SqlType::Bit:
      return 50;
    case SqlType::Real:
      return n ? 109 : 59;
    case SqlType::Float:
      return n ? 109 : 62;
    case SqlType::Decimal:
      return n ? 106 : 55;
    case SqlType::Numeric:
      return n ? 108 : 63;
    case SqlType::Money:
      return n ? 110 : 60;
    case SqlType::SmallMoney:
      return n ? 110 : 122;
    case SqlType::DateTime:
      return n ? 111 : 61;
    case SqlType::SmallDateTime:
      return n ? 111 : 58;
    case SqlType::Char:
      return n ? 39 : 47;
    case SqlType::VarChar:
      return 39;
    case SqlType::NChar:
      return 39;
    case SqlType::NVarChar:
      return 39;
    case SqlType::Text:
      return 35;
    case SqlType::NText:
      return 99;
    case SqlType::Image:
      return 34;
    case SqlType::Binary:
      return n ? 37 : 45;
    case SqlType::VarBinary:
      return 37;
    case SqlType::UniqueIdentifier:
      return 37;
    case SqlType::Date:
    case SqlType::Time:
    case SqlType::DateTime2:
    case SqlType::DateTimeOffset:
      return typeXtype(t.type);
    case SqlType::Variant:
      return 39;
    case SqlType::Xml:
      return typeXtype(t.type);
  }
  return 0;
}

int typeUserType(SqlType t) {
  switch (t) {
    case SqlType::Char:
      return 1;
    case SqlType::VarChar:
      return 2;
    case SqlType::Binary:
      return 3;
    case SqlType::VarBinary:
      return 4;
    case SqlType::TinyInt:
      return 5;
    case SqlType::SmallInt:
      return 6;
    case SqlType::Int:
      return 7;
    case SqlType::Float:
      return 8;
    case SqlType::Numeric:
      return 10;
    case SqlType::Money:
      return 11;
    case SqlType::DateTime:
      return 12;
    case SqlType::Bit:
      return 16;
    case SqlType::Text:
      return 19;
    case SqlType::Image:
      return 20;
    case SqlType::SmallMoney:
      return 21;
    case SqlType::SmallDateTime:
      return 22;
    case SqlType::Real:
      return 23;
    case SqlType::Decimal:
      return 24;
    default:
      return 0;
  }
}

bool isMaxType(const TypeInfo& t) {
  return (t.type == SqlType::VarChar || t.type == SqlType::NVarChar ||
          t.type == SqlType::VarBinary) &&
         t.length > 8000;
}

int catalogLength(const TypeInfo& t) {
  // A text, ntext or image column holds a 16-byte pointer to its value.
  if (isLargeType(t.type)) return 16;
  return isMaxType(t) ? -1 : t.length;
}

int charLength(const TypeInfo& t) {
  return isUnicodeType(t.type) && !isLargeType(t.type) ? t.length / 2 : t.length;
}

std::string storageDeclaration(const TypeInfo& t) {
  if (isCharType(t.type) || t.type == SqlType::UniqueIdentifier)
    return "TEXT" + collateClause(t.collation);
  if (t.type == SqlType::Xml) return "TEXT";
  if (isBinaryType(t.type) || t.type == SqlType::Variant) return "BLOB";
  if (t.type == SqlType::Real || t.type == SqlType::Float) return "REAL";
  return "INTEGER";
}

}  // namespace tessel::sqld::engine
