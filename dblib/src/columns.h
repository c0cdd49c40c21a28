// What the Microsoft conventions change in column descriptions and values.
#ifndef TESSEL_DBLIB_COLUMNS_H
#define TESSEL_DBLIB_COLUMNS_H

#include "ftds.h"
#include "ms_types.h"

namespace tessel::dblib {

// The type token Microsoft's DB-Library uses for FreeTDS's `ftds_type`: the Unicode and
// nullable variants fold into the types Microsoft's clients know (nvarchar is SQLCHAR,
// ntext SQLTEXT, bitn SQLBIT); the rest keep their number.
int MicrosoftType(int ftds_type);

bool IsNumericType(int type);

// Fills Microsoft's 122-byte description from FreeTDS's: names cut to 30 characters,
// types folded as above, decimal and numeric sized as the 19-byte DBNUMERIC that dbdata
// yields. Keeps out.SizeOfStruct.
void ToMicrosoft(const DBCOL& in, ms::Col& out);

// FreeTDS's bind type for Microsoft's `ms_bind`, or -1 for an unknown one. The decimal
// and numeric bind types map to FreeTDS's NUMERICBIND/SRCNUMERICBIND (the caller stages
// the value).
int FreeTdsBindType(int ms_bind);

}  // namespace tessel::dblib

#endif
