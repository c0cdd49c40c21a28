// Microsoft's DB-Library records and numbers, for the translation units that also see
// FreeTDS's sybdb.h (which uses the same names for other layouts). layout_check.cpp
// proves that every record here matches <ntwdblib.h> field by field.
#ifndef TESSEL_DBLIB_MS_TYPES_H
#define TESSEL_DBLIB_MS_TYPES_H

#include <cstdint>

namespace tessel::dblib::ms {

inline constexpr int kMaxNameLength = 30;  // MAXCOLNAMELEN and MAXTABLENAME

#pragma pack(push, 2)
struct Col {
  int32_t SizeOfStruct;
  char Name[kMaxNameLength + 1];
  char ActualName[kMaxNameLength + 1];
  char TableName[kMaxNameLength + 1];
  int16_t Type;
  int32_t UserType;
  int32_t MaxLength;
  uint8_t Precision;
  uint8_t Scale;
  int VarLength;
  uint8_t Null;
  uint8_t CaseSensitive;
  uint8_t Updatable;
  int Identity;
};
#pragma pack(pop)
static_assert(sizeof(Col) == 122);

inline constexpr int kNumericBytes = 16;  // MAXNUMERICLEN
inline constexpr int kMaxPrecision = 38;  // MAXNUMERICDIG

// sign 1 means positive; val is the magnitude, least significant byte first.
struct Numeric {
  uint8_t precision;
  uint8_t scale;
  uint8_t sign;
  uint8_t val[kNumericBytes];
};
static_assert(sizeof(Numeric) == 19);

struct DateRec {
  int year;
  int quarter;
  int month;
  int dayofyear;
  int day;
  int week;
  int weekday;
  int hour;
  int minute;
  int second;
  int millisecond;
};

struct DateTime {
  int32_t dtdays;
  uint32_t dttime;
};

// dbcolinfo's kinds.
inline constexpr int kCiRegular = 1;
inline constexpr int kCiAlternate = 2;
inline constexpr int kCiCursor = 3;

// Login items (dbsetlname).
enum LoginItem : int {
  kSetHost = 1,
  kSetUser = 2,
  kSetPwd = 3,
  kSetApp = 4,
  kSetId = 5,
  kSetLang = 6,
  kSetSecure = 7,
  kVer42 = 8,
  kVer60 = 9,
  kSetLoginTime = 10,
  kSetFallback = 12,
};

// Options (dbsetopt).
enum Option : int {
  kBuffer = 0,
  kOffset = 1,
  kRowCount = 2,
  kStat = 3,
  kTextLimit = 4,
  kTextSize = 5,
  kArithAbort = 6,
  kArithIgnore = 7,
  kNoAutoFree = 8,
  kNoCount = 9,
  kNoExec = 10,
  kParseOnly = 11,
  kShowPlan = 12,
  kStorProcId = 13,
  kAnsiToOem = 14,
  kOemToAnsi = 15,
  kClientCursors = 16,
  kSetTime = 17,
  kQuotedIdent = 18,
};

// dbbind's vartype.
enum BindType : int {
  kTinyBind = 1,
  kSmallBind = 2,
  kIntBind = 3,
  kCharBind = 4,
  kBinaryBind = 5,
  kBitBind = 6,
  kDateTimeBind = 7,
  kMoneyBind = 8,
  kFlt8Bind = 9,
  kStringBind = 10,
  kNtbStringBind = 11,
  kVaryCharBind = 12,
  kVaryBinBind = 13,
  kFlt4Bind = 14,
  kSmallMoneyBind = 15,
  kSmallDateTimeBind = 16,
  kDecimalBind = 17,
  kNumericBind = 18,
  kSrcDecimalBind = 19,
  kSrcNumericBind = 20,
};

// dbrpcinit options.
inline constexpr int kRpcRecompile = 0x0001;  // DBRPCRECOMPILE
inline constexpr int kRpcReset = 0x0004;      // DBRPCRESET

// Error numbers this library gives to the error handler itself.
inline constexpr int kErrNullDbproc = 10001;     // SQLENULL
inline constexpr int kErrConnect = 10004;        // SQLECONN
inline constexpr int kErrServerMsg = 10007;      // SQLESMSG
inline constexpr int kErrBadParam = 10013;       // SQLEPARM
inline constexpr int kErrOverflow = 10015;       // SQLECOFL
inline constexpr int kErrBadOption = 10030;      // SQLEIOPT
inline constexpr int kErrNullLogin = 10031;      // SQLEASNL
inline constexpr int kErrUnknownItem = 10032;    // SQLEASUL
inline constexpr int kErrConvertSyntax = 10039;  // SQLECSYN
inline constexpr int kErrBadBindType = 10041;    // SQLEBTYP
inline constexpr int kErrNotImpl = 10108;        // SQLENOTIMPL

// Error severities.
inline constexpr int kExConversion = 4;  // EXCONVERSION
inline constexpr int kExProgram = 7;     // EXPROGRAM
inline constexpr int kExComm = 9;        // EXCOMM

// Error-handler return codes.
inline constexpr int kIntExit = 0;
inline constexpr int kIntContinue = 1;
inline constexpr int kIntCancel = 2;

}  // namespace tessel::dblib::ms

#endif
