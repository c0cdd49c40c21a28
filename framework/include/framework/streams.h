#pragma once

// Byte streams: TStream, the abstract base with Read, Write and Seek;
// TMemoryStream and TStringStream keep their bytes in memory, TFileStream
// reads and writes a file it owns. A stream is used by one thread at a time.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/object.h"

namespace tessel {

enum TSeekOrigin : std::uint8_t { soFromBeginning, soFromCurrent, soFromEnd };

class TStream : public TObject {
 public:
  // Read and Write move at most count bytes and return how many moved.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Returns the new position. A position before the start raises EStreamError.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t Position() const;
  void SetPosition(std::int64_t position) { Seek(position, soFromBeginning); }
  virtual std::int64_t Size() const;
  virtual void SetSize(std::int64_t size);

  // Move exactly count bytes or raise EReadError / EWriteError.
  void ReadBuffer(void* buffer, std::int64_t count);
  void WriteBuffer(const void* buffer, std::int64_t count);
  // Copies count bytes from source's position; count 0 copies all of source
  // from its start. Returns the bytes copied; a short source raises EReadError.
  std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// The bytes in a vector. Seeking past the end is allowed; a write there fills
// the gap with zeros.
class TMemoryStream : public TStream {
 public:
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::int64_t size) override;

  // The content; valid until the next write or size change.
  std::uint8_t* Memory() { return data_.data(); }
  const std::uint8_t* Memory() const { return data_.data(); }
  const std::vector<std::uint8_t>& Bytes() const { return data_; }
  void Clear();
  // Replace the content with the whole of stream (from its start) or of the file.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const;
  void LoadFromFile(const std::string& file_name);
  void SaveToFile(const std::string& file_name) const;

 private:
  std::vector<std::uint8_t> data_;
  std::int64_t position_ = 0;
};

// The bytes in a std::string, for text content.
class TStringStream : public TStream {
 public:
  explicit TStringStream(std::string data = {}) : data_(std::move(data)) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  void SetSize(std::int64_t size) override;

  const std::string& DataString() const { return data_; }
  // Reads up to count characters from the position.
  std::string ReadString(std::int64_t count);
  void WriteString(const std::string& s) { Write(s.data(), static_cast<std::int64_t>(s.size())); }

 private:
  std::string data_;
  std::int64_t position_ = 0;
};

// File open modes of TFileStream.
enum TFileMode : std::uint8_t { fmCreate, fmOpenRead, fmOpenWrite, fmOpenReadWrite };

// A file opened (or created and emptied, with fmCreate) for the stream's
// lifetime. A file that cannot be opened raises EInOutError naming it.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& file_name, TFileMode mode);
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  void SetSize(std::int64_t size) override;
  const std::string& FileName() const { return file_name_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::string file_name_;
  std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace tessel
