#pragma once

// Values in their SQLite storage form (see types.h) and the conversions
// between SQL Server types on them, with SQL Server's rules and errors.
// Used by the SQLite functions the engine registers and by the executor for
// variables and parameters.

#include <cstdint>
#include <string>

#include "settings.h"
#include "sqld/values.h"

namespace tessel::sqld::engine {

struct Stored {
  enum class Kind : std::uint8_t { Null, Int, Real, Text, Blob };
  Kind kind = Kind::Null;
  std::int64_t i = 0;
  double r = 0;
  std::string s;  // text or blob bytes

  static Stored null() { return {}; }
  static Stored integer(std::int64_t v) {
    Stored x;
    x.kind = Kind::Int;
    x.i = v;
    return x;
  }
  static Stored real(double v) {
    Stored x;
    x.kind = Kind::Real;
    x.r = v;
    return x;
  }
  static Stored text(std::string v) {
    Stored x;
    x.kind = Kind::Text;
    x.s = std::move(v);
    return x;
  }
  static Stored blob(std::string v) {
    Stored x;
    x.kind = Kind::Blob;
    x.s = std::move(v);
    return x;
  }
  bool isNull() const { return kind == Kind::Null; }
};

// Converts `v` of type `from` to `to`. CONVERT styles apply to dates, money
// and float. `assignment` is true for INSERT/UPDATE/SET targets, where
// truncating a string raises 8152 when ANSI_WARNINGS is on. Throws SqlError.
Stored convertValue(const Stored& v, const TypeInfo& from, const TypeInfo& to, int style,
                    const Settings& settings, bool assignment = false);

// Drops trailing blanks from text and trailing zero bytes from a blob, as a
// column created with ANSI_PADDING off stores them; a value made only of
// them keeps one. Other values are returned as they are.
Stored trimTrailing(Stored v);

// The storage form of an API value that has type `type`, and back.
Stored storedFromValue(const Value& v, const TypeInfo& type);
Value valueFromStored(const Stored& v, const TypeInfo& type);

// Text as PRINT and string conversion show it.
std::string storedToText(const Stored& v, const TypeInfo& type);

// Ten to the power n, for n in 0..18.
std::int64_t pow10(int n);
// Rescales an unscaled exact value, rounding half away from zero. Throws 8115
// naming `target` when the result does not fit 64 bits.
std::int64_t rescale(__int128 v, int fromScale, int toScale, const TypeInfo& target);

// The storage form of an unscaled exact value of `type`: an INTEGER, or a
// BLOB for the wide decimals (see exact.h). Throws 8115 if it does not fit.
Stored storedExact(__int128 v, const TypeInfo& type);
// The unscaled value and scale of a stored exact value; false for other types.
bool exactOfStored(const Stored& v, const TypeInfo& type, __int128& unscaled, int& scale);

// sql_variant in storage: a BLOB holding the held value's type
// (encodeType, 8 bytes), its storage kind (1 byte) and its storage value.
Stored variantStored(const Stored& v, const TypeInfo& held);
// The held value and its type; false for a value that is no sql_variant.
bool variantOfStored(const Stored& v, TypeInfo& held, Stored& inner);

// Packs a type into one integer so that SQLite functions can receive it.
std::int64_t encodeType(const TypeInfo& t);
TypeInfo decodeType(std::int64_t code);

// uniqueidentifier text <-> the 16 bytes as they travel.
bool guidFromText(std::string_view text, GuidValue& out);
std::string guidToText(const GuidValue& g);

}  // namespace tessel::sqld::engine
