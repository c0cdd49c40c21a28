#include "sqld/tds/wire.h"

#include "sqld/tds/charset.h"

namespace tessel::sqld::tds {

void ByteReader::need(std::size_t count, const char* what) const {
  if (count > remaining()) {
    throw ProtocolError(std::string(what) + ": needs " + std::to_string(count) + " bytes, only " +
                        std::to_string(remaining()) + " left");
  }
}

std::uint8_t ByteReader::u8(const char* what) {
  need(1, what);
  return data_[pos_++];
}

std::uint16_t ByteReader::u16le(const char* what) {
  auto b = bytes(2, what);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::uint16_t ByteReader::u16be(const char* what) {
  auto b = bytes(2, what);
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

std::uint32_t ByteReader::u32le(const char* what) {
  auto b = bytes(4, what);
  return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
         (std::uint32_t(b[3]) << 24);
}

std::uint32_t ByteReader::u32be(const char* what) {
  auto b = bytes(4, what);
  return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) |
         std::uint32_t(b[3]);
}

std::uint64_t ByteReader::u64le(const char* what) {
  std::uint64_t lo = u32le(what);
  std::uint64_t hi = u32le(what);
  return lo | (hi << 32);
}

std::span<const std::uint8_t> ByteReader::bytes(std::size_t count, const char* what) {
  need(count, what);
  auto out = data_.subspan(pos_, count);
  pos_ += count;
  return out;
}

std::string ByteReader::ucs2(std::size_t chars, const char* what) {
  return ucs2leToUtf8(bytes(chars * 2, what));
}

void ByteWriter::u16le(std::uint16_t v) {
  u8(static_cast<std::uint8_t>(v));
  u8(static_cast<std::uint8_t>(v >> 8));
}

void ByteWriter::u16be(std::uint16_t v) {
  u8(static_cast<std::uint8_t>(v >> 8));
  u8(static_cast<std::uint8_t>(v));
}

void ByteWriter::u32le(std::uint32_t v) {
  u16le(static_cast<std::uint16_t>(v));
  u16le(static_cast<std::uint16_t>(v >> 16));
}

void ByteWriter::u32be(std::uint32_t v) {
  u16be(static_cast<std::uint16_t>(v >> 16));
  u16be(static_cast<std::uint16_t>(v));
}

void ByteWriter::u64le(std::uint64_t v) {
  u32le(static_cast<std::uint32_t>(v));
  u32le(static_cast<std::uint32_t>(v >> 32));
}

void ByteWriter::bytes(std::span<const std::uint8_t> b) {
  out_.append(reinterpret_cast<const char*>(b.data()), b.size());
}

void ByteWriter::ucs2(std::string_view utf8) {
  out_.append(utf8ToUcs2le(utf8));
}

namespace {

// UTF-16 of at most `limit` code units, never ending inside a surrogate pair.
std::u16string cappedUtf16(std::string_view utf8, std::size_t limit) {
  std::u16string s = utf8ToUtf16(utf8);
  if (s.size() > limit) {
    s.resize(limit);
    if (!s.empty() && s.back() >= 0xD800 && s.back() <= 0xDBFF) s.pop_back();
  }
  return s;
}

void appendUtf16(std::string& out, const std::u16string& s) {
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
}

}  // namespace

void ByteWriter::bVarchar(std::string_view utf8) {
  auto s = cappedUtf16(utf8, 255);
  u8(static_cast<std::uint8_t>(s.size()));
  appendUtf16(out_, s);
}

void ByteWriter::usVarchar(std::string_view utf8) {
  auto s = cappedUtf16(utf8, 65535);
  u16le(static_cast<std::uint16_t>(s.size()));
  appendUtf16(out_, s);
}

void ByteWriter::patchU16le(std::size_t at, std::uint16_t v) {
  out_[at] = static_cast<char>(v & 0xFF);
  out_[at + 1] = static_cast<char>(v >> 8);
}

}  // namespace tessel::sqld::tds
