#pragma once

// Bounds-checked reading and little/big-endian writing of the byte layouts the
// protocol uses. Every read checks the remaining length first and throws
// ProtocolError naming what was being read; nothing here trusts a length that
// came from the network. Plain values, any thread.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tessel::sqld::tds {

// A malformed, truncated or oversized message. The session that receives one
// logs the reason and ends; other sessions are not affected.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}
  ByteReader(const std::uint8_t* data, std::size_t size) : data_(data, size) {}

  std::size_t remaining() const { return data_.size() - pos_; }
  std::size_t position() const { return pos_; }
  bool atEnd() const { return pos_ == data_.size(); }

  std::uint8_t u8(const char* what);
  std::uint16_t u16le(const char* what);
  std::uint16_t u16be(const char* what);
  std::uint32_t u32le(const char* what);
  std::uint32_t u32be(const char* what);
  std::uint64_t u64le(const char* what);
  std::span<const std::uint8_t> bytes(std::size_t count, const char* what);
  void skip(std::size_t count, const char* what) { (void)bytes(count, what); }
  // UCS-2LE text of `chars` characters, returned as UTF-8.
  std::string ucs2(std::size_t chars, const char* what);
  // B_VARCHAR: 1-byte character count, then UCS-2LE.
  std::string bVarchar(const char* what) { return ucs2(u8(what), what); }
  // US_VARCHAR: 2-byte character count, then UCS-2LE.
  std::string usVarchar(const char* what) { return ucs2(u16le(what), what); }
  // A reader over the next `count` bytes; this reader moves past them.
  ByteReader sub(std::size_t count, const char* what) { return ByteReader(bytes(count, what)); }

 private:
  void need(std::size_t count, const char* what) const;

  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

// Appends to a std::string used as a byte buffer.
class ByteWriter {
 public:
  explicit ByteWriter(std::string& out) : out_(out) {}

  void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void u16le(std::uint16_t v);
  void u16be(std::uint16_t v);
  void u32le(std::uint32_t v);
  void u32be(std::uint32_t v);
  void u64le(std::uint64_t v);
  void bytes(std::string_view b) { out_.append(b); }
  void bytes(std::span<const std::uint8_t> b);
  // UTF-8 in, UCS-2LE out, without a length.
  void ucs2(std::string_view utf8);
  // B_VARCHAR; text beyond 255 characters is cut at a character boundary.
  void bVarchar(std::string_view utf8);
  // US_VARCHAR; text beyond 65535 characters is cut at a character boundary.
  void usVarchar(std::string_view utf8);
  std::size_t size() const { return out_.size(); }
  // Overwrites a 2-byte little-endian value written earlier (token lengths).
  void patchU16le(std::size_t at, std::uint16_t v);

 private:
  std::string& out_;
};

}  // namespace tessel::sqld::tds
