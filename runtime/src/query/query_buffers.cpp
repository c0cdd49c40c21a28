// TlqBuffers: the record cache's owned records, and the query's record buffers.

#include <cstring>
#include <memory>

#include "query/record_blocks.h"
#include "runtime/Tessel.h"

namespace tessel {

TlqBuffers::TlqBuffers() : FRecords(std::make_unique<records::RecordBlocks>()) {}

TlqBuffers::~TlqBuffers() = default;

char* TlqBuffers::NewBlock(const char* Source) {
  // Filled once: from Source, or with zeros when there is none.
  char* block = FRecords->Take(static_cast<std::size_t>(ItemSize), Source == nullptr);
  if (Source != nullptr) std::memcpy(block, Source, static_cast<std::size_t>(ItemSize));
  return block;
}

char* TlqBuffers::NewRecord() {
  return NewBlock(nullptr);
}

int TlqBuffers::AppendRecord(char* Record) {
  try {
    Add(Record);
  } catch (...) {
    FRecords->Give(Record);
    throw;
  }
  return Count();
}

void TlqBuffers::DiscardRecord(char* Record) noexcept {
  FRecords->Give(Record);
}

int TlqBuffers::AppendBuffer(const char* Source) {
  return AppendRecord(NewBlock(Source));
}

void TlqBuffers::InsertBuffer(int Index, const char* Source) {
  char* block = NewBlock(Source);
  try {
    Insert(Index - 1, block);
  } catch (...) {
    FRecords->Give(block);
    throw;
  }
  ++FChanges;
}

bool TlqBuffers::DeleteBuffer(int Index) {
  if (Index < 1 || Index > Count()) return false;
  char* block = GetBuffer(Index);
  Delete(Index - 1);
  FRecords->Give(block);
  ++FChanges;
  return true;
}

void TlqBuffers::SetBuffer(int Index, const char* Source) {
  std::memcpy(GetBuffer(Index), Source, static_cast<std::size_t>(ItemSize));
  ++FChanges;
}

void TlqBuffers::ClearBuffers() {
  // The records die together: their blocks are kept or shelved whole.
  Clear();
  FRecords->Reset();
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
