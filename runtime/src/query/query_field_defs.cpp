// Field definitions from the pending result's columns, the slot layout of the
// record's data area, and the rest of the record buffer's layout.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "framework/sysutils.h"
#include "query/query_column_values.h"
#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"
#include "values/server_types.h"

namespace tessel {
namespace {

constexpr int kCI_REGULAR = 1;
constexpr int kSQLIMAGE = 34;
constexpr int kSQLTEXT = 35;
constexpr int kSQLVARBINARY = 37;
constexpr int kSQLVARCHAR = 39;
constexpr int kSQLBINARY = 45;
constexpr int kSQLCHAR = 47;
constexpr int kSQLDECIMAL = 106;
constexpr int kSQLNUMERIC = 108;
// A decimal or numeric value is kept as DB-Library's 19-byte structure.
constexpr int kNumericSize = 19;
// A varbinary value is kept in the field's own form: a 16-bit length, then
// the bytes. Its slot is one byte longer than the column's so that the value
// area (column size + 1) holds both.
constexpr int kVarBytesLengthPrefix = 2;
// Slot positions and the record size travel in 16 bits.
constexpr std::int64_t kMaxDataArea = 65535;

// A name not yet taken (compared ignoring case, as field names are): the
// column's own, else the first free of name_1, name_2 ...
std::string UniqueFieldName(const std::string& name, TStringList& taken) {
  std::string unique = name;
  for (int n = 1; taken.IndexOf(unique) >= 0; ++n) unique = Format("%s_%d", {name, n});
  taken.Add(unique);
  return unique;
}

}  // namespace

void TTessel::InternalInitFieldDefs() {
  if (FDBProcess == nullptr || !FResultPending) InternalExecSQL(qtQuery);
  DescribeColumns();
}

// A column that cannot be described ends the pass with an error and leaves no
// definitions behind: a half-described result is never opened.
void TTessel::DescribeColumns() {
  try {
    DescribeEveryColumn();
  } catch (...) {
    FieldDefs()->Clear();
    FRecordSize = 0;
    FFieldOffsets.clear();
    FColumnSizes.clear();
    FColumnShapes.clear();
    FColumnNames.clear();
    throw;
  }
}

void TTessel::DescribeEveryColumn() {
  FieldDefs()->Clear();
  FRecordSize = 0;
  FFieldOffsets.clear();
  FColumnSizes.clear();
  FColumnShapes.clear();
  FColumnNames.clear();
  if (FDBProcess == nullptr || dbcmdrow(FDBProcess) != SUCCEED) return;
  const int columns = dbnumcols(FDBProcess);
  if (columns > kMaxColumns) {
    DatabaseError(
        Format("The result has %d columns; a query can hold at most %d", {columns, kMaxColumns}));
  }
  if (columns <= 0) return;
  FFieldOffsets.resize(static_cast<std::size_t>(columns));
  FColumnSizes.resize(static_cast<std::size_t>(columns));
  FColumnShapes.resize(static_cast<std::size_t>(columns));
  FColumnNames.resize(static_cast<std::size_t>(columns));
  TStringList taken;
  std::int64_t record_size = 0;
  for (int i = 1; i <= columns; ++i) {
    FFieldOffsets[i - 1] = static_cast<std::int32_t>(record_size);
    DBCOL col{};
    col.SizeOfStruct = sizeof col;
    if (dbcolinfo(FDBProcess, kCI_REGULAR, i, 0, &col) != SUCCEED) {
      const TlqRecordedError error = RecordedDBError();
      DatabaseError(Format("Column %d of the result cannot be described: %s",
                           {i, error.LastMsgNo == -1 ? error.LastErrText : error.LastMsgText}));
    }
    const int code = col.Type;
    std::int32_t size = col.MaxLength;
    const std::string name(col.Name, strnlen(col.Name, sizeof col.Name));
    int stored = code;
    // The client library reports varbinary as binary; its user type or its
    // variable length tells them apart. Such a column becomes a varbinary
    // field so that a value keeps its length.
    const bool varbinary = code == kSQLBINARY && (col.UserType == 4 || col.VarLength);
    if (varbinary) stored = kSQLVARBINARY;
    if (code == kSQLCHAR && col.VarLength) stored = kSQLVARCHAR;
    // A (max) column is read like text or image: its values come whole with
    // the row and are served from the blob list.
    const bool long_value = col.MaxLength > columns::kLongestSizedColumn;
    if (long_value && (code == kSQLCHAR || code == kSQLVARCHAR)) stored = kSQLTEXT;
    if (long_value && (code == kSQLBINARY || code == kSQLVARBINARY)) stored = kSQLIMAGE;
    if (code == columns::kSQLXML) stored = kSQLTEXT;
    // Digits past the millisecond do not fit a date-time field: such a
    // column is held as its exact text.
    const int fraction_digits = std::max<int>(col.Scale, col.Precision);
    if (code == values::kSQLTIME && fraction_digits > 3) stored = values::kExactTimeText;
    if (code == values::kSQLDATETIME2 && fraction_digits > 3) stored = values::kExactDateTime2Text;
    FColumnTypes[static_cast<std::size_t>(i)] = stored;
    const bool blob = stored == kSQLTEXT || stored == kSQLIMAGE;
    const values::ServerType* server_type = values::FindServerType(
        stored == kSQLVARBINARY || stored == kSQLVARCHAR || blob ||
                stored == values::kExactTimeText || stored == values::kExactDateTime2Text
            ? stored
            : code);
    const TFieldType type = server_type != nullptr ? server_type->Field : ftUnknown;
    // A column without a field would vanish from the dataset unnoticed.
    if (type == ftUnknown) {
      DatabaseError(Format(SColumnTypeUnsupported.str(), {name.empty() ? Format("%d", {i}) : name,
                                                          values::ServerTypeName(code)}));
    }
    const bool required = col.Null == 0 && !blob;
    if (type == ftDateTime) size = 8;
    if (type == ftDate || type == ftTime) size = 4;
    if (code == columns::kSQLUNIQUE) size = columns::kGuidTextSize;
    if (code == columns::kSQLDATETIMEOFFSET) size = columns::kOffsetTextSize;
    if (stored == values::kExactTimeText) size = columns::kTimeTextSize;
    if (stored == values::kExactDateTime2Text) size = columns::kDateTime2TextSize;
    if (blob) size = 32;
    if (code == kSQLDECIMAL || code == kSQLNUMERIC) size = std::max(size, kNumericSize);
    if (size < 0) size = 0;
    int def_size = (type == ftString || type == ftBytes || type == ftVarBytes) ? size : 0;
    // A decimal field's size is its scale, as the framework counts it.
    if (type == ftBCD) def_size = col.Scale;
    if (type == ftVarBytes) size += kVarBytesLengthPrefix - 1;
    FColumnSizes[i - 1] = size;
    FColumnShapes[i - 1] = {col.Precision, col.Scale};
    record_size += std::int64_t{size} + 2;
    if (record_size > kMaxDataArea) {
      DatabaseError(Format(
          "The columns of the result need %d bytes or more per row; a query can hold at most %d",
          {static_cast<long long>(record_size), static_cast<long long>(kMaxDataArea)}));
    }
    const std::string column_name = name.empty() ? Format("Field%d", {i}) : name;
    FColumnNames[static_cast<std::size_t>(i - 1)] = column_name;
    // Two columns of one name (a join of two tables with an id) both get a
    // field: the second and later ones are numbered.
    TFieldDef* def =
        FieldDefs()->Add(UniqueFieldName(column_name, taken), type, def_size, required, i);
    if (type == ftBCD) def->SetPrecision(col.Precision);
  }
  FRecordSize = static_cast<std::int32_t>(record_size);
}

void TTessel::LayoutRecord() {
  FLastRecordId = 0;
  FCurrentIndex = -1;
  const std::int64_t data_and_calc = std::int64_t{FRecordSize} + CalcFieldsSize();
  if (data_and_calc > kMaxDataArea) {
    DatabaseError(Format(
        "The fields of dataset '%s' need %d bytes per row; at most %d are possible",
        {Name(), static_cast<long long>(data_and_calc), static_cast<long long>(kMaxDataArea)}));
  }
  FBlobSlotsOffset = static_cast<std::uint16_t>(data_and_calc);
  FBookmarkOffset = FBlobSlotsOffset + 4 * BlobFieldCount();
  FRecordBufferSize = FBookmarkOffset + 6;
  FRecordCache.ItemSize = FRecordBufferSize;
  SetBookmarkSize(4);
  PlanColumnReads();
}

}  // namespace tessel
