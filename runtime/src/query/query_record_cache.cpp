// The record cache: reading rows of the open result into record buffers, the
// framework's GetRecord, the open-time fill and the read-ahead.
//
// Design notes
//  1. FRecordCache holds every row read so far, in display order, positions
//     1..Count; FCurrentIndex is the cursor: 1..Count on a record, 0 before
//     the first, Count + 1 after the last, -1 while closed or just opened.
//  2. Rows are read from the server only when gmNext moves past the cache,
//     by the open-time fill, by ReadAhead, and by InternalLast.
//  3. FAllFetched, once set, stays set until close: no further dbnextrow is
//     issued and the connection may already be given back.
//  4. Every row read takes the next record id (FLastRecordId + 1); ids are
//     never reused while open, so bookmarks survive sorting and deletion.
//  5. A copy never runs past a slot's value area (column size + 1 bytes) or
//     past the column's data, and nothing is ever written into the client
//     library's row data.

#include <algorithm>
#include <cstring>
#include <memory>

#include "async/query_async_worker.h"
#include "framework/sysutils.h"
#include "query/query_column_values.h"
#include "query/query_slot_values.h"
#include "runtime/Tessel.h"
#include "values/text_encoding.h"

namespace tessel {
namespace {

constexpr int kSQLCHAR = 47;
constexpr int kSQLDATETIM4 = 58;
constexpr int kSQLDATETIME = 61;
constexpr int kSQLDATETIMN = 111;
constexpr int kSQLDECIMAL = 106;
constexpr int kSQLNUMERIC = 108;
constexpr int kReadAheadWindow = 300;

void WriteRecordId(char* buffer, std::int32_t id) {
  std::memcpy(buffer, &id, sizeof id);
}

// The length of a fixed-length char value without its trailing blanks (and
// control characters). Leading blanks are part of the value and stay.
DBINT TrimmedLength(const std::uint8_t* data, DBINT length) {
  while (length > 0 && data[length - 1] <= ' ') --length;
  return length;
}

}  // namespace

TGetResult TTessel::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  const int count = RecordCountHeld();
  TGetResult result = grOK;
  // A row just read from the server is in Buffer already, as cached.
  bool read = false;
  switch (GetMode) {
    case gmCurrent:
      if (FCurrentIndex < 1 || FCurrentIndex > count) result = grError;
      break;
    case gmPrior:
      if (FCurrentIndex <= 1) {
        result = grBOF;
      } else {
        --FCurrentIndex;
      }
      break;
    case gmNext:
      ++FCurrentIndex;
      if (FCurrentIndex >= 1 && FCurrentIndex <= count) break;
      result = FetchNextRow(Buffer);
      read = result == grOK;
      break;
  }
  if (result == grOK) {
    if (!read) {
      std::memcpy(Buffer, FRecordCache.GetBuffer(FCurrentIndex),
                  static_cast<std::size_t>(FRecordBufferSize));
    }
    Buffer[FBookmarkOffset + 5] = static_cast<char>(bfCurrent);
    GetCalcFields(Buffer);
  } else if (result == grError && DoCheck) {
    DatabaseError("No Records");
  }
  return result;
}

// Moves past the cache's last record: the next row of the result, read into
// the cache (and into Buffer, when given) and made current; grEOF at the end.
TGetResult TTessel::FetchNextRow(TRecordBuffer Buffer) {
  if (FAllFetched) {
    FCurrentIndex = RecordCountHeld() + 1;
    return grEOF;
  }
  if (NextServerRow() == NO_MORE_ROWS) {
    FAllFetched = true;
    FCurrentIndex = RecordCountHeld();
    Disconnect();
    return grEOF;
  }
  if (!GetRecordData(Buffer)) return grEOF;
  FCurrentIndex = RecordCountHeld();
  return grOK;
}

// The next row of the open result: REG_ROW or NO_MORE_ROWS. Rows of compute
// clauses are passed over. A failed fetch is an error, not a row: the result
// is abandoned (nothing more can be read from it) and the error raised.
int TTessel::NextServerRow() {
  if (FDBProcess == nullptr) return NO_MORE_ROWS;
  // A worker's wait for a row is one the main thread may give up (StopAsync).
  const bool worker = IsAsyncWorkerOf(this);
  if (worker) FWorkerWaitingOn.store(FDBProcess);
  int status = dbnextrow(FDBProcess);
  while (status > 0) status = dbnextrow(FDBProcess);
  if (worker) FWorkerWaitingOn.store(nullptr);
  if (status == FAIL) {
    FAllFetched = true;
    FCurrentIndex = RecordCountHeld();
    try {
      CheckDBResult(FAIL);
    } catch (...) {
      Disconnect();
      throw;
    }
  }
  return status == REG_ROW ? REG_ROW : NO_MORE_ROWS;
}

bool TTessel::GetRecordData(TRecordBuffer Buffer) {
  if (FieldCount() == 0) return false;
  // Read straight into a new record of the cache. It starts all zero, so
  // nothing an earlier record left in reused memory (value bytes past a
  // shorter value, blob content handles) follows the row.
  char* record = FRecordCache.NewRecord();
  try {
    for (const detail::TColumnRead& read : FColumnReads) {
      char* slot = record + read.Offset;
      if (read.Kind == detail::TColumnRead::Blob) {
        ReadBlobColumn(read.Field, slot);
      } else {
        ReadValueColumn(read, slot);
      }
    }
  } catch (...) {
    FRecordCache.DiscardRecord(record);
    throw;
  }
  WriteRecordId(record + FBookmarkOffset, FLastRecordId + 1);
  FRecordCache.AppendRecord(record);
  ++FLastRecordId;
  if (Buffer != nullptr) {
    std::memcpy(Buffer, record, static_cast<std::size_t>(FRecordBufferSize));
  }
  NoteFetchProgress();
  return true;
}

void TTessel::ReadBlobColumn(const TField* Field, char* Slot) {
  const int column = Field->FieldNo();
  BlobDescriptor descriptor{};
  const DBBYTE* pointer = dbtxptr(FDBProcess, column);
  const DBBYTE* inline_value = pointer == nullptr ? dbdata(FDBProcess, column) : nullptr;
  if (inline_value != nullptr) {
    // A (max) value has no text pointer: it came whole with the row, and the
    // blob list keeps it for the blob stream.
    const DBINT length = std::max(dbdatlen(FDBProcess, column), DBINT{0});
    descriptor.DataLength = length;
    descriptor.BlobIndex = FBlobList->Add(
        std::string(reinterpret_cast<const char*>(inline_value), static_cast<std::size_t>(length)));
    Slot[0] = 1;
    std::memcpy(Slot + 1, &descriptor, sizeof descriptor);
    return;
  }
  if (pointer != nullptr) {
    std::memcpy(descriptor.TextPtr, pointer, sizeof descriptor.TextPtr);
    const DBBYTE* stamp = dbtxtimestamp(FDBProcess, column);
    if (stamp != nullptr) std::memcpy(descriptor.TimeStamp, stamp, sizeof descriptor.TimeStamp);
    descriptor.DataLength = dbdatlen(FDBProcess, column);
    // READTEXT counts a text value in the server's characters, while the
    // client library hands it over in UTF-8: the length asked for later is
    // the characters the row's copy holds.
    const DBBYTE* text = dbdata(FDBProcess, column);
    if (Field->DataType() == ftMemo && text != nullptr && descriptor.DataLength > 0) {
      descriptor.DataLength = static_cast<std::int32_t>(values::CodePointCount(std::string_view(
          reinterpret_cast<const char*>(text), static_cast<std::size_t>(descriptor.DataLength))));
    }
    descriptor.BlobIndex = -1;
    // Empty content is a value, not a null: a null has no data at all.
    Slot[0] = text != nullptr ? 1 : 0;
    std::memcpy(Slot + 1, &descriptor, sizeof descriptor);
    return;
  }
  Slot[0] = 0;
  std::memcpy(Slot + 1, &descriptor, sizeof descriptor);
}

// What each field's column takes to read, from the column's type and the
// field's: the same for every row of the result.
void TTessel::PlanColumnReads() {
  using Read = detail::TColumnRead;
  FColumnReads.clear();
  for (const TField* field : Fields()->List()) {
    if (field->FieldNo() <= 0) continue;
    const int column = field->FieldNo();
    Read read;
    read.Field = field;
    read.Column = column;
    read.Offset = FFieldOffsets[static_cast<std::size_t>(column - 1)];
    read.Area = FColumnSizes[static_cast<std::size_t>(column - 1)] + 1;
    read.Type = FColumnTypes[static_cast<std::size_t>(column)];
    const TFieldType type = field->DataType();
    if (type == ftBlob || type == ftMemo) {
      read.Kind = Read::Blob;
    } else if (columns::IsNewerType(read.Type)) {
      read.Kind = Read::NewerType;
    } else if (type == ftDateTime) {
      read.Kind = Read::DateTime;
    } else if (type == ftString) {
      read.Kind = Read::Text;
    } else if (type == ftVarBytes) {
      read.Kind = Read::VarBytes;
    } else {
      read.Kind = type == ftBytes ? Read::Bytes : Read::Fixed;
      read.Length = (read.Type == kSQLDECIMAL || read.Type == kSQLNUMERIC) ? 19 : field->DataSize();
    }
    FColumnReads.push_back(read);
  }
}

void TTessel::ReadValueColumn(const detail::TColumnRead& Read, char* Slot) {
  using detail::TColumnRead;
  const DBBYTE* data = dbdata(FDBProcess, Read.Column);
  if (data == nullptr) {
    Slot[0] = 0;
    return;
  }
  Slot[0] = 1;
  char* value = Slot + 1;
  const DBINT area = Read.Area;
  const DBINT available = dbdatlen(FDBProcess, Read.Column);
  DBINT length;
  switch (Read.Kind) {
    case TColumnRead::NewerType:
      columns::ReadNewerTypeValue(Read.Type, data, available, Slot, area);
      return;
    case TColumnRead::DateTime: {
      const double msecs = ReadDateTime(Read.Column, data, available);
      std::memcpy(value, &msecs, sizeof msecs);
      return;
    }
    case TColumnRead::Text:
      length = available;
      if (Read.Type == kSQLCHAR && Read.Field->Required()) length = TrimmedLength(data, length);
      length = std::clamp(length, DBINT{0}, area - 1);
      std::memcpy(value, data, static_cast<std::size_t>(length));
      value[length] = '\0';
      return;
    case TColumnRead::VarBytes:
      ReadVarBytes(data, available, value, area);
      return;
    default:
      break;
  }
  length = std::clamp(std::min(Read.Length, available), DBINT{0}, area);
  std::memcpy(value, data, static_cast<std::size_t>(length));
  // A binary value shorter than its column reads as zero-padded, never with
  // the bytes an earlier row left in a reused buffer.
  if (Read.Kind == TColumnRead::Bytes) {
    std::memset(value + length, 0, static_cast<std::size_t>(area - length));
  }
}

// The field's own form of a varbinary value: its 16-bit length, then the
// bytes, within the value area.
void TTessel::ReadVarBytes(const std::uint8_t* Data, int Available, char* Value, int Area) {
  const int room = std::max(Area - 2, 0);
  const auto length = static_cast<std::uint16_t>(std::clamp(Available, 0, room));
  std::memcpy(Value, &length, sizeof length);
  std::memcpy(Value + 2, Data, length);
}

// The column's value as the framework's date-time in milliseconds. The value
// is converted into a local copy; 1899-12-30 00:00 when it does not encode.
double TTessel::ReadDateTime(int Column, const std::uint8_t* Data, int Length) const {
  DBDATETIME datetime{};
  int type = FColumnTypes[static_cast<std::size_t>(Column)];
  // A nullable date-time column names its width by the value's length.
  if (type == kSQLDATETIMN) type = Length == 4 ? kSQLDATETIM4 : kSQLDATETIME;
  if (type == kSQLDATETIME && Length >= static_cast<int>(sizeof datetime)) {
    std::memcpy(&datetime, Data, sizeof datetime);
  } else {
    dbconvert(nullptr, type, Data, Length, kSQLDATETIME, reinterpret_cast<DBBYTE*>(&datetime),
              sizeof datetime);
  }
  double msecs = 0;
  if (slots::DateTimeMSecs(datetime.dtdays, datetime.dttime, msecs)) return msecs;
  // Out of the framework's range: cracked as below, which ends at the default.
  DBDATEREC parts{};
  TDateTime date = 0, time = 0;
  TTimeStamp stamp{0, DateDelta};  // 1899-12-30 00:00
  if (dbdatecrack(nullptr, &parts, &datetime) != FAIL &&
      TryEncodeDate(parts.year, parts.month, parts.day, date) &&
      TryEncodeTime(parts.hour, parts.minute, parts.second, parts.millisecond, time)) {
    stamp.Date = static_cast<std::int32_t>(date) + DateDelta;
    stamp.Time = ((parts.hour * 60 + parts.minute) * 60 + parts.second) * 1000 + parts.millisecond;
  }
  return TimeStampToMSecs(stamp);
}

void TTessel::FillCache() {
  // Rows go straight into the cache. Only calculated fields need each row
  // as GetRecord gives it, computed in a record buffer of the fill's own.
  std::unique_ptr<char[]> scratch;
  if (CalcFieldsSize() > 0) {
    scratch = std::make_unique<char[]>(static_cast<std::size_t>(FRecordBufferSize));
  }
  const auto next = [&] {
    if (scratch) return GetRecord(scratch.get(), gmNext, true) != grEOF;
    ++FCurrentIndex;
    return FetchNextRow(nullptr) != grEOF;
  };
  std::uint32_t counter = 0;
  if (FCacheMaxRecords == 0) {
    bool first = true;
    for (;;) {
      if (!first && FCancelAsync) Abort();
      first = false;
      if (!next()) break;
    }
  } else {
    while (counter < FCacheMaxRecords && next()) ++counter;
  }
  scratch.reset();
  if (!FAllFetched && FCacheMaxRecords != 0 && counter == FCacheMaxRecords) {
    if (FDBProcess != nullptr) dbcancel(FDBProcess);
    Disconnect();
    FAllFetched = true;
  }
  if (RecordCountHeld() > 0) FCurrentIndex = 0;
}

int TTessel::ReadAhead() {
  if (!Active() || FDBProcess == nullptr || FAllFetched) return 0;
  if (FCacheMaxRecords == 0 && RecordCountHeld() - FCurrentIndex > kReadAheadWindow) return 0;
  const std::uint32_t start = GetTickCount();
  int counter = 0;
  for (;;) {
    while (!dbdataready(FDBProcess)) {
      if (dbdead(FDBProcess)) break;
      Sleep(1);
    }
    if (NextServerRow() == NO_MORE_ROWS) {
      FAllFetched = true;
      FDataBaseName->DropConnection(this, FDBProcess);
      break;
    }
    GetRecordData(nullptr);
    ++counter;
    // Unsigned difference: correct across a wrap of the tick counter.
    const std::uint32_t elapsed = GetTickCount() - start;
    if (elapsed > static_cast<std::uint32_t>(std::max(FMaxTimeSlice, 0)) ||
        counter > kReadAheadWindow) {
      break;
    }
  }
  if (!FAllFetched && FCacheMaxRecords != 0 &&
      static_cast<std::uint32_t>(RecordCountHeld()) > FCacheMaxRecords) {
    FAllFetched = true;
  }
  return counter;
}

}  // namespace tessel
