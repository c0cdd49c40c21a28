// TlqBuffers: the record cache's owned blocks, and the query's record buffers.

#include <algorithm>
#include <cstring>
#include <memory>

#include "runtime/Tessel.h"

namespace tessel {

namespace {
// About 256 KiB per block: few allocations for a large result, little unused
// memory for a small one (the first block holds at most 64 records).
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::size_t kFirstBlockItems = 64;
}  // namespace

char* TlqBuffers::NewItem(const char* Source) {
  const auto size = static_cast<std::size_t>(ItemSize);
  if (ItemSize != FBlockItemSize) {
    // A new layout (the next open): items of the old size are not reused.
    FFreeItems.clear();
    FBlockUsed = FBlockItems;
    FBlockItemSize = ItemSize;
  }
  char* item;
  if (!FFreeItems.empty()) {
    item = FFreeItems.back();
    FFreeItems.pop_back();
  } else {
    if (FBlockUsed == FBlockItems) {
      // Each block twice the last, up to kBlockBytes.
      const std::size_t most =
          std::max<std::size_t>(1, kBlockBytes / std::max<std::size_t>(size, 1));
      const std::size_t items =
          FBlocks.empty() ? std::min(kFirstBlockItems, most) : std::min(FBlockItems * 2, most);
      FBlocks.push_back(std::make_unique_for_overwrite<char[]>(items * size));
      FBlockItems = items;
      FBlockUsed = 0;
    }
    item = FBlocks.back().get() + FBlockUsed * size;
    ++FBlockUsed;
  }
  // Filled once: from Source, or with zeros when there is none.
  if (Source != nullptr) {
    std::memcpy(item, Source, size);
  } else {
    std::memset(item, 0, size);
  }
  return item;
}

int TlqBuffers::AppendBuffer(const char* Source) {
  char* item = NewItem(Source);
  try {
    Add(item);
  } catch (...) {
    FFreeItems.push_back(item);
    throw;
  }
  return Count();
}

char* TlqBuffers::AppendEmpty() {
  char* item = NewItem(nullptr);
  try {
    Add(item);
  } catch (...) {
    FFreeItems.push_back(item);
    throw;
  }
  return item;
}

void TlqBuffers::DropLast() {
  if (Count() == 0) return;
  FFreeItems.push_back(GetBuffer(Count()));
  Delete(Count() - 1);
}

void TlqBuffers::InsertBuffer(int Index, const char* Source) {
  char* item = NewItem(Source);
  try {
    Insert(Index - 1, item);
  } catch (...) {
    FFreeItems.push_back(item);
    throw;
  }
  ++FChanges;
}

bool TlqBuffers::DeleteBuffer(int Index) {
  if (Index < 1 || Index > Count()) return false;
  FFreeItems.push_back(GetBuffer(Index));
  Delete(Index - 1);
  ++FChanges;
  return true;
}

void TlqBuffers::SetBuffer(int Index, const char* Source) {
  std::memcpy(GetBuffer(Index), Source, static_cast<std::size_t>(ItemSize));
  ++FChanges;
}

void TlqBuffers::ClearBuffers() {
  Clear();
  FFreeItems.clear();
  FBlocks.clear();
  FBlockItems = FBlockUsed = 0;
  ++FChanges;
}

// --- the framework's record buffers ----------------------------------------------

TRecordBuffer TTessel::AllocRecordBuffer() {
  // Zero-filled as a whole: the blob slots must start empty, and nothing of
  // an earlier record may show through.
  return std::make_unique<char[]>(static_cast<std::size_t>(FRecordBufferSize)).release();
}

void TTessel::FreeRecordBuffer(TRecordBuffer& Buffer) {
  std::unique_ptr<char[]> block(Buffer);
  Buffer = nullptr;
}

void TTessel::InternalInitRecord(TRecordBuffer Buffer) {
  std::memset(Buffer, 0, static_cast<std::size_t>(FRecordSize));
  // An emptied record has no content: none of the record the buffer held
  // before may be read or posted as its own.
  ClearBlobSlots(Buffer);
}

void TTessel::ClearCalcFields(TRecordBuffer Buffer) {
  std::memset(Buffer + FRecordSize, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

void TTessel::GetBookmarkData(TRecordBuffer Buffer, char* Data) {
  std::memcpy(Data, Buffer + FBookmarkOffset, 4);
}

void TTessel::SetBookmarkData(TRecordBuffer Buffer, const char* Data) {
  std::memcpy(Buffer + FBookmarkOffset, Data, 4);
}

TBookmarkFlag TTessel::GetBookmarkFlag(TRecordBuffer Buffer) {
  return static_cast<TBookmarkFlag>(Buffer[FBookmarkOffset + 5]);
}

void TTessel::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  Buffer[FBookmarkOffset + 5] = static_cast<char>(Value);
}

}  // namespace tessel
