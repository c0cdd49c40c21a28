// Column descriptions, column values and bound variables.
#include "columns.h"

#include <cstring>
#include <string>

#include "numeric.h"
#include "state.h"

namespace tessel::dblib {
namespace {

void CopyName(char (&out)[ms::kMaxNameLength + 1], const char* in) {
  // Names longer than Microsoft's 30 characters are cut; the rest is zeros.
  std::memset(out, 0, sizeof out);
  std::memcpy(out, in, strnlen(in, ms::kMaxNameLength));
}

}  // namespace

int MicrosoftType(int ftds_type) {
  switch (ftds_type) {
    case SYBNVARCHAR:
      return SYBCHAR;
    case SYBNTEXT:
      return SYBTEXT;
    case SYBBITN:
      return SYBBIT;
    default:
      return ftds_type;
  }
}

bool IsNumericType(int type) {
  return type == SYBDECIMAL || type == SYBNUMERIC;
}

void ToMicrosoft(const DBCOL& in, ms::Col& out) {
  int32_t size = out.SizeOfStruct;
  std::memset(&out, 0, sizeof out);
  out.SizeOfStruct = size;
  CopyName(out.Name, in.Name);
  CopyName(out.ActualName, in.ActualName);
  CopyName(out.TableName, in.TableName);
  out.Type = static_cast<int16_t>(MicrosoftType(in.Type));
  out.UserType = in.UserType;
  out.MaxLength = IsNumericType(in.Type) ? static_cast<int32_t>(sizeof(ms::Numeric)) : in.MaxLength;
  out.Precision = in.Precision;
  out.Scale = in.Scale;
  out.VarLength = in.VarLength ? TRUE : FALSE;
  out.Null = in.Null;
  out.CaseSensitive = 2;  // DBUNKNOWN: the server does not say
  out.Updatable = in.Updatable;
  out.Identity = in.Identity ? TRUE : FALSE;
}

int FreeTdsBindType(int ms_bind) {
  switch (ms_bind) {
    case ms::kTinyBind:
      return TINYBIND;
    case ms::kSmallBind:
      return SMALLBIND;
    case ms::kIntBind:
      return INTBIND;
    case ms::kCharBind:
      return CHARBIND;
    case ms::kBinaryBind:
      return BINARYBIND;
    case ms::kBitBind:
      return BITBIND;
    case ms::kDateTimeBind:
      return DATETIMEBIND;
    case ms::kMoneyBind:
      return MONEYBIND;
    case ms::kFlt8Bind:
      return FLT8BIND;
    case ms::kStringBind:
      return STRINGBIND;
    case ms::kNtbStringBind:
      return NTBSTRINGBIND;
    case ms::kVaryCharBind:
      return VARYCHARBIND;
    case ms::kVaryBinBind:
      return VARYBINBIND;
    case ms::kFlt4Bind:
      return REALBIND;
    case ms::kSmallMoneyBind:
      return SMALLMONEYBIND;
    case ms::kSmallDateTimeBind:
      return SMALLDATETIMEBIND;
    case ms::kDecimalBind:
    case ms::kNumericBind:
      return NUMERICBIND;
    case ms::kSrcDecimalBind:
    case ms::kSrcNumericBind:
      return SRCNUMERICBIND;
    default:
      return -1;
  }
}

}  // namespace tessel::dblib

using namespace tessel::dblib;

namespace {

void ReportBindType(DBPROCESS* dbproc, int vartype) {
  ReportError(dbproc, ms::kExProgram, ms::kErrBadBindType,
              "Unknown bind type " + std::to_string(vartype) + " passed to DB-Library function");
}

// Copies every staged decimal/numeric bind into the application's variable.
void DeliverNumericBinds(DBPROCESS* dbproc) {
  ConnState* conn = FindConn(dbproc);
  if (conn == nullptr) return;
  for (NumericBind& bind : conn->numeric_binds) {
    DBNUMERIC value = bind.staging;
    if (bind.rescale &&
        dbconvert_ps(dbproc, SYBNUMERIC, reinterpret_cast<const BYTE*>(&bind.staging),
                     sizeof bind.staging, SYBNUMERIC, reinterpret_cast<BYTE*>(&value), sizeof value,
                     &bind.wanted) < 0) {
      std::memset(&value, 0, sizeof value);
    }
    if (!ToMicrosoft(value, *bind.dest)) std::memset(bind.dest, 0, sizeof *bind.dest);
  }
}

}  // namespace

NTWDBLIB_API RETCODE dbcolinfo(void* pdbhandle, int type, DBINT column, DBINT computeid,
                               ms::Col* lpdbcol) {
  auto* dbproc = static_cast<DBPROCESS*>(pdbhandle);
  if (lpdbcol == nullptr || lpdbcol->SizeOfStruct != static_cast<int32_t>(sizeof(ms::Col))) {
    ReportError(dbproc, ms::kExProgram, ms::kErrBadParam,
                "dbcolinfo: DBCOL.SizeOfStruct must be " + std::to_string(sizeof(ms::Col)) +
                    ", not " + (lpdbcol ? std::to_string(lpdbcol->SizeOfStruct) : "(null DBCOL)"));
    return FAIL;
  }
  if (type != ms::kCiRegular && type != ms::kCiAlternate) {
    ReportError(dbproc, ms::kExProgram, ms::kErrNotImpl,
                "dbcolinfo: column information of kind " + std::to_string(type) +
                    " is not available (no browse cursors)");
    return FAIL;
  }
  DBCOL described{};
  described.SizeOfStruct = sizeof described;
  if (ftds_dbcolinfo(dbproc, static_cast<CI_TYPE>(type), column, computeid, &described) !=
      SUCCEED) {
    return FAIL;
  }
  ToMicrosoft(described, *lpdbcol);
  return SUCCEED;
}

NTWDBLIB_API int dbcoltype(DBPROCESS* dbproc, int column) {
  int type = ftds_dbcoltype(dbproc, column);
  return type < 0 ? type : MicrosoftType(type);
}

NTWDBLIB_API DBINT dbcollen(DBPROCESS* dbproc, int column) {
  int type = ftds_dbcoltype(dbproc, column);
  if (IsNumericType(type)) return static_cast<DBINT>(sizeof(ms::Numeric));
  return ftds_dbcollen(dbproc, column);
}

NTWDBLIB_API char* dbcolname(DBPROCESS* dbproc, int column) {
  return ftds_dbcolname(dbproc, column);
}

NTWDBLIB_API BYTE* dbdata(DBPROCESS* dbproc, int column) {
  BYTE* data = ftds_dbdata(dbproc, column);
  if (data == nullptr || !IsNumericType(ftds_dbcoltype(dbproc, column))) return data;
  ConnState* conn = FindConn(dbproc);
  if (conn == nullptr) return nullptr;
  try {
    ms::Numeric& slot = conn->numerics[column];
    if (!ToMicrosoft(*reinterpret_cast<const DBNUMERIC*>(data), slot)) return nullptr;
    return reinterpret_cast<BYTE*>(&slot);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

NTWDBLIB_API DBINT dbdatlen(DBPROCESS* dbproc, int column) {
  DBINT length = ftds_dbdatlen(dbproc, column);
  if (length > 0 && IsNumericType(ftds_dbcoltype(dbproc, column))) {
    return static_cast<DBINT>(sizeof(ms::Numeric));
  }
  return length;
}

NTWDBLIB_API BYTE* dbretdata(DBPROCESS* dbproc, int retnum) {
  BYTE* data = ftds_dbretdata(dbproc, retnum);
  if (data == nullptr || !IsNumericType(dbrettype(dbproc, retnum))) return data;
  ConnState* conn = FindConn(dbproc);
  if (conn == nullptr) return nullptr;
  try {
    ms::Numeric& slot = conn->return_numerics[retnum];
    if (!ToMicrosoft(*reinterpret_cast<const DBNUMERIC*>(data), slot)) return nullptr;
    return reinterpret_cast<BYTE*>(&slot);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

NTWDBLIB_API RETCODE dbbind(DBPROCESS* dbproc, int column, int vartype, DBINT varlen,
                            BYTE* varaddr) {
  int bind = FreeTdsBindType(vartype);
  if (bind < 0) {
    ReportBindType(dbproc, vartype);
    return FAIL;
  }
  if (bind != NUMERICBIND && bind != SRCNUMERICBIND) {
    return ftds_dbbind(dbproc, column, bind, varlen, varaddr);
  }
  ConnState* conn = FindConn(dbproc);
  if (conn == nullptr || varaddr == nullptr)
    return ftds_dbbind(dbproc, column, bind, varlen, varaddr);
  try {
    auto* dest = reinterpret_cast<ms::Numeric*>(varaddr);
    // DECIMALBIND and NUMERICBIND convert to the precision and scale already in the
    // variable; the SRC kinds (and a variable without a valid shape) keep the column's.
    NumericBind staged;
    staged.column = column;
    staged.dest = dest;
    staged.rescale = bind == NUMERICBIND && dest->precision >= 1 &&
                     dest->precision <= ms::kMaxPrecision && dest->scale <= dest->precision;
    staged.wanted = DBTYPEINFO{dest->precision, dest->scale};
    conn->numeric_binds.push_back(staged);
    NumericBind& slot = conn->numeric_binds.back();
    // FreeTDS takes a decimal column's own shape; for any other column it converts into
    // the shape already in the staging buffer.
    slot.staging.precision = staged.rescale ? dest->precision : 18;
    slot.staging.scale = staged.rescale ? dest->scale : 0;
    RETCODE rc = ftds_dbbind(dbproc, column, SRCNUMERICBIND, sizeof slot.staging,
                             reinterpret_cast<BYTE*>(&slot.staging));
    if (rc != SUCCEED) conn->numeric_binds.pop_back();
    return rc;
  } catch (const std::bad_alloc&) {
    return FAIL;
  }
}

NTWDBLIB_API RETCODE dbnullbind(DBPROCESS* dbproc, int column, const DBINT* indicator) {
  return ftds_dbnullbind(dbproc, column, const_cast<DBINT*>(indicator));
}

NTWDBLIB_API RETCODE dbaltbind(DBPROCESS* dbproc, int computeid, int column, int vartype,
                               DBINT varlen, const BYTE* varaddr) {
  int bind = FreeTdsBindType(vartype);
  if (bind < 0 || bind == NUMERICBIND || bind == SRCNUMERICBIND) {
    ReportBindType(dbproc, vartype);
    return FAIL;
  }
  return ftds_dbaltbind(dbproc, computeid, column, bind, varlen, const_cast<BYTE*>(varaddr));
}

NTWDBLIB_API STATUS dbnextrow(DBPROCESS* dbproc) {
  STATUS status = ftds_dbnextrow(dbproc);
  if (status == REG_ROW) DeliverNumericBinds(dbproc);
  return status;
}
