// TlqBuffers: the record cache's owned blocks, and the query's record buffers.

#include <cstring>
#include <memory>

#include "runtime/Tessel.h"

namespace tessel {

char* TlqBuffers::NewBlock(const char* Source) const {
  // Filled once: from Source, or with zeros when there is none.
  auto block = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(ItemSize));
  if (Source != nullptr) {
    std::memcpy(block.get(), Source, static_cast<std::size_t>(ItemSize));
  } else {
    std::memset(block.get(), 0, static_cast<std::size_t>(ItemSize));
  }
  return block.release();
}

int TlqBuffers::AppendBuffer(const char* Source) {
  std::unique_ptr<char[]> block(NewBlock(Source));
  Add(block.get());
  block.release();
  return Count();
}

void TlqBuffers::InsertBuffer(int Index, const char* Source) {
  std::unique_ptr<char[]> block(NewBlock(Source));
  Insert(Index - 1, block.get());
  block.release();
  ++FChanges;
}

bool TlqBuffers::DeleteBuffer(int Index) {
  if (Index < 1 || Index > Count()) return false;
  std::unique_ptr<char[]> block(GetBuffer(Index));
  Delete(Index - 1);
  ++FChanges;
  return true;
}

void TlqBuffers::SetBuffer(int Index, const char* Source) {
  std::memcpy(GetBuffer(Index), Source, static_cast<std::size_t>(ItemSize));
  ++FChanges;
}

void TlqBuffers::ClearBuffers() {
  for (int i = Count(); i >= 1; --i) {
    std::unique_ptr<char[]> block(GetBuffer(i));
  }
  Clear();
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
