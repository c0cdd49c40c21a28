#pragma once

// Enumerations shared by the parameter lists and the dataset layer. The
// enumerators keep their classic order because record buffers, form files
// and the package's type tables index by them.

#include <cstdint>

namespace tessel {

// The data type of a field or parameter.
enum TFieldType : std::uint8_t {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftFixedChar,
  ftWideString,
  ftLargeint,
};

// The readable name of a field type ("String", "Integer" ...), for messages.
const char* FieldTypeName(TFieldType type);

// The direction of a parameter of a statement or procedure call.
enum TParamType : std::uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

enum TDataSetState : std::uint8_t {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
};

// What GetRecord is asked to fetch, and what it answers.
enum TGetMode : std::uint8_t { gmCurrent, gmNext, gmPrior };
enum TGetResult : std::uint8_t { grOK, grBOF, grEOF, grError };

// Where a record buffer stands relative to the data set's rows.
enum TBookmarkFlag : std::uint8_t { bfCurrent, bfBOF, bfEOF, bfInserted };

// Indexes 0, 1, 2 address the modify, insert and delete statements.
enum TUpdateKind : std::uint8_t { ukModify, ukInsert, ukDelete };

// An error handler's answer: raise the error, end silently, or try again.
enum TDataAction : std::uint8_t { daFail, daAbort, daRetry };

// Whether fields of the type hold numbers (shown right-aligned, written unquoted).
constexpr bool IsNumericType(TFieldType type) {
  switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftFloat:
    case ftCurrency:
    case ftBCD:
    case ftAutoInc:
    case ftLargeint:
      return true;
    default:
      return false;
  }
}

}  // namespace tessel
