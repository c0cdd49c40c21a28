// The codec: every token and data type written by the listener and read back
// by the independent test decoder, and the parsers of client messages fed
// good, truncated and corrupted input.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "memory_transport.h"
#include "sqld/product_version.h"
#include "sqld/tds/bulk_load.h"
#include "sqld/tds/charset.h"
#include "sqld/tds/login.h"
#include "sqld/tds/packet.h"
#include "sqld/tds/requests.h"
#include "sqld/tds/token_writer.h"
#include "sqld/tds/type_codec.h"
#include "sqld/tds/version.h"
#include "sqld/tds/wire.h"
#include "tds_test_client.h"

namespace tessel::sqld::test {
namespace {

using tds::kTds71;
using tds::kTds72;
using tds::kTds73B;
using tds::kTds74;

const std::uint32_t kVersions[] = {kTds71, kTds72, kTds73B, kTds74};

// Encodes with the listener's TokenWriter and returns the message payload.
template <typename Fn>
std::string encode(std::uint32_t version, Fn&& fn, std::size_t packetSize = 4096) {
  MemoryTransport t;
  tds::PacketWriter pw(t, packetSize);
  pw.setSpid(77);
  tds::TokenWriter w(pw, version, "SRV");
  pw.begin(tds::PacketType::TabularResult);
  fn(w);
  pw.finish();
  std::string payload;
  for (std::size_t at = 0; at < t.sent.size();) {
    std::size_t len = (static_cast<std::uint8_t>(t.sent[at + 2]) << 8) |
                      static_cast<std::uint8_t>(t.sent[at + 3]);
    payload += t.sent.substr(at + 8, len - 8);
    at += len;
  }
  return payload;
}

// A result of the given columns with `rows` copies of one row, encoded and
// decoded again: metadata first, then the rows.
std::vector<Token> resultTokens(std::uint32_t version, const std::vector<Column>& cols,
                                const std::vector<Value>& row, int rows = 1) {
  return decodeTokens(encode(version,
                             [&](tds::TokenWriter& w) {
                               w.colMetadata(cols);
                               for (int r = 0; r < rows; ++r) w.row(row);
                             }),
                      version);
}

std::int64_t le(const std::string& b) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < b.size(); ++i)
    v |= std::uint64_t(static_cast<std::uint8_t>(b[i])) << (8 * i);
  if (b.size() < 8 && (v >> (b.size() * 8 - 1)) & 1) v |= ~std::uint64_t{0} << (b.size() * 8);
  return static_cast<std::int64_t>(v);
}

Column col(SqlType type, std::int32_t length, bool nullable, std::uint8_t p = 0,
           std::uint8_t s = 0) {
  Column c;
  c.name = "c";
  c.type = TypeInfo{type, length, p, s, nullable};
  return c;
}

struct TypeCase {
  Column column;
  Value value;
  std::uint8_t wireType;
  std::string bytes;  // expected value bytes
};

std::vector<TypeCase> typeCases(bool nullable) {
  auto w = [&](std::uint8_t fixed, std::uint8_t n) { return nullable ? n : fixed; };
  GuidValue g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<std::uint8_t>(i);
  double f = -2.5;
  float r = 1.25f;
  std::string fb(8, '\0'), rb(4, '\0');
  std::memcpy(fb.data(), &f, 8);
  std::memcpy(rb.data(), &r, 4);
  return {
      {col(SqlType::TinyInt, 1, nullable), Value(std::int64_t{200}), w(0x30, 0x26), "\xC8"},
      {col(SqlType::SmallInt, 2, nullable), Value(std::int64_t{-2}), w(0x34, 0x26), "\xFE\xFF"},
      {col(SqlType::Int, 4, nullable), Value(std::int64_t{258}), w(0x38, 0x26),
       std::string("\x02\x01\0\0", 4)},
      {col(SqlType::BigInt, 8, nullable), Value(std::int64_t{-1}), w(0x7F, 0x26),
       std::string(8, '\xFF')},
      {col(SqlType::Bit, 1, nullable), Value(std::int64_t{1}), w(0x32, 0x68), "\x01"},
      {col(SqlType::Real, 4, nullable), Value(1.25), w(0x3B, 0x6D), rb},
      {col(SqlType::Float, 8, nullable), Value(-2.5), w(0x3E, 0x6D), fb},
      {col(SqlType::Money, 8, nullable), Value(MoneyValue{0x100000002}), w(0x3C, 0x6E),
       std::string("\x01\0\0\0\x02\0\0\0", 8)},
      {col(SqlType::SmallMoney, 4, nullable), Value(MoneyValue{-10000}), w(0x7A, 0x6E),
       std::string("\xF0\xD8\xFF\xFF", 4)},
      {col(SqlType::DateTime, 8, nullable), Value(DateTimeValue{2, 300}), w(0x3D, 0x6F),
       std::string("\x02\0\0\0\x2C\x01\0\0", 8)},
      {col(SqlType::SmallDateTime, 4, nullable), Value(DateTimeValue{3, 18000 * 61}), w(0x3A, 0x6F),
       std::string("\x03\0\x3D\0", 4)},
      {col(SqlType::Decimal, 5, nullable, 5, 2), Value(DecimalValue{-12345, 5, 2}), 0x6A,
       std::string("\0\x39\x30\0\0", 5)},
      {col(SqlType::Numeric, 9, nullable, 12, 0), Value(DecimalValue{1, 12, 0}), 0x6C,
       std::string("\x01\x01\0\0\0\0\0\0\0", 9)},
      {col(SqlType::Char, 4, nullable), Value(std::string("é")), 0xAF, "\xE9   "},
      {col(SqlType::VarChar, 10, nullable), Value(std::string("€x")), 0xA7, "\x80x"},
      {col(SqlType::NChar, 4, nullable), Value(std::string("ж")), 0xEF,
       std::string("\x36\x04 \0", 4)},
      {col(SqlType::NVarChar, 8, nullable), Value(std::string("a😀")), 0xE7,
       std::string("a\0\x3D\xD8\x00\xDE", 6)},
      {col(SqlType::Binary, 3, nullable), Value(BytesValue{"\x01"}), 0xAD,
       std::string("\x01\0\0", 3)},
      {col(SqlType::VarBinary, 3, nullable), Value(BytesValue{"\x01\x02"}), 0xA5, "\x01\x02"},
      {col(SqlType::UniqueIdentifier, 16, nullable), Value(g), 0x24,
       std::string(reinterpret_cast<const char*>(g.bytes.data()), 16)},
      {col(SqlType::Text, 0x7FFFFFFF, nullable), Value(std::string("ü")), 0x23, "\xFC"},
      {col(SqlType::NText, 0x7FFFFFFE, nullable), Value(std::string("ü")), 0x63,
       std::string("\xFC\0", 2)},
      {col(SqlType::Image, 0x7FFFFFFF, nullable), Value(BytesValue{"\xFF"}), 0x22, "\xFF"},
  };
}

TEST(TdsCodec, EveryTypeRoundTripsInEveryVersionNullableOrNot) {
  for (std::uint32_t version : kVersions) {
    for (bool nullable : {false, true}) {
      for (const TypeCase& tc : typeCases(nullable)) {
        SCOPED_TRACE(std::to_string(static_cast<int>(tc.column.type.type)) + " version " +
                     std::to_string(version >> 24) + (nullable ? " null" : " not null"));
        std::vector<Column> cols = {tc.column};
        std::string payload = encode(version, [&](tds::TokenWriter& w) {
          w.colMetadata(cols);
          w.row(std::vector<Value>{tc.value});
        });
        auto tokens = decodeTokens(payload, version);
        ASSERT_EQ(tokens.size(), 2u);
        const ColInfo& c = tokens[0].columns.at(0);
        EXPECT_EQ(c.wireType, tc.wireType);
        EXPECT_EQ(c.flags & 1, nullable ? 1 : 0);
        if (!c.collation.empty()) {
          EXPECT_EQ(c.collation, std::string("\x09\x04\xD0\x00\x34", 5));
        }
        ASSERT_EQ(tokens[1].values.size(), 1u);
        EXPECT_FALSE(tokens[1].values[0].isNull);
        EXPECT_EQ(tokens[1].values[0].bytes, tc.bytes);
      }
    }
  }
}

TEST(TdsCodec, DateAndTimeTypesTravelNativelyFrom73AndAsTextBefore) {
  // 2000-01-02 00:30:00.125 at +01:00: on the wire as UTC 2000-01-01 23:30.
  DateTime2Value local{730120, 30LL * 60 * 10000000 + 1250000, 60};
  std::vector<Column> cols(2);
  cols[0].type = TypeInfo{SqlType::DateTimeOffset, 10, 0, 3, true};
  cols[1].type = TypeInfo{SqlType::Date, 3, 0, 0, true};
  std::vector<Value> row = {Value(local), Value(DateTime2Value{730120, 0, 0})};
  auto native = resultTokens(kTds74, cols, row);
  ASSERT_EQ(native.size(), 2u);
  EXPECT_EQ(native[0].columns.at(0).wireType, 0x2B);
  EXPECT_EQ(native[0].columns.at(0).scale, 3);
  EXPECT_EQ(native[0].columns.at(1).wireType, 0x28);
  // 84600.125 s in ms = 0x050AE53D; days 730119 = 0x0B2407; offset 60.
  EXPECT_EQ(native[1].values[0].bytes, std::string("\x3D\xE5\x0A\x05\x07\x24\x0B\x3C\x00", 9));
  EXPECT_EQ(native[1].values[1].bytes, std::string("\x08\x24\x0B", 3));

  auto old = resultTokens(kTds71, cols, row);
  ASSERT_EQ(old.size(), 2u);
  EXPECT_EQ(old[0].columns.at(0).wireType, 0xE7);
  EXPECT_EQ(fromUtf16(old[1].values[0].bytes), "2000-01-02 00:30:00.125 +01:00");
  EXPECT_EQ(fromUtf16(old[1].values[1].bytes), "2000-01-02");
}

TEST(TdsCodec, NullsUseNbcRowFromVersion73AndRowBefore) {
  std::vector<Column> cols;
  std::vector<Value> row;
  for (const TypeCase& tc : typeCases(true)) {
    cols.push_back(tc.column);
    row.emplace_back();
  }
  cols.push_back(col(SqlType::Int, 4, true));
  row.emplace_back(std::int64_t{5});
  for (std::uint32_t version : kVersions) {
    auto tokens = resultTokens(version, cols, row);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[1].type, version >= kTds73B ? 0xD2 : 0xD1);
    for (std::size_t i = 0; i + 1 < row.size(); ++i) EXPECT_TRUE(tokens[1].values[i].isNull) << i;
    EXPECT_EQ(le(tokens[1].values.back().bytes), 5);
  }
}

TEST(TdsCodec, TextColumnsCarryTableNameTextPointerAndTimestamp) {
  Column c = col(SqlType::Text, 0x7FFFFFFF, true);
  c.tableName = "notes";
  Value v(std::string("abc"));
  TextPointer ptr;
  ptr.pointer.fill(7);
  ptr.timestamp.fill(9);
  v.textPointer = ptr;
  for (std::uint32_t version : {kTds71, kTds74}) {
    auto tokens = decodeTokens(encode(version,
                                      [&](tds::TokenWriter& w) {
                                        w.colMetadata(std::vector<Column>{c});
                                        w.row(std::vector<Value>{v});
                                      }),
                               version);
    EXPECT_EQ(tokens[0].columns[0].table, "notes");
    EXPECT_EQ(tokens[1].values[0].textPtr, std::string(16, '\x07'));
    EXPECT_EQ(tokens[1].values[0].timestamp, std::string(8, '\x09'));
    EXPECT_EQ(tokens[1].values[0].bytes, "abc");
  }
}

TEST(TdsCodec, MaxTypesTravelInChunksOrAsTextFor71) {
  std::vector<Column> cols = {col(SqlType::VarChar, 0x7FFFFFFF, true),
                              col(SqlType::NVarChar, -1, true),
                              col(SqlType::VarBinary, 0x7FFFFFFF, true)};
  std::string longText(20000, 'q');
  std::vector<Value> row = {Value(longText), Value(std::string()), Value()};
  for (std::uint32_t version : kVersions) {
    auto t = resultTokens(version, cols, row);
    ASSERT_EQ(t.size(), 2u);
    if (version >= kTds72) {
      EXPECT_EQ(t[0].columns[0].wireType, 0xA7);
      EXPECT_EQ(t[0].columns[0].maxLength, 0xFFFFu);
      EXPECT_EQ(t[0].columns[1].wireType, 0xE7);
      EXPECT_EQ(t[0].columns[2].wireType, 0xA5);
    } else {
      EXPECT_EQ(t[0].columns[0].wireType, 0x23);
      EXPECT_EQ(t[0].columns[1].wireType, 0x63);
      EXPECT_EQ(t[0].columns[2].wireType, 0x22);
    }
    EXPECT_EQ(t[1].values[0].bytes, longText);
    EXPECT_FALSE(t[1].values[1].isNull);
    EXPECT_EQ(t[1].values[1].bytes, "");
    EXPECT_TRUE(t[1].values[2].isNull);
  }
}

// xml is untyped XMLTYPE in UTF-16 chunks from TDS 7.2 on, ntext before.
TEST(TdsCodec, XmlTravelsAsXmlTypeInChunksOrAsNTextFor71) {
  std::vector<Column> cols = {col(SqlType::Xml, -1, true), col(SqlType::Xml, -1, true)};
  const std::string doc = "<a>\xC3\xA9" + std::string(5000, 'x') + "</a>";
  std::vector<Value> row = {Value(doc), Value()};
  for (std::uint32_t version : kVersions) {
    SCOPED_TRACE(version >> 24);
    auto t = resultTokens(version, cols, row);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0].columns[0].wireType, version >= kTds72 ? 0xF1 : 0x63);
    EXPECT_EQ(t[1].values[0].bytes, utf16(doc));
    EXPECT_TRUE(t[1].values[1].isNull);
  }
}

TEST(TdsCodec, CharacterDataIsCutToItsColumnAndDecimalsKeepPrecision) {
  std::vector<Column> cols = {col(SqlType::VarChar, 3, true), col(SqlType::NVarChar, 4, true),
                              col(SqlType::Decimal, 17, true, 38, 4)};
  __int128 big = static_cast<__int128>(1) << 100;
  std::vector<Value> row = {Value(std::string("abcdef")), Value(std::string("x😀")),
                            Value(DecimalValue{-big, 38, 4})};
  auto tokens = resultTokens(kTds74, cols, row);
  EXPECT_EQ(tokens[1].values[0].bytes, "abc");
  // The surrogate pair does not fit in 4 bytes after 'x' and is dropped whole.
  EXPECT_EQ(tokens[1].values[1].bytes, std::string("x\0", 2));
  const std::string& d = tokens[1].values[2].bytes;
  ASSERT_EQ(d.size(), 17u);
  EXPECT_EQ(d[0], 0);                                     // negative
  EXPECT_EQ(static_cast<std::uint8_t>(d[1 + 12]), 0x10);  // bit 100
}

TEST(TdsCodec, CharacterColumnsTravelWithTheirCollationAndItsCodePage) {
  // The default collation, Cyrillic_General_CI_AS (family 2) and Greek_CS_AS
  // (family 5): LCID, flags and sort id, then the value in the code page.
  struct Case {
    std::uint16_t collation;
    const char* bytes;
    const char* value;
    const char* encoded;
  };
  const Case cases[] = {
      {0, "\x09\x04\xD0\x00\x34", "Жé", "?\xE9"},
      {2 * 64, "\x19\x04\xD0\x00\x00", "Жé", "\xC6?"},
      {5 * 64 + 1, "\x08\x04\xC0\x00\x00", "Ωé", "\xD9?"},
  };
  for (const Case& c : cases) {
    TypeInfo type{SqlType::VarChar, 10, 0, 0, true, c.collation};
    std::string info;
    tds::ByteWriter w(info);
    tds::writeTypeInfo(w, type);
    EXPECT_EQ(info.substr(3), std::string(c.bytes, 5)) << c.collation;
    std::string value;
    tds::writeValue(value, type, Value(std::string(c.value)));
    EXPECT_EQ(value.substr(2), c.encoded) << c.collation;
  }
}

TEST(TdsCodec, UnpaddedCharAndBinaryColumnsKeepTheirTypeAndSendValuesAsStored) {
  std::vector<Column> cols = {col(SqlType::Char, 4, true), col(SqlType::Binary, 3, true),
                              col(SqlType::Char, 4, true), col(SqlType::Binary, 3, true)};
  cols[0].unpadded = cols[1].unpadded = true;
  std::vector<Value> row = {Value(std::string("ab")), Value(BytesValue{"\x01"}),
                            Value(std::string("ab")), Value(BytesValue{"\x01"})};
  for (std::uint32_t version : kVersions) {
    auto tokens = resultTokens(version, cols, row, 2);
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[0].columns.at(0).wireType, 0xAF);
    EXPECT_EQ(tokens[0].columns.at(1).wireType, 0xAD);
    for (std::size_t r = 1; r <= 2; ++r) {
      EXPECT_EQ(tokens[r].values.at(0).bytes, "ab");
      EXPECT_EQ(tokens[r].values.at(1).bytes, "\x01");
      EXPECT_EQ(tokens[r].values.at(2).bytes, "ab  ");
      EXPECT_EQ(tokens[r].values.at(3).bytes, std::string("\x01\0\0", 3));
    }
  }
}

TEST(TdsCodec, ValuesOfAnotherKindAreConvertedWithoutOverflow) {
  const __int128 huge = static_cast<__int128>(~static_cast<unsigned __int128>(0) >> 1);
  std::vector<Column> cols = {col(SqlType::Decimal, 9, true, 10, 2),
                              col(SqlType::Decimal, 9, true, 10, 2),
                              col(SqlType::Numeric, 17, true, 38, 4),
                              col(SqlType::Numeric, 17, true, 38, 0),
                              col(SqlType::VarChar, 20, true),
                              col(SqlType::Int, 4, false),
                              col(SqlType::Money, 8, true)};
  std::vector<Value> row = {Value(std::int64_t{42}),
                            Value(2.5),
                            Value(DecimalValue{huge / 10, 38, 0}),  // cannot take 4 more digits
                            Value(DecimalValue{-huge - 1, 38, 0}),  // the most negative value
                            Value(DecimalValue{-5, 10, 3}),
                            Value(),
                            Value(DecimalValue{12345, 10, 2})};
  auto t = resultTokens(kTds74, cols, row);
  EXPECT_EQ(t[1].values[0].bytes, std::string("\x01\x68\x10\0\0\0\0\0\0", 9));  // 42.00
  EXPECT_EQ(t[1].values[1].bytes, std::string("\x01\xFA\0\0\0\0\0\0\0", 9));    // 2.50
  EXPECT_EQ(t[1].values[2].bytes.size(), 17u);
  EXPECT_EQ(t[1].values[3].bytes[0], 0);           // negative
  EXPECT_EQ(t[1].values[3].bytes.back(), '\x80');  // 2^127
  EXPECT_EQ(t[1].values[4].bytes, "-0.005");
  EXPECT_TRUE(t[1].values[5].isNull);  // NBCROW can say NULL even for a NOT NULL column
  EXPECT_EQ(le(t[1].values[6].bytes.substr(4, 4)), 1234500);  // 123.45 in ten-thousandths
}

TEST(TdsCodec, ColumnEncoderWritesWhatWriteValueWritesForEveryTypeAndValueKind) {
  const std::vector<TypeInfo> types = {{SqlType::TinyInt, 1},
                                       {SqlType::SmallInt, 2},
                                       {SqlType::Int, 4},
                                       {SqlType::BigInt, 8},
                                       {SqlType::Bit, 1},
                                       {SqlType::Real, 4},
                                       {SqlType::Float, 8},
                                       {SqlType::Money, 8},
                                       {SqlType::SmallMoney, 4},
                                       {SqlType::DateTime, 8},
                                       {SqlType::SmallDateTime, 4},
                                       {SqlType::Decimal, 9, 12, 2},
                                       {SqlType::Char, 5},
                                       {SqlType::VarChar, 5},
                                       {SqlType::VarChar, 9000},
                                       {SqlType::Char, 20000},
                                       {SqlType::NVarChar, 10},
                                       {SqlType::VarBinary, 4},
                                       {SqlType::UniqueIdentifier, 16},
                                       {SqlType::Text, 0x7FFFFFFF}};
  GuidValue g;
  g.bytes[0] = 7;
  const std::vector<Value> values = {Value(),
                                     Value(std::int64_t{0}),
                                     Value(std::int64_t{-1}),
                                     Value(std::numeric_limits<std::int64_t>::min()),
                                     Value(std::int64_t{70000}),
                                     Value(-2.5),
                                     Value(1e300),
                                     Value(MoneyValue{0x100000002}),
                                     Value(MoneyValue{-12345}),
                                     Value(DateTimeValue{2, 300}),
                                     Value(DateTimeValue{-53690, 25919999}),
                                     Value(DecimalValue{-12345, 12, 2}),
                                     Value(std::string()),
                                     Value(std::string("abc")),
                                     Value(std::string("exactly5")),
                                     Value(std::string(9000, 'x')),
                                     Value(std::string("h\xC3\xA9llo")),  // not ASCII
                                     Value(std::string("42")),
                                     Value(BytesValue{"\x01\x02"}),
                                     Value(g),
                                     Value(DateTime2Value{730120, 5, 0})};
  std::string spare;
  for (bool nullable : {false, true}) {
    for (TypeInfo type : types) {
      type.nullable = nullable;
      const tds::ColumnEncoder encoder(type);
      for (std::size_t i = 0; i < values.size(); ++i) {
        std::string expected;
        tds::writeValue(expected, type, values[i]);
        tds::RowBytes out;
        encoder.write(out, values[i], spare);
        EXPECT_EQ(std::string(out.view()), expected)
            << "type " << static_cast<int>(type.type) << " length " << type.length
            << (nullable ? " null" : " not null") << ", value " << i;
      }
    }
  }
}

TEST(TdsCodec, RowsLongerThanOneWriteTravelWhole) {
  // Rows past the encoder's first buffer and past the 8 KiB it hands on at
  // once: ASCII text at the declared limit between fixed-length values.
  std::vector<Column> cols;
  std::vector<Value> row;
  for (int i = 0; i < 6; ++i) {
    cols.push_back(col(SqlType::VarChar, 8000, true));
    row.emplace_back(std::string(8000, static_cast<char>('a' + i)));
    cols.push_back(col(SqlType::Int, 4, i % 2 == 0));
    row.emplace_back(std::int64_t{i});
  }
  for (std::uint32_t version : {kTds71, kTds74}) {
    auto tokens = resultTokens(version, cols, row, 2);
    ASSERT_EQ(tokens.size(), 3u);
    for (int r = 1; r <= 2; ++r) {
      ASSERT_EQ(tokens[r].values.size(), cols.size());
      for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(tokens[r].values[2 * i].bytes, std::string(8000, static_cast<char>('a' + i)));
        EXPECT_EQ(le(tokens[r].values[2 * i + 1].bytes), i);
      }
    }
  }
}

TEST(TdsCodec, DoneAndMessageWidthsFollowTheVersion) {
  sqld::Message m;
  m.number = 50000;
  m.state = 3;
  m.severity = 16;
  m.text = "bad ü";
  m.procName = "p";
  m.line = 70000;
  for (std::uint32_t version : kVersions) {
    std::string payload = encode(version, [&](tds::TokenWriter& w) {
      w.message(m);
      sqld::Message info = m;
      info.severity = 10;
      w.message(info);
      w.done(tds::token::DoneInProc, tds::donestatus::More | tds::donestatus::Count, 0xC1,
             0x100000001ull);
    });
    auto t = decodeTokens(payload, version);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].type, 0xAA);
    EXPECT_EQ(t[1].type, 0xAB);
    EXPECT_EQ(t[0].number, 50000);
    EXPECT_EQ(t[0].state, 3);
    EXPECT_EQ(t[0].text, "bad ü");
    EXPECT_EQ(t[0].server, "SRV");
    EXPECT_EQ(t[0].proc, "p");
    EXPECT_EQ(t[0].line, version >= kTds72 ? 70000u : 70000u & 0xFFFF);
    EXPECT_EQ(t[2].type, 0xFF);
    EXPECT_EQ(t[2].status, 0x11);
    EXPECT_EQ(t[2].rowCount, version >= kTds72 ? 0x100000001ull : 0xFFFFFFFFull);
  }
}

TEST(TdsCodec, LoginAckEnvChangeReturnValueOrderAndStatus) {
  ReturnValue rv;
  rv.name = "@out";
  rv.ordinal = 2;
  rv.column = col(SqlType::NVarChar, 20, true);
  rv.value = Value(std::string("hé"));
  for (std::uint32_t version : kVersions) {
    std::string payload = encode(version, [&](tds::TokenWriter& w) {
      w.loginAck("Microsoft SQL Server", 0x0F0007D0);
      w.envChange(tds::envchange::PacketSize, "8192", "4096");
      w.envChangeBytes(tds::envchange::BeginTran, std::string("\x01\0\0\0\0\0\0\x02", 8), {});
      w.returnStatus(-6);
      w.returnValue(rv);
      w.order(std::vector<std::uint16_t>{2, 1});
    });
    auto t = decodeTokens(payload, version);
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[0].interface, 1);
    EXPECT_EQ(t[0].version, version);
    EXPECT_EQ(t[0].length, 1 + 4 + 1 + 2 * 20 + 4);
    EXPECT_EQ(t[0].progVersion, 0x0F0007D0u);
    EXPECT_EQ(t[1].newValue, "8192");
    EXPECT_EQ(t[1].oldValue, "4096");
    EXPECT_EQ(t[2].newValue, std::string("\x01\0\0\0\0\0\0\x02", 8));
    EXPECT_EQ(t[3].returnStatus, -6);
    EXPECT_EQ(t[4].paramName, "@out");
    EXPECT_EQ(t[4].ordinal, 2);
    EXPECT_EQ(t[4].status, 1);
    EXPECT_EQ(fromUtf16(t[4].values[0].bytes), "hé");
    EXPECT_EQ(t[5].order, (std::vector<std::uint16_t>{2, 1}));
  }
}

TEST(TdsCodec, LargeResultsStreamInPacketsOfTheNegotiatedSize) {
  MemoryTransport t;
  tds::PacketWriter pw(t, 512);
  pw.setSpid(0x1234);
  tds::TokenWriter w(pw, kTds74, "SRV");
  pw.begin(tds::PacketType::TabularResult);
  std::vector<Column> cols = {col(SqlType::VarChar, 1000, false)};
  w.colMetadata(cols);
  for (int i = 0; i < 50; ++i) w.row(std::vector<Value>{Value(std::string(1000, 'a'))});
  // Full packets left before the message ended.
  EXPECT_GT(t.sent.size(), 40u * 512);
  pw.finish();
  std::size_t packets = 0;
  for (std::size_t at = 0; at < t.sent.size(); ++packets) {
    std::size_t len = (static_cast<std::uint8_t>(t.sent[at + 2]) << 8) |
                      static_cast<std::uint8_t>(t.sent[at + 3]);
    bool last = at + len == t.sent.size();
    EXPECT_EQ(t.sent[at], 0x04);
    EXPECT_EQ(t.sent[at + 1], last ? 1 : 0);
    EXPECT_EQ(t.sent.substr(at + 4, 2), "\x12\x34");
    EXPECT_EQ(static_cast<std::uint8_t>(t.sent[at + 6]), static_cast<std::uint8_t>(packets + 1));
    if (!last) {
      EXPECT_EQ(len, 512u);
    }
    at += len;
  }
  EXPECT_GT(packets, 90u);
}

TEST(TdsCodec, CharsetConversionsSubstituteInsteadOfFailing) {
  EXPECT_EQ(tds::utf8ToCp1252("€ŠŸ ü ж"), "\x80\x8A\x9F \xFC ?");
  EXPECT_EQ(tds::cp1252ToUtf8("\x80\x81\xFF"), "€\xC2\x81ÿ");
  EXPECT_EQ(tds::utf16ToUtf8(tds::utf8ToUtf16("a😀ж")), "a😀ж");
  // Bad UTF-8 and a lone surrogate become U+FFFD.
  EXPECT_EQ(tds::utf16ToUtf8(tds::utf8ToUtf16("\xC3")), "\xEF\xBF\xBD");
  EXPECT_EQ(tds::utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(tds::utf16ToUtf8(tds::utf8ToUtf16("\xE0\x80\x80")), "\xEF\xBF\xBD");  // overlong
  // Double-byte code pages: one byte or two a character, '?' for one the
  // code page lacks; a lead byte cut from its trail byte reads as U+FFFD.
  EXPECT_EQ(utf8ToCodePage("aカｶ한", 932), "a\x83\x4A\xB6?");
  EXPECT_EQ(codePageToUtf8("a\x83\x4A\xB6\x83", 932), "aカｶ\xEF\xBF\xBD");
  EXPECT_EQ(codePageLength("aカｶ", 932), 4u);
  std::size_t length = 0;
  EXPECT_EQ(codePagePrefix("カタカナ", 932, 5, length), 6u);  // two characters, UTF-8 bytes
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(codePagePrefix("ab", 65001, 1, length), 1u);
  EXPECT_EQ(utf8WithinCodePage("中文한", 936), "中文?");
}

// ---- incoming messages ----

TEST(TdsCodec, MessageReaderJoinsPacketsAndRejectsBadHeaders) {
  auto packet = [](std::uint8_t type, std::uint8_t status, std::string body) {
    std::uint16_t len = static_cast<std::uint16_t>(body.size() + 8);
    return std::string{static_cast<char>(type),
                       static_cast<char>(status),
                       static_cast<char>(len >> 8),
                       static_cast<char>(len & 0xFF),
                       0,
                       0,
                       1,
                       0} +
           body;
  };
  {
    MemoryTransport t;
    t.input = packet(1, 0, "ab") + packet(1, 1, "cd") + packet(3, 3, "");
    t.readChunk = 3;
    tds::MessageReader r(t, 100);
    auto m = r.next();
    ASSERT_TRUE(m);
    EXPECT_EQ(std::string(m->payload.begin(), m->payload.end()), "abcd");
    auto ignored = r.next();
    ASSERT_TRUE(ignored);
    EXPECT_TRUE(ignored->ignore);
    EXPECT_FALSE(r.next());  // clean end between messages
  }
  const std::string bad[] = {
      std::string("\x01\x01\x00\x04\0\0\0\0", 8),  // length below the header
      packet(1, 0, "ab") + packet(3, 1, "cd"),     // type changes mid-message
      packet(1, 0, std::string(60, 'x')) + packet(1, 1, std::string(60, 'x')),  // over limit
      packet(1, 1, "abcdef").substr(0, 10),  // stream ends inside a packet
  };
  for (const std::string& input : bad) {
    MemoryTransport t;
    t.input = input;
    tds::MessageReader r(t, 100);
    EXPECT_THROW(r.next(), tds::ProtocolError);
  }
}

TEST(TdsCodec, PreLoginAnswersWithoutEncryptionAndMarsUnlessAsked) {
  auto pre = tds::parsePreLogin(std::span(
      reinterpret_cast<const std::uint8_t*>(buildPreLogin().data()), buildPreLogin().size()));
  EXPECT_EQ(pre.instance, "MSSQLServer");
  std::string r = tds::buildPreLoginResponse();
  auto parsed =
      tds::parsePreLogin(std::span(reinterpret_cast<const std::uint8_t*>(r.data()), r.size()));
  EXPECT_EQ(parsed.encryption, 0x02);
  EXPECT_FALSE(parsed.mars);
  // The same release LOGINACK, @@VERSION and SERVERPROPERTY name.
  EXPECT_EQ(parsed.clientVersion[0], kProductMajor);
  EXPECT_EQ(parsed.clientVersion[2] << 8 | parsed.clientVersion[3], kProductBuild);
  std::string withMars = tds::buildPreLoginResponse(0x02, true);
  EXPECT_TRUE(tds::parsePreLogin(std::span(reinterpret_cast<const std::uint8_t*>(withMars.data()),
                                           withMars.size()))
                  .mars);
}

std::span<const std::uint8_t> bytes(const std::string& s) {
  return std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

TEST(TdsCodec, EncryptionIsNegotiatedFromTheServerModeAndTheClientRequest) {
  using tds::Encryption;
  using tds::EncryptMode;
  namespace pe = tds::prelogin_encrypt;
  struct Case {
    EncryptMode mode;
    bool tls;
    std::uint8_t client;
    std::uint8_t reply;
    Encryption outcome;
  };
  const Case cases[] = {
      {EncryptMode::Off, false, pe::On, pe::NotSupported, Encryption::None},
      {EncryptMode::Required, false, pe::Off, pe::NotSupported, Encryption::None},
      {EncryptMode::Off, true, pe::NotSupported, pe::NotSupported, Encryption::None},
      {EncryptMode::Off, true, pe::Off, pe::Off, Encryption::LoginOnly},
      {EncryptMode::Off, true, pe::On, pe::On, Encryption::Everything},
      {EncryptMode::Off, true, pe::Required, pe::On, Encryption::Everything},
      {EncryptMode::On, true, pe::NotSupported, pe::NotSupported, Encryption::None},
      {EncryptMode::On, true, pe::Off, pe::On, Encryption::Everything},
      {EncryptMode::Required, true, pe::NotSupported, pe::Required, Encryption::Refuse},
      {EncryptMode::Required, true, pe::Off, pe::Required, Encryption::Everything},
      {EncryptMode::Required, true, pe::On, pe::Required, Encryption::Everything},
  };
  for (const Case& c : cases) {
    auto a = tds::negotiateEncryption(c.mode, c.tls, c.client);
    EXPECT_EQ(a.reply, c.reply) << tds::encryptModeName(c.mode) << " " << int(c.client);
    EXPECT_EQ(a.outcome, c.outcome) << tds::encryptModeName(c.mode) << " " << int(c.client);
    std::string r = tds::buildPreLoginResponse(a.reply);
    EXPECT_EQ(tds::parsePreLogin(bytes(r)).encryption, c.reply);
  }
}

TEST(TdsCodec, Login7YieldsCredentialsAndFlags) {
  LoginSpec spec;
  spec.user = "Anna";
  spec.password = "pä55";
  spec.database = "shop";
  spec.odbc = true;
  std::string msg = buildLogin7(spec);
  tds::Login7 l = tds::parseLogin7(bytes(msg));
  EXPECT_EQ(l.userName, "Anna");
  EXPECT_EQ(l.password, "pä55");
  EXPECT_EQ(l.database, "shop");
  EXPECT_EQ(l.appName, "tds-test");
  EXPECT_TRUE(l.odbc());
  EXPECT_FALSE(l.integratedSecurity());
  EXPECT_EQ(l.tdsVersion, 0x74000004u);
  EXPECT_EQ(tds::negotiateVersion(0x74000004), kTds74);
  EXPECT_EQ(tds::negotiateVersion(0x75000000), kTds74);
  EXPECT_EQ(tds::negotiateVersion(0x730A0003), tds::kTds73A);
  EXPECT_EQ(tds::negotiateVersion(0x71000001), kTds71);
  EXPECT_EQ(tds::negotiateVersion(0x70000000), std::nullopt);
  // A string pointing past the message, and a length field that lies.
  std::string outside = msg;
  outside[36 + 4] = '\xF0';
  outside[36 + 5] = '\x7F';
  EXPECT_THROW(tds::parseLogin7(bytes(outside)), tds::ProtocolError);
  std::string lying = msg;
  lying[1] = '\x40';
  EXPECT_THROW(tds::parseLogin7(bytes(lying)), tds::ProtocolError);
  EXPECT_THROW(tds::parseLogin7(bytes(msg.substr(0, 60))), tds::ProtocolError);
}

// An RPC payload built by hand, the way FreeTDS lays it out.
struct RpcBuilder {
  std::string s;
  explicit RpcBuilder(bool headers) {
    if (headers) s = allHeaders(7);
  }
  RpcBuilder& byName(const std::string& name, std::uint16_t flags = 0) {
    std::string n = utf16(name);
    s += {static_cast<char>(n.size() / 2), 0};
    s += n;
    s += {static_cast<char>(flags), 0};
    return *this;
  }
  RpcBuilder& byId(std::uint16_t id) {
    s += {'\xFF', '\xFF', static_cast<char>(id), 0, 0, 0};
    return *this;
  }
  RpcBuilder& param(const std::string& name, std::uint8_t status, const std::string& typeAndValue) {
    std::string n = utf16(name);
    s += static_cast<char>(n.size() / 2);
    s += n;
    s += static_cast<char>(status);
    s += typeAndValue;
    return *this;
  }
};

TEST(TdsCodec, RpcParametersOfEveryClientTypeDecode) {
  const std::string coll("\x09\x04\xD0\x00\x34", 5);
  std::string nvc = std::string("\xE7\x40\x1F", 3) + coll + std::string("\x04\0", 2) + utf16("hé");
  std::string vc = std::string("\xA7\x40\x1F", 3) + coll + std::string("\x02\0\xE9\x80", 4);
  std::string plp = std::string("\xE7\xFF\xFF", 3) + coll + std::string("\x04\0\0\0\0\0\0\0", 8) +
                    std::string("\x02\0\0\0", 4) + utf16("a") + std::string("\x02\0\0\0", 4) +
                    utf16("b") + std::string(4, '\0');
  std::string dt2 = std::string("\x2A\x07\x08", 3) + std::string("\x80\x96\x98\x00\x00", 5) +
                    std::string("\x5C\x95\x0A", 3);  // 1 s after midnight, 0001-01-01 + 693596
  RpcBuilder b(true);
  b.byId(10)
      .param("@stmt", 0, nvc)
      .param("@i", 0, std::string("\x26\x04\x04\xFF\xFF\xFF\xFF", 7))
      .param("@big", 1, std::string("\x26\x08\x00", 3))
      .param("@f", 0, std::string("\x6D\x08\x08\0\0\0\0\0\0\xF8\x3F", 11))
      .param("@d", 0, std::string("\x6A\x09\x0A\x02\x09\x00\x39\x30\0\0\0\0\0\0", 14))
      .param("@m", 0, std::string("\x6E\x08\x08\0\0\0\0\x10\x27\0\0", 11))
      .param("@v", 0, vc)
      .param("@p", 0, plp)
      .param("@t", 0, dt2)
      .param("@g", 2, std::string("\x24\x10\x00", 3))
      .param("@b", 0, std::string("\x68\x01\x01\x01", 4));
  auto calls = tds::parseRpc(bytes(b.s), kTds74);
  ASSERT_EQ(calls.size(), 1u);
  const RpcRequest& r = calls[0];
  EXPECT_EQ(r.procName, "sp_executesql");
  ASSERT_EQ(r.params.size(), 11u);
  EXPECT_EQ(std::get<std::string>(r.params[0].value.data()), "hé");
  EXPECT_EQ(r.params[0].type.type, SqlType::NVarChar);
  EXPECT_EQ(std::get<std::int64_t>(r.params[1].value.data()), -1);
  EXPECT_TRUE(r.params[2].value.isNull());
  EXPECT_TRUE(r.params[2].output);
  EXPECT_EQ(r.params[2].type.type, SqlType::BigInt);
  EXPECT_EQ(std::get<double>(r.params[3].value.data()), 1.5);
  EXPECT_EQ(std::get<DecimalValue>(r.params[4].value.data()).unscaled, -12345);
  EXPECT_EQ(r.params[4].type.scale, 2);
  EXPECT_EQ(std::get<MoneyValue>(r.params[5].value.data()).tenThousandths, 10000);
  EXPECT_EQ(std::get<std::string>(r.params[6].value.data()), "é€");
  EXPECT_EQ(std::get<std::string>(r.params[7].value.data()), "ab");
  auto dt = std::get<DateTime2Value>(r.params[8].value.data());
  EXPECT_EQ(dt.days, 693596);
  EXPECT_EQ(dt.units, 10000000);
  EXPECT_EQ(r.params[8].type.type, SqlType::DateTime2);
  EXPECT_EQ(r.params[8].type.scale, 7);
  EXPECT_TRUE(r.params[9].byDefault);
  EXPECT_EQ(std::get<std::int64_t>(r.params[10].value.data()), 1);
}

// A varchar parameter's bytes are characters of the code page its
// collation names, as the client encoded them.
TEST(TdsCodec, VarcharParametersAreReadInTheirCollationsCodePage) {
  const struct {
    std::string collation;
    std::string bytes;
    std::string text;
  } cases[] = {
      {std::string("\x09\x04\xD0\x00\x34", 5), "\xE9\x80", "é€"},       // sort order 52
      {std::string("\x19\x04\xD0\x00\x00", 5), "\xC6", "Ж"},            // Cyrillic
      {std::string("\x11\x04\xD0\x00\x00", 5), "\x83\x4A\xB6", "カｶ"},  // Japanese
      {std::string("\x11\x04\xD4\x30\x00", 5), "\x8A\xBF", "漢"},       // Bushu-Kakusu
      {std::string("\x12\x04\xD0\x00\x00", 5), "\xC7\xD1", "한"},       // Korean
      {std::string("\x09\x04\xD0\x24\x00", 5), "\xD0\x96", "Ж"},        // UTF-8
      {std::string(5, '\0'), "\xE9", "é"},                              // no collation at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string length(1, static_cast<char>(c.bytes.size()));
    RpcBuilder b(true);
    b.byName("p").param("@v", 0,
                        std::string("\xA7\x40\x1F", 3) + c.collation + length + '\0' + c.bytes);
    auto calls = tds::parseRpc(bytes(b.s), kTds74);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(std::get<std::string>(calls[0].params.at(0).value.data()), c.text);
  }
}

TEST(TdsCodec, SqlVariantParametersCarryTheirBaseTypeAndValue) {
  const std::string coll("\x09\x04\xD0\x00\x34", 5);
  auto variant = [](const std::string& body) {
    std::string v("\x62\x10\x1F\0\0", 5);  // sql_variant, max length 8016
    std::uint32_t n = static_cast<std::uint32_t>(body.size());
    for (int i = 0; i < 4; ++i) v += static_cast<char>((n >> (8 * i)) & 0xFF);
    return v + body;
  };
  RpcBuilder b(true);
  b.byName("p")
      .param("@i", 0, variant(std::string("\x38\x00\x2A\0\0\0", 6)))
      .param("@s", 0,
             variant(std::string("\xE7\x07", 2) + coll + std::string("\x10\x00", 2) + utf16("hi")))
      .param("@d", 0, variant(std::string("\x6C\x02\x05\x02\x01\x39\x30\0\0", 9)))
      .param("@n", 0, std::string("\x62\x10\x1F\0\0\0\0\0\0", 9))
      .param("@after", 0, std::string("\x26\x04\x04\x07\0\0\0", 7));
  auto calls = tds::parseRpc(bytes(b.s), kTds74);
  ASSERT_EQ(calls.size(), 1u);
  const auto& p = calls[0].params;
  ASSERT_EQ(p.size(), 5u);
  EXPECT_EQ(p[0].type.type, SqlType::Int);
  EXPECT_EQ(std::get<std::int64_t>(p[0].value.data()), 42);
  EXPECT_EQ(p[1].type.type, SqlType::NVarChar);
  EXPECT_EQ(std::get<std::string>(p[1].value.data()), "hi");
  EXPECT_EQ(p[2].type.type, SqlType::Numeric);
  EXPECT_EQ(p[2].type.scale, 2);
  EXPECT_EQ(std::get<DecimalValue>(p[2].value.data()).unscaled, 12345);
  EXPECT_TRUE(p[3].value.isNull());
  EXPECT_EQ(std::get<std::int64_t>(p[4].value.data()), 7);
  // A base type that cannot be a sql_variant is a malformed request.
  RpcBuilder bad(true);
  bad.byName("p").param("@x", 0, variant(std::string("\x23\x00xx", 4)));
  EXPECT_THROW(tds::parseRpc(bytes(bad.s), kTds74), tds::ProtocolError);
}

// A sql_variant column's values each carry their own base type; what the
// server writes reads back as the same type and value.
TEST(TdsCodec, SqlVariantValuesTravelWithTheirBaseType) {
  TypeInfo column{SqlType::Variant, 8016, 0, 0, true};
  std::string info;
  tds::ByteWriter w(info);
  tds::writeTypeInfo(w, column);
  EXPECT_EQ(info, std::string("\x62\x50\x1F\0\0", 5));  // sql_variant, max length 8016
  struct Case {
    TypeInfo held;
    Value value;
  };
  DecimalValue dec;
  dec.unscaled = -12345;
  dec.precision = 7;
  dec.scale = 2;
  DateTime2Value d2;
  d2.days = 730000;
  d2.units = 123456789;
  const Case cases[] = {
      {{SqlType::Int, 4, 0, 0, true}, Value(std::int64_t{-7})},
      {{SqlType::BigInt, 8, 0, 0, true}, Value(std::int64_t{1} << 40)},
      {{SqlType::Bit, 1, 0, 0, true}, Value(std::int64_t{1})},
      {{SqlType::Float, 8, 0, 0, true}, Value(2.25)},
      {{SqlType::Money, 8, 19, 4, true}, Value(MoneyValue{25000})},
      {{SqlType::DateTime, 8, 0, 0, true}, Value(DateTimeValue{36923, 4321})},
      {{SqlType::Numeric, 5, 7, 2, true}, Value(dec)},
      {{SqlType::VarChar, 10, 0, 0, true}, Value(std::string("abc"))},
      {{SqlType::NVarChar, 20, 0, 0, true}, Value(std::string("wide"))},
      {{SqlType::VarBinary, 4, 0, 0, true}, Value(BytesValue{std::string("\x01\x02", 2)})},
      {{SqlType::Date, 3, 0, 0, true}, Value(DateTime2Value{737000, 0, 0})},
      {{SqlType::DateTime2, 7, 0, 3, true}, Value(d2)},
  };
  for (const Case& c : cases) {
    Value v = c.value;
    v.variantType = c.held;
    std::string row;
    tds::writeValue(row, column, v);
    tds::ByteReader in(reinterpret_cast<const std::uint8_t*>(row.data()), row.size());
    TypeInfo got;
    Value back = tds::readVariantValue(in, got);
    EXPECT_TRUE(in.atEnd()) << static_cast<int>(c.held.type);
    EXPECT_EQ(got.type, c.held.type) << static_cast<int>(c.held.type);
    EXPECT_EQ(back.data().index(), c.value.data().index()) << static_cast<int>(c.held.type);
    if (back.data().index() == c.value.data().index() && c.held.type != SqlType::DateTime2) {
      EXPECT_TRUE(back.data() == c.value.data()) << static_cast<int>(c.held.type);
    }
  }
  // NULL is a zero length.
  std::string row;
  tds::writeValue(row, column, Value());
  EXPECT_EQ(row, std::string(4, '\0'));
}

TEST(TdsCodec, NewerDateTypesKeepTheirPrecisionInLocalTime) {
  // datetime2(7) 23:59:59.9999999 keeps its last digit; datetimeoffset
  // 2000-01-01 23:30 UTC at +01:00 is 2000-01-02 00:30 local.
  const std::string midnightish("\xFF\xBF\x69\x2A\xC9", 5);  // 863999999999 * 100 ns
  RpcBuilder b(true);
  b.byName("p")
      .param("@a", 0, std::string("\x2A\x07\x08", 3) + midnightish + std::string("\x5C\x95\x0A", 3))
      .param("@b", 0,
             std::string("\x2B\x00\x08", 3) + std::string("\x78\x4A\x01", 3) +  // 84600 s
                 std::string("\x07\x24\x0B", 3) + std::string("\x3C\x00", 2));  // +60 min
  auto calls = tds::parseRpc(bytes(b.s), kTds74);
  auto a = std::get<DateTime2Value>(calls[0].params[0].value.data());
  EXPECT_EQ(a.days, 693596);  // 1900-01-02
  EXPECT_EQ(a.units, 863999999999);
  auto d = std::get<DateTime2Value>(calls[0].params[1].value.data());
  EXPECT_EQ(d.days, 730120);  // 2000-01-02
  EXPECT_EQ(d.units, 30LL * 60 * 10000000);
  EXPECT_EQ(d.offsetMinutes, 60);
  EXPECT_EQ(calls[0].params[1].type.type, SqlType::DateTimeOffset);
}

TEST(TdsCodec, RpcBatchesNamesFlagsAndTransactionRequests) {
  RpcBuilder b(false);
  b.byName("#echo", 0x01).param("", 0, std::string("\x38\x05\0\0\0", 5));
  b.s += '\x80';
  b.byName("dbo.sp_other");
  auto calls = tds::parseRpc(bytes(b.s), kTds71);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].procName, "#echo");
  EXPECT_TRUE(calls[0].recompile);
  EXPECT_EQ(std::get<std::int64_t>(calls[0].params[0].value.data()), 5);
  EXPECT_EQ(calls[1].procName, "dbo.sp_other");

  std::string tm = allHeaders(9) + std::string("\x07\0\0\x01\x02\0", 6);
  auto req = tds::parseTransactionManager(bytes(tm));
  EXPECT_EQ(req.kind, tds::TransactionManagerRequest::Kind::Commit);
  // A name's length byte counts bytes: 4 for "tx".
  auto named =
      tds::parseTransactionManager(bytes(allHeaders(0) + std::string("\x05\0\x02\x04t\0x\0", 8)));
  EXPECT_EQ(named.kind, tds::TransactionManagerRequest::Kind::Begin);
  EXPECT_EQ(named.name, "tx");
  EXPECT_TRUE(req.beginAfter);
  EXPECT_EQ(req.headers.transactionDescriptor, 9u);
}

// A table-valued parameter as python-tds and the Microsoft drivers write it:
// type name, column metadata (here an identity column left to its default,
// an int and an nvarchar(30)), an ordering hint, rows, end tokens.
std::string tvpParam(const std::string& dbName = "", std::uint8_t rowToken = 0x01,
                     std::uint16_t orderColumn = 2) {
  const std::string coll("\x09\x04\xD0\x00\x34", 5);
  auto bv = [](const std::string& t) { return static_cast<char>(t.size()) + utf16(t); };
  std::string v("\xF3", 1);
  v += bv(dbName) + bv("dbo") + bv("Cats");
  v += std::string("\x03\x00", 2);
  v += std::string("\0\0\0\0\x10\x02\x26\x04", 8) + bv("");  // identity, fDefault
  v += std::string("\0\0\0\0\x01\x00\x26\x04", 8) + bv("");
  v += std::string("\0\0\0\0\x01\x00\xE7\x3C\x00", 9) + coll + bv("");
  v += std::string("\x10\x01\x00", 3) + static_cast<char>(orderColumn) + std::string("\0\x01", 2);
  v += '\0';
  v += static_cast<char>(rowToken) + std::string("\x04\x07\0\0\0\x04\0", 7) + utf16("hé");
  v += std::string("\x01\x00\xFF\xFF", 4);  // NULL int, NULL nvarchar
  v += '\0';
  return v;
}

TEST(TdsCodec, TableValuedAndXmlParametersDecode) {
  std::string nullTable("\xF3\x00\x03\x64\x00\x62\x00\x6F\x00\x01\x54\x00\xFF\xFF\x00\x00", 16);
  std::string xml = std::string("\xF1\x01\x01", 3) + utf16("d") + std::string("\x01", 1) +
                    utf16("o") + std::string("\x01\x00", 2) + utf16("c") +
                    std::string("\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x0A\0\0\0\xFF\xFE", 14) +
                    utf16("<a/>") + std::string(4, '\0');
  RpcBuilder b(true);
  b.byName("p")
      .param("@t", 0, tvpParam())
      .param("@n", 0, nullTable)
      .param("@x", 0, xml)
      .param("@after", 0, std::string("\x26\x04\x04\x05\0\0\0", 7));
  auto calls = tds::parseRpc(bytes(b.s), kTds74);
  ASSERT_EQ(calls.size(), 1u);
  const auto& p = calls[0].params;
  ASSERT_EQ(p.size(), 4u);
  ASSERT_TRUE(p[0].table);
  const TableParam& t = *p[0].table;
  EXPECT_EQ(t.typeSchema, "dbo");
  EXPECT_EQ(t.typeName, "Cats");
  EXPECT_FALSE(t.isNull);
  ASSERT_EQ(t.columns.size(), 3u);
  EXPECT_EQ(t.columns[2].type, SqlType::NVarChar);
  EXPECT_EQ(t.defaulted, (std::vector<bool>{true, false, false}));
  ASSERT_EQ(t.rows.size(), 2u);
  EXPECT_TRUE(t.rows[0][0].isNull());
  EXPECT_EQ(std::get<std::int64_t>(t.rows[0][1].data()), 7);
  EXPECT_EQ(std::get<std::string>(t.rows[0][2].data()), "hé");
  EXPECT_TRUE(t.rows[1][1].isNull() && t.rows[1][2].isNull());
  ASSERT_TRUE(p[1].table);
  EXPECT_TRUE(p[1].table->isNull);
  EXPECT_TRUE(p[1].table->rows.empty());
  EXPECT_FALSE(p[2].table);
  EXPECT_EQ(p[2].type.type, SqlType::Xml);
  EXPECT_EQ(std::get<std::string>(p[2].value.data()), "<a/>");
  EXPECT_EQ(std::get<std::int64_t>(p[3].value.data()), 5);

  // Malformed: a database in the type name, a bad row token, an ordering
  // hint naming no column, a table as an output parameter, truncation.
  const std::string bad[] = {tvpParam("db"), tvpParam("", 0x02), tvpParam("", 0x01, 4),
                             tvpParam("", 0x01, 0)};
  for (const std::string& v : bad) {
    RpcBuilder r(true);
    r.byName("p").param("@t", 0, v);
    EXPECT_THROW(tds::parseRpc(bytes(r.s), kTds74), tds::ProtocolError);
  }
  RpcBuilder out(true);
  out.byName("p").param("@t", 1, tvpParam());
  EXPECT_THROW(tds::parseRpc(bytes(out.s), kTds74), tds::ProtocolError);
  RpcBuilder whole(true);
  whole.byName("p").param("@t", 0, tvpParam());
  std::mt19937 rng(7);
  // Every cut inside the parameter leaves it incomplete.
  const std::size_t start = whole.s.size() - tvpParam().size() - 2 - utf16("@t").size();
  for (std::size_t cut = start + 1; cut < whole.s.size(); ++cut)
    EXPECT_THROW(tds::parseRpc(bytes(whole.s.substr(0, cut)), kTds74), tds::ProtocolError) << cut;
  for (int i = 0; i < 2000; ++i) {
    std::string m = whole.s;
    for (int k = 0; k < 3; ++k) m[rng() % m.size()] = static_cast<char>(rng());
    try {
      tds::parseRpc(bytes(m), kTds74);
    } catch (const tds::ProtocolError&) {
    }
  }
}

TEST(TdsCodec, MalformedRequestsAreRejectedNeverCrash) {
  RpcBuilder good(true);
  good.byName("sp_echo")
      .param("@a", 0, std::string("\x26\x04\x04\x01\0\0\0", 7))
      .param("@s", 0, std::string("\xE7\x10\x00\x09\x04\xD0\x00\x34\x02\x00\x41\x00", 12));
  const std::string bad[] = {
      good.s.substr(0, good.s.size() - 1),                    // truncated
      std::string("\x16\0\0\0", 4),                           // headers longer than message
      allHeaders() + std::string("\xFF\xFF\x63\x00\0\0", 6),  // unknown procedure id
      allHeaders() + std::string("\x01\0a\0\0\0\x00\x00\x26\x03\x00", 11),  // int of 3 bytes
      allHeaders() + std::string("\x01\0a\0\0\0\x00\x00\x6A\x11\x27\x00\x00", 13),  // precision 39
  };
  for (const std::string& s : bad) {
    EXPECT_THROW(tds::parseRpc(bytes(s), kTds74), tds::ProtocolError);
  }
  // Random corruption of good messages: a clean rejection or a parse, nothing else.
  std::mt19937 rng(42);
  std::string login = buildLogin7(LoginSpec{});
  for (int i = 0; i < 3000; ++i) {
    std::string rpc = good.s, l = login, pre = buildPreLogin();
    for (std::string* s : {&rpc, &l, &pre}) {
      for (int k = 0; k < 3; ++k) (*s)[rng() % s->size()] = static_cast<char>(rng());
      s->resize(rng() % (s->size() + 1));
    }
    try {
      tds::parseRpc(bytes(rpc), kTds74);
    } catch (const tds::ProtocolError&) {
    }
    try {
      tds::parseLogin7(bytes(l));
    } catch (const tds::ProtocolError&) {
    }
    try {
      tds::parsePreLogin(bytes(pre));
    } catch (const tds::ProtocolError&) {
    }
    try {
      tds::parseSqlBatch(bytes(rpc), kTds74);
    } catch (const tds::ProtocolError&) {
    }
  }
}

// A bulk-load message as bulk-copy clients write it: an int NOT NULL, a
// nullable varchar(10) and a text column (with its table name), two rows.
std::string bulkMessage(bool withDone) {
  std::string m;
  auto u16 = [&](std::uint16_t v) {
    m += static_cast<char>(v & 0xFF), m += static_cast<char>(v >> 8);
  };
  auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  m += '\x81';
  u16(3);
  u32(0), u16(0x00), m += '\x38', m += '\x01', m += utf16("a");
  u32(0), u16(0x01), m += '\xA7', u16(10), m += std::string("\x09\x04\xD0\x00\x34", 5);
  m += '\x01', m += utf16("b");
  u32(0), u16(0x01), m += '\x23', u32(0x7FFFFFFF), m += std::string("\x09\x04\xD0\x00\x34", 5);
  u16(1), m += utf16("t"), m += '\x01', m += utf16("c");
  // Row 1: 7, 'hi', text 'long' with a text pointer and timestamp.
  m += '\xD1', u32(7), u16(2), m += "hi", m += '\x10', m += std::string(24, '\xFF'), u32(4),
      m += "long";
  // Row 2: -1, NULL, NULL text (no text pointer).
  m += '\xD1', u32(0xFFFFFFFF), u16(0xFFFF), m += '\x00';
  if (withDone) m += '\xFD', m += std::string(12, '\0');
  return m;
}

TEST(TdsCodec, BulkLoadRowsDecodeAndMalformedOnesAreRejectedBeforeAnyRow) {
  for (bool withDone : {false, true}) {
    std::string m = bulkMessage(withDone);
    tds::BulkLoadReader r(std::span(reinterpret_cast<const std::uint8_t*>(m.data()), m.size()),
                          kTds74);
    ASSERT_EQ(r.columns().size(), 3u);
    EXPECT_EQ(r.columns()[1].name, "b");
    EXPECT_FALSE(r.columns()[0].type.nullable);
    EXPECT_EQ(r.columns()[2].type.type, SqlType::Text);
    EXPECT_EQ(r.rowCount(), 2u);
    std::vector<Value> row;
    ASSERT_TRUE(r.next(row));
    EXPECT_EQ(std::get<std::int64_t>(row[0].data()), 7);
    EXPECT_EQ(std::get<std::string>(row[1].data()), "hi");
    EXPECT_EQ(std::get<std::string>(row[2].data()), "long");
    ASSERT_TRUE(r.next(row));
    EXPECT_EQ(std::get<std::int64_t>(row[0].data()), -1);
    EXPECT_TRUE(row[1].isNull());
    EXPECT_TRUE(row[2].isNull());
    EXPECT_FALSE(r.next(row));
  }
  std::string good = bulkMessage(true);
  // Cut anywhere inside, or followed by more after DONE: refused up front.
  for (std::size_t cut = 1; cut + 13 < good.size(); cut += 3) {
    std::string bad = good.substr(0, cut);
    EXPECT_THROW(
        tds::BulkLoadReader(
            std::span(reinterpret_cast<const std::uint8_t*>(bad.data()), bad.size()), kTds74),
        tds::ProtocolError)
        << cut;
  }
  std::string trailing = good + "x";
  EXPECT_THROW(tds::BulkLoadReader(std::span(reinterpret_cast<const std::uint8_t*>(trailing.data()),
                                             trailing.size()),
                                   kTds74),
               tds::ProtocolError);
  // Text is read in the code page of the column it is for, when the
  // engine names one, whatever collation the client sent.
  std::string m = bulkMessage(false);
  const std::size_t hi = m.find("hi");
  m.replace(hi, 2, "\x83\x4A");
  for (int page : {0, 932}) {
    tds::BulkLoadReader r(std::span(reinterpret_cast<const std::uint8_t*>(m.data()), m.size()),
                          kTds74);
    if (page) r.readTextAs(1, page);
    std::vector<Value> row;
    ASSERT_TRUE(r.next(row));
    EXPECT_EQ(std::get<std::string>(row[1].data()), page ? "カ" : "ƒJ");
  }
  std::string text = std::string("\x05\0\0\0abcdefg", 11);
  EXPECT_EQ(tds::parseBulkText(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), 11)),
            "abcde");
}

}  // namespace
}  // namespace tessel::sqld::test
