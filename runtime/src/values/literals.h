#pragma once

// Parameter values as they are written into statement text, and as they are
// declared for a prepared statement's procedure, chosen by the parameter's
// data type. Every value either becomes a literal the server reads back as
// exactly that value, or is refused with an error naming the parameter:
// nothing is ever written into the text raw.

#include <string>

#include "framework/db_types.h"

namespace tessel {
class TParam;
}

namespace tessel::values {

// The parameter types whose values are text, and those whose values are
// bytes (written as 0x..., declared varbinary).
bool IsTextType(TFieldType Type);
bool IsBinaryType(TFieldType Type);

// The bytes of a binary or blob parameter, whether it holds them as bytes or
// as a string.
std::string BinaryValue(const TParam& Param);

// The value as a T-SQL literal: null; a quoted string, N'...' when it holds
// any character outside ASCII; 0x... for binary and blob values; date-times
// to the millisecond; exact numbers in full. Raises EDatabaseError naming the
// parameter for a type that has no literal, text that is not UTF-8, a string
// holding a zero character, and a float that is not finite.
std::string SqlLiteral(const TParam& Param);

// The type a prepared statement's procedure declares the parameter with;
// character and binary values are declared long enough for any value
// (nvarchar(max), varbinary(max)), so no later value is cut; decimals and
// date-times travel as exact text that the server converts where it is used. Raises
// EDatabaseError naming the parameter for a type it cannot declare.
std::string DeclaredType(const TParam& Param);

}  // namespace tessel::values
