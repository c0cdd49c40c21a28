// Navigation over the record cache: first and last, bookmarks, record
// numbers and counts, and the buffer that field access works on.

#include <cstring>
#include <memory>

#include "runtime/Tessel.h"
#include "runtime/lqSQLConst.h"

namespace tessel {
namespace {

std::int32_t ReadId(const char* data) {
  std::int32_t id;
  std::memcpy(&id, data, sizeof id);
  return id;
}

}  // namespace

void TTessel::InternalFirst() {
  FCurrentIndex = 0;
}

void TTessel::InternalLast() {
  auto scratch = std::make_unique<char[]>(static_cast<std::size_t>(FRecordBufferSize));
  while (GetRecord(scratch.get(), gmNext, true) != grEOF) {
  }
  FCurrentIndex = RecordCountHeld() + 1;
}

void TTessel::InternalGotoBookmark(const char* Bookmark) {
  const int position = BookmarkPosition(Bookmark);
  if (position == 0) RaiseDatabaseError(SBookmarkNotFound);
  FCurrentIndex = position;
}

int TTessel::BookmarkPosition(const char* Bookmark) const {
  const std::int32_t id = ReadId(Bookmark);
  const int count = RecordCountHeld();
  auto holds = [&](int position) {
    return position >= 1 && position <= count &&
           ReadId(FRecordCache.GetBuffer(position) + FBookmarkOffset) == id;
  };
  // Ids are unique, so the first hit is the record. Until rows are inserted,
  // deleted or sorted a record sits at the position of its id, and the
  // framework mostly asks for the record at or next to the cursor: try those
  // before walking the cache.
  for (int guess : {id, FCurrentIndex, FCurrentIndex + 1, FCurrentIndex - 1}) {
    if (holds(guess)) return guess;
  }
  for (int i = 1; i <= count; ++i) {
    if (holds(i)) return i;
  }
  return 0;
}

void TTessel::InternalSetToRecord(TRecordBuffer Buffer) {
  InternalGotoBookmark(Buffer + FBookmarkOffset);
}

int TTessel::CompareBookmarks(const char* Bookmark1, const char* Bookmark2) {
  if (Bookmark1 == nullptr && Bookmark2 == nullptr) return 0;
  if (Bookmark1 != nullptr && Bookmark2 != nullptr && ReadId(Bookmark1) == ReadId(Bookmark2)) {
    return 0;
  }
  return 1;
}

int TTessel::GetRecNo() {
  UpdateCursorPos();
  if (FCurrentIndex == 0 && RecordCountHeld() > 0) return 1;
  return FCurrentIndex;
}

void TTessel::SetRecNo(int Value) {
  if (Value < 1 || Value > RecordCountHeld()) return;
  FCurrentIndex = Value;
  Resync(0);
}

int TTessel::GetRecordCount() {
  return FAllFetched ? RecordCountHeld() : 2 * RecordCountHeld();
}

bool TTessel::GetActiveRecBuf(TRecordBuffer& RecBuf) {
  RecBuf = nullptr;
  switch (State()) {
    case dsBrowse:
      if (!IsEmpty()) RecBuf = ActiveBuffer();
      break;
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      RecBuf = ActiveBuffer();
      break;
    case dsCalcFields:
      RecBuf = CalcBuffer();
      break;
    case dsFilter:
      RecBuf = FFilterBuffer;
      break;
    case dsOldValue:
      if (FCurrentIndex >= 1 && FCurrentIndex <= RecordCountHeld()) {
        RecBuf = FRecordCache.GetBuffer(FCurrentIndex);
      }
      break;
    default:
      break;
  }
  return RecBuf != nullptr;
}

}  // namespace tessel
