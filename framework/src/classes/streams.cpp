#include "framework/streams.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "framework/exceptions.h"
#include "framework/sysutils.h"

namespace tessel {
namespace {

// The new position of a seek in a stream of the given size and position.
std::int64_t SeekTarget(std::int64_t offset, TSeekOrigin origin, std::int64_t position,
                        std::int64_t size) {
  std::int64_t base = origin == soFromBeginning ? 0 : (origin == soFromCurrent ? position : size);
  if ((offset < 0 && base + offset < 0) || (offset > 0 && base > INT64_MAX - offset)) {
    throw EStreamError(Format("Invalid stream position: offset %d from %d", {offset, base}));
  }
  return base + offset;
}

// Bytes available from position in a buffer of size, at most count.
std::int64_t Available(std::int64_t position, std::int64_t size, std::int64_t count) {
  if (count <= 0 || position >= size) return 0;
  return std::min(count, size - position);
}

}  // namespace

std::int64_t TStream::Position() const {
  return const_cast<TStream*>(this)->Seek(0, soFromCurrent);
}

std::int64_t TStream::Size() const {
  auto* self = const_cast<TStream*>(this);
  const std::int64_t pos = self->Seek(0, soFromCurrent);
  const std::int64_t size = self->Seek(0, soFromEnd);
  self->Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(std::int64_t size) {
  throw EStreamError(Format("%s cannot change its size to %d", {ClassName(), size}));
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
  if (count != 0 && Read(buffer, count) != count) {
    throw EReadError(
        Format("Stream read error: %d bytes wanted at position %d", {count, Position()}));
  }
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count != 0 && Write(buffer, count) != count) {
    throw EWriteError(Format("Stream write error: %d bytes at position %d", {count, Position()}));
  }
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  const std::int64_t total = count;
  std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::int64_t>(count, 61440)));
  while (count > 0) {
    const std::int64_t n = std::min<std::int64_t>(count, static_cast<std::int64_t>(chunk.size()));
    source.ReadBuffer(chunk.data(), n);
    WriteBuffer(chunk.data(), n);
    count -= n;
  }
  return total;
}

// TMemoryStream

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t n = Available(position_, Size(), count);
  if (n > 0) std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t end = position_ + count;
  if (end > Size()) data_.resize(static_cast<std::size_t>(end));
  std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, Size());
  return position_;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) throw EStreamError(Format("Invalid stream size %d", {size}));
  data_.resize(static_cast<std::size_t>(size));
  position_ = std::min(position_, size);
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  const std::int64_t size = stream.Size();
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  stream.ReadBuffer(data.data(), size);
  data_ = std::move(data);
  position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& stream) const {
  stream.WriteBuffer(data_.data(), Size());
}

void TMemoryStream::LoadFromFile(const std::string& file_name) {
  TFileStream file(file_name, fmOpenRead);
  LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& file_name) const {
  TFileStream file(file_name, fmCreate);
  SaveToStream(file);
}

// TStringStream

std::int64_t TStringStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t n = Available(position_, Size(), count);
  if (n > 0) std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

std::int64_t TStringStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t end = position_ + count;
  if (end > Size()) data_.resize(static_cast<std::size_t>(end), '\0');
  std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(count));
  position_ = end;
  return count;
}

std::int64_t TStringStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  position_ = SeekTarget(offset, origin, position_, Size());
  return position_;
}

void TStringStream::SetSize(std::int64_t size) {
  if (size < 0) throw EStreamError(Format("Invalid stream size %d", {size}));
  data_.resize(static_cast<std::size_t>(size), '\0');
  position_ = std::min(position_, size);
}

std::string TStringStream::ReadString(std::int64_t count) {
  const std::int64_t n = Available(position_, Size(), count);
  std::string out = data_.substr(static_cast<std::size_t>(position_), static_cast<std::size_t>(n));
  position_ += n;
  return out;
}

// TFileStream

TFileStream::TFileStream(const std::string& file_name, TFileMode mode) : file_name_(file_name) {
  static constexpr const char* kModes[] = {"w+b", "rb", "r+b", "r+b"};
  file_.reset(std::fopen(file_name.c_str(), kModes[mode]));
  if (!file_) {
    throw EInOutError(Format("Cannot %s file %s: %s", {mode == fmCreate ? "create" : "open",
                                                       file_name, std::strerror(errno)}));
  }
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return static_cast<std::int64_t>(
      std::fread(buffer, 1, static_cast<std::size_t>(count), file_.get()));
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  return static_cast<std::int64_t>(
      std::fwrite(buffer, 1, static_cast<std::size_t>(count), file_.get()));
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (fseeko(file_.get(), offset, kWhence[origin]) != 0) {
    throw EStreamError(Format("Cannot seek to %d in %s", {offset, file_name_}));
  }
  return ftello(file_.get());
}

void TFileStream::SetSize(std::int64_t size) {
  std::fflush(file_.get());
  if (size < 0 || ftruncate(fileno(file_.get()), size) != 0) {
    throw EStreamError(Format("Cannot set the size of %s to %d", {file_name_, size}));
  }
  if (Position() > size) Seek(size, soFromBeginning);
}

}  // namespace tessel
