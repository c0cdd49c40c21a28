#pragma once

// SQL Server types as the engine sees them: names, sizes, precedence, the
// codes the catalog shows, and how each type is stored in SQLite.
//
// Storage forms (chosen so that SQLite sorts and compares them correctly):
//   integers, bit                 INTEGER
//   real, float                   REAL
//   money, smallmoney             INTEGER ten-thousandths
//   decimal(p,s), numeric(p,s)    p <= 18: INTEGER unscaled value (value * 10^s);
//                                 p > 18: 16-byte BLOB of the unscaled value that
//                                 sorts bytewise (exact.h)
//   datetime, smalldatetime       INTEGER ticks of 1/300 s since 1900-01-01
//                                 (days * 25920000 + ticks)
//   char family, text             TEXT (UTF-8; char(n) padded to n)
//   binary family, image          BLOB
//   uniqueidentifier              TEXT, upper-case canonical form

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sqld/values.h"

namespace tessel::sqld::engine {

constexpr std::int64_t kTicksPerDay = 25920000;  // 300 per second

// int, bigint ... by name, with the (n) or (p, s) arguments as written.
// max stands for -1. Returns nothing for an unknown name.
std::optional<TypeInfo> typeFromName(std::string_view name, const std::vector<int>& args);
TypeInfo makeType(SqlType type, std::int32_t length = 0, std::uint8_t precision = 0,
                  std::uint8_t scale = 0);

std::string typeName(SqlType type);
// "varchar(10)", "decimal(10,2)", "int".
std::string typeDisplayName(const TypeInfo& type);

// Higher wins when two types meet in an expression.
int typePrecedence(SqlType type);

bool isCharType(SqlType t);     // char, varchar, nchar, nvarchar, text, ntext
bool isUnicodeType(SqlType t);  // nchar, nvarchar, ntext
bool isBinaryType(SqlType t);   // binary, varbinary, image
bool isIntegerType(SqlType t);  // tinyint .. bigint, bit
bool isExactType(SqlType t);    // integers, decimal, numeric, money
bool isNumericType(SqlType t);  // exact types plus real and float
bool isDecimalType(SqlType t);  // decimal, numeric
bool isMoneyType(SqlType t);
bool isDateType(SqlType t);
bool isLargeType(SqlType t);  // text, ntext, image
bool isFixedLengthType(SqlType t);

// varchar(max), nvarchar(max) and varbinary(max): declared with the largest
// length (nvarchar(max) 2147483646 bytes, as ntext); the catalog shows -1.
constexpr std::int32_t kMaxLength = 2147483647;
bool isMaxType(const TypeInfo& t);
// The length syscolumns and sys.columns show: -1 for the (max) types, 16
// for text, ntext and image.
int catalogLength(const TypeInfo& t);

// The SQLite column declaration of a type's storage form ("INTEGER",
// "TEXT COLLATE TSQL_CI" ...).
std::string storageDeclaration(const TypeInfo& t);

// Digits after the point in the storage form (money 4, decimal its scale).
int storageScale(const TypeInfo& t);

// Codes as sysobjects, syscolumns and systypes show them.
int typeXtype(SqlType t);
int typeOldType(const TypeInfo& t);
int typeUserType(SqlType t);
// Characters a char family column holds (nvarchar(10) holds 10, length 20).
int charLength(const TypeInfo& t);

// The decimal storage length for a precision (5, 9, 13 or 17).
int decimalLength(int precision);

}  // namespace tessel::sqld::engine
