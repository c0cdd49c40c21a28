#pragma once

// TBlobStream: the stream a TTessel gives for reading or writing one text or
// image field of its current record (TTessel::CreateBlobStream).
//
// A read stream (bmRead) holds the content: what the user wrote, what an
// earlier read kept in the record's blob content slot, or else what READTEXT
// fetches in chunks on the connection component's base connection; the
// fetched content is kept in the slot so that the next read of the same
// record asks the server nothing. A write stream (bmWrite) starts empty; a
// read-write stream (bmReadWrite) starts with the content. When a write or
// read-write stream was written to (or truncated), destroying it stores the
// content in the slot and through SetFieldData, and marks the field
// modified. A stream that could store nothing refuses to be opened for
// writing instead of dropping what is written; a read stream refuses writes.
//
// The stream belongs to its creator and lives for one read or one write of
// one field; it refers to, without owning, its field and dataset. Main
// thread only.

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "framework/field_kinds.h"
#include "framework/streams.h"
#include "runtime/Tessel.h"

namespace tessel {

class TBlobStream : public TMemoryStream {
 public:
  TBlobStream(TBlobField* Field, TBlobStreamMode Mode);
  ~TBlobStream() override;
  TBlobStream(const TBlobStream&) = delete;
  TBlobStream& operator=(const TBlobStream&) = delete;

  std::int64_t Write(const void* Buffer, std::int64_t Count) override;
  void SetSize(std::int64_t Size) override;
  // Empties the field's content in the record; the stream's own bytes stay.
  void Truncate();

  bool Opened() const { return FOpened; }
  TBlobStreamMode Mode() const { return FMode; }

  // Storing happens in the destructor, which cannot raise: a failure there
  // (a validation event refusing the value, a notification that raised) is
  // handed to this routine. Unset, the failure is written to standard error.
  static std::function<void(const std::exception&)> OnStoreError;

 private:
  void LoadContent();
  void ReadFromServer(const BlobDescriptor& Descriptor);
  void CheckWritable() const;
  void Store();
  void AppendLoaded(const std::string& Content);

  TBlobField* FField;
  TTessel* FDataSet;
  TBlobStreamMode FMode;
  std::int32_t FFieldNo;
  bool FOpened = false;
  bool FModified = false;
  TRecordBuffer FBuffer = nullptr;
  std::string FBlobData;
};

// The chunk size for reading a text or image value on Process: the
// connection component's remembered packet size less 100, the packet size
// being asked of the client library once (8192 when it answers 0).
int BlobChunkSize(TSQLServer& Server, PDBPROCESS Process);

}  // namespace tessel
