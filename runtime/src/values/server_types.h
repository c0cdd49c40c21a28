#pragma once

// What each server type means to the query, in one table: the field it
// becomes, how its value sits in the value area of a record slot, how that
// value moves to and from the field's native form, and what the column can
// hold. Describing a result, reading a row, field access and the checks made
// before a value is sent all start from here, so a type is added or fixed in
// one place. Texts cross the package in UTF-8.

#include <cstdint>
#include <string>

#include "framework/db_types.h"
#include "query/query_column_values.h"

namespace tessel {
class TField;
}

namespace tessel::values {

// How a value sits in the value area of a slot.
enum class Holding : std::uint8_t {
  Text,        // UTF-8 up to a terminating zero
  Int1,        // tinyint: one unsigned byte
  Int2,        // 16-bit
  Int4,        // 32-bit
  Int8,        // 64-bit
  Bit,         // one byte, 1 or 0
  Real,        // 32-bit float
  Float,       // 64-bit float
  Money,       // 8 bytes: the signed high 32 bits, then the low 32 bits, of ten-thousandths
  SmallMoney,  // signed 32-bit ten-thousandths
  Decimal,     // 19 bytes: precision, scale, sign (1 = positive), magnitude little-endian
  DateTime,    // the field's form: double milliseconds (day 1 is 0001-01-01)
  Date,        // int32 day number
  Time,        // int32 milliseconds of the day
  Bytes,       // fixed-length binary, zero-padded
  VarBytes,    // the field's form: 16-bit length, then the bytes
  Blob,        // the 32-byte blob descriptor
};

// One server type as the query keeps it. Code is the DB-Library type code as
// the query's column type table holds it (after varchar, varbinary, (max) and
// exact-text remaps).
struct ServerType {
  int Code;
  const char* Name;
  TFieldType Field;
  Holding Hold;
};

// Type codes the query keeps beyond DB-Library's classic list. A time or
// datetime2 column with digits past the millisecond is held as its exact
// text (kExactTimeText, kExactDateTime2Text): a date-time field would drop
// those digits.
using columns::kExactDateTime2Text;
using columns::kExactTimeText;
using columns::kSQLDATE;
using columns::kSQLDATETIME2;
using columns::kSQLDATETIMEOFFSET;
using columns::kSQLTIME;
using columns::kSQLUNIQUE;
using columns::kSQLXML;

// The entry for a type code; nullptr for a code the query cannot hold.
const ServerType* FindServerType(int code);
// The server's name for a type code ("type 98" for one without an entry).
std::string ServerTypeName(int code);

// What field access needs to know of one column.
struct ColumnShape {
  int Type = 0;       // the code of the column type table
  int Size = 0;       // the value area is Size + 1 bytes
  int Precision = 0;  // decimal and numeric
  int Scale = 0;
  // The code page a char, varchar or text column keeps its text in;
  // text_encoding.h's kUnicode for every other column.
  int CodePage = 0;
};

// Copies the value of a slot's value area into the field's native form.
void SlotToNative(const ColumnShape& Column, TFieldType Field, const char* Value, void* Dest);

// Checks a value in the field's native form against what the column can hold
// and writes it into the value area. Raises EDatabaseError naming the field
// and the value when the column cannot hold it exactly (a number out of the
// column's range or with more decimals than its scale, a character its code
// page lacks, text that is not UTF-8); nothing is written then.
void NativeToSlot(const ColumnShape& Column, const TField& Field, const void* Source, char* Value);

// Raises EDatabaseError naming the field when Text cannot be held by a
// column of the shape: invalid UTF-8 anywhere, and for a column that keeps
// text in a code page (char, varchar, text), a character that code page
// lacks, named with the code page.
void CheckText(const ColumnShape& Column, const TField& Field, const std::string& Text);

}  // namespace tessel::values
