// The blob content slots of a record buffer. A slot holds a 4-byte handle of
// content kept in FBlobContents (0: none), so that buffers can be copied as
// plain bytes. Content read from the server is kept under one handle per
// record and field, which a later read of that record reuses, so browsing
// back and forth over a record does not pile up copies of its text.

#include <cstring>
#include <string>
#include <utility>

#include "runtime/Tessel.h"

namespace tessel {

// Kept for every buffer of the record (the cached copy read for an old value
// included), so that a record's text is read from the server once; only the
// active buffer's slot takes the handle.
void TTessel::StoreReadBlob(const TField* Field, TRecordBuffer Buffer, std::string&& Value) {
  if (Buffer == nullptr) return;
  std::int32_t id = 0;
  std::memcpy(&id, Buffer + FBookmarkOffset, sizeof id);
  const auto key = std::make_pair(id, Field->Offset());
  std::uint32_t handle = 0;
  const auto found = FReadBlobHandles.find(key);
  if (found != FReadBlobHandles.end() && found->second <= FBlobContents.size()) {
    handle = found->second;
    FBlobContents[handle - 1] = std::move(Value);
  } else {
    FBlobContents.push_back(std::move(Value));
    handle = static_cast<std::uint32_t>(FBlobContents.size());
    FReadBlobHandles[key] = handle;
  }
  if (Buffer == ActiveBuffer()) std::memcpy(BlobSlot(Field, Buffer), &handle, sizeof handle);
}

const std::string* TTessel::ReadBlobOfRecord(const TField* Field, TRecordBuffer Buffer) const {
  std::int32_t id = 0;
  std::memcpy(&id, Buffer + FBookmarkOffset, sizeof id);
  const auto found = FReadBlobHandles.find(std::make_pair(id, Field->Offset()));
  if (found == FReadBlobHandles.end() || found->second == 0 ||
      found->second > FBlobContents.size()) {
    return nullptr;
  }
  return &FBlobContents[found->second - 1];
}

const std::string& TTessel::BlobContent(const TField* Field, TRecordBuffer Buffer) const {
  static const std::string kNone;
  std::uint32_t handle = 0;
  std::memcpy(&handle, BlobSlot(Field, Buffer), sizeof handle);
  if (handle == 0 || handle > FBlobContents.size()) return kNone;
  return FBlobContents[handle - 1];
}

void TTessel::ClearBlobSlots(TRecordBuffer Buffer) const {
  std::memset(Buffer + FBlobSlotsOffset, 0, static_cast<std::size_t>(4 * BlobFieldCount()));
}

}  // namespace tessel
