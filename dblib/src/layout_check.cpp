// Proves at compile time that the private mirrors in ms_types.h are Microsoft's records
// and numbers as <ntwdblib.h> publishes them.
#include <ntwdblib.h>

#include <cstddef>

#include "ms_types.h"

namespace ms = tessel::dblib::ms;

#define SAME_FIELD(public_type, mirror, field)                             \
  static_assert(offsetof(public_type, field) == offsetof(mirror, field) && \
                    sizeof(public_type::field) == sizeof(mirror::field),   \
                #public_type "." #field " differs from the private mirror")

static_assert(sizeof(DBCOL) == sizeof(ms::Col));
SAME_FIELD(DBCOL, ms::Col, SizeOfStruct);
SAME_FIELD(DBCOL, ms::Col, Name);
SAME_FIELD(DBCOL, ms::Col, ActualName);
SAME_FIELD(DBCOL, ms::Col, TableName);
SAME_FIELD(DBCOL, ms::Col, Type);
SAME_FIELD(DBCOL, ms::Col, UserType);
SAME_FIELD(DBCOL, ms::Col, MaxLength);
SAME_FIELD(DBCOL, ms::Col, Precision);
SAME_FIELD(DBCOL, ms::Col, Scale);
SAME_FIELD(DBCOL, ms::Col, VarLength);
SAME_FIELD(DBCOL, ms::Col, Null);
SAME_FIELD(DBCOL, ms::Col, CaseSensitive);
SAME_FIELD(DBCOL, ms::Col, Updatable);
SAME_FIELD(DBCOL, ms::Col, Identity);

static_assert(sizeof(DBNUMERIC) == sizeof(ms::Numeric));
SAME_FIELD(DBNUMERIC, ms::Numeric, precision);
SAME_FIELD(DBNUMERIC, ms::Numeric, scale);
SAME_FIELD(DBNUMERIC, ms::Numeric, sign);
SAME_FIELD(DBNUMERIC, ms::Numeric, val);

static_assert(sizeof(DBDATEREC) == sizeof(ms::DateRec));
SAME_FIELD(DBDATEREC, ms::DateRec, year);
SAME_FIELD(DBDATEREC, ms::DateRec, quarter);
SAME_FIELD(DBDATEREC, ms::DateRec, month);
SAME_FIELD(DBDATEREC, ms::DateRec, dayofyear);
SAME_FIELD(DBDATEREC, ms::DateRec, day);
SAME_FIELD(DBDATEREC, ms::DateRec, week);
SAME_FIELD(DBDATEREC, ms::DateRec, weekday);
SAME_FIELD(DBDATEREC, ms::DateRec, hour);
SAME_FIELD(DBDATEREC, ms::DateRec, minute);
SAME_FIELD(DBDATEREC, ms::DateRec, second);
SAME_FIELD(DBDATEREC, ms::DateRec, millisecond);

static_assert(sizeof(DBDATETIME) == sizeof(ms::DateTime));
SAME_FIELD(DBDATETIME, ms::DateTime, dtdays);
SAME_FIELD(DBDATETIME, ms::DateTime, dttime);

static_assert(MAXCOLNAMELEN == ms::kMaxNameLength && MAXTABLENAME == ms::kMaxNameLength);
static_assert(MAXNUMERICLEN == ms::kNumericBytes && MAXNUMERICDIG == ms::kMaxPrecision);
static_assert(CI_REGULAR == ms::kCiRegular && CI_ALTERNATE == ms::kCiAlternate &&
              CI_CURSOR == ms::kCiCursor);
static_assert(DBSETHOST == ms::kSetHost && DBSETUSER == ms::kSetUser && DBSETPWD == ms::kSetPwd &&
              DBSETAPP == ms::kSetApp && DBSETID == ms::kSetId && DBSETLANG == ms::kSetLang &&
              DBSETSECURE == ms::kSetSecure && DBVER42 == ms::kVer42 && DBVER60 == ms::kVer60 &&
              DBSETLOGINTIME == ms::kSetLoginTime && DBSETFALLBACK == ms::kSetFallback);
static_assert(DBBUFFER == ms::kBuffer && DBOFFSET == ms::kOffset && DBROWCOUNT == ms::kRowCount &&
              DBSTAT == ms::kStat && DBTEXTLIMIT == ms::kTextLimit && DBTEXTSIZE == ms::kTextSize &&
              DBARITHABORT == ms::kArithAbort && DBARITHIGNORE == ms::kArithIgnore &&
              DBNOAUTOFREE == ms::kNoAutoFree && DBNOCOUNT == ms::kNoCount &&
              DBNOEXEC == ms::kNoExec && DBPARSEONLY == ms::kParseOnly &&
              DBSHOWPLAN == ms::kShowPlan && DBSTORPROCID == ms::kStorProcId &&
              DBANSItoOEM == ms::kAnsiToOem && DBOEMtoANSI == ms::kOemToAnsi &&
              DBCLIENTCURSORS == ms::kClientCursors && DBSETTIME == ms::kSetTime &&
              DBQUOTEDIDENT == ms::kQuotedIdent);
static_assert(TINYBIND == ms::kTinyBind && SMALLBIND == ms::kSmallBind && INTBIND == ms::kIntBind &&
              CHARBIND == ms::kCharBind && BINARYBIND == ms::kBinaryBind &&
              BITBIND == ms::kBitBind && DATETIMEBIND == ms::kDateTimeBind &&
              MONEYBIND == ms::kMoneyBind && FLT8BIND == ms::kFlt8Bind &&
              STRINGBIND == ms::kStringBind && NTBSTRINGBIND == ms::kNtbStringBind &&
              VARYCHARBIND == ms::kVaryCharBind && VARYBINBIND == ms::kVaryBinBind &&
              FLT4BIND == ms::kFlt4Bind && SMALLMONEYBIND == ms::kSmallMoneyBind &&
              SMALLDATETIBIND == ms::kSmallDateTimeBind && DECIMALBIND == ms::kDecimalBind &&
              NUMERICBIND == ms::kNumericBind && SRCDECIMALBIND == ms::kSrcDecimalBind &&
              SRCNUMERICBIND == ms::kSrcNumericBind);
static_assert(SQLENULL == ms::kErrNullDbproc && SQLESMSG == ms::kErrServerMsg &&
              SQLEPARM == ms::kErrBadParam && SQLECOFL == ms::kErrOverflow &&
              SQLEIOPT == ms::kErrBadOption && SQLEASNL == ms::kErrNullLogin &&
              SQLEASUL == ms::kErrUnknownItem && SQLECSYN == ms::kErrConvertSyntax &&
              SQLEBTYP == ms::kErrBadBindType && SQLENOTIMPL == ms::kErrNotImpl);
static_assert(EXCONVERSION == ms::kExConversion && EXPROGRAM == ms::kExProgram);
static_assert(DBRPCRECOMPILE == ms::kRpcRecompile && DBRPCRESET == ms::kRpcReset);
static_assert(INT_EXIT == ms::kIntExit && INT_CONTINUE == ms::kIntContinue &&
              INT_CANCEL == ms::kIntCancel);
