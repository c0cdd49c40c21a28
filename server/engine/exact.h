#pragma once

// Exact numbers of up to 38 digits: decimal and numeric values as an
// unscaled 128-bit integer and a scale, with the arithmetic SQL Server does
// on them. Products and quotients are worked out in 512 bits before they are
// rounded to the result's scale, so that no digit is lost on the way.
//
// Storage: a decimal or numeric of precision up to 18 is a SQLite INTEGER
// (the unscaled value). A wider one is a 16-byte BLOB: the unscaled value
// big-endian in two's complement with the sign bit flipped, so that SQLite's
// byte-wise BLOB comparison orders the values of one scale numerically.

#include <cstdint>
#include <string>
#include <string_view>

#include "sqld/values.h"

namespace tessel::sqld::engine::exact {

// 10^n for n in 0..38.
__int128 pow10(int n);

// Whether values of this type are stored as 16-byte BLOBs.
bool isWide(const TypeInfo& t);
constexpr int kNarrowDigits = 18;

std::string toBytes(__int128 v);
__int128 fromBytes(std::string_view bytes);

// "-123.4500" from unscaled -1234500 and scale 4.
std::string toString(__int128 v, int scale);

// Whether an unscaled value fits the type: decimal(p,s) holds |v| < 10^p,
// money 8 bytes, smallmoney 4 bytes, other types anything.
bool fits(__int128 v, const TypeInfo& t);

// Moves v from one scale to another, rounding half away from zero (or
// truncating). False when the result does not fit 128 bits.
bool rescale(__int128 v, int fromScale, int toScale, __int128& out, bool truncate = false);

enum class Op { Add, Subtract, Multiply, Divide, Modulo };

// a (scale sa) op b (scale sb) as an unscaled value of scale rs, rounded
// half away from zero (a quotient is truncated when `truncate` is set).
// False when the result does not fit 128 bits. The caller checks division
// by zero first.
bool apply(Op op, __int128 a, int sa, __int128 b, int sb, int rs, __int128& out,
           bool truncate = false);

// -1, 0 or 1 as a (scale sa) is below, equal to or above b (scale sb).
int compare(__int128 a, int sa, __int128 b, int sb);

}  // namespace tessel::sqld::engine::exact
