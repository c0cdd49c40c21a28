// The server type table's checks and the literals of parameter values: what
// reaches the statement text is exactly the value, or the value is refused.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "framework/decimal.h"
#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "framework/params.h"
#include "values/literals.h"
#include "values/server_types.h"
#include "values/text_encoding.h"

namespace tessel {
namespace {

using values::ColumnShape;

std::unique_ptr<TParam> Typed(TFieldType type, const Variant& value) {
  auto param = std::make_unique<TParam>();
  param->SetName("p");
  param->SetDataType(type);
  param->SetValue(value);
  return param;
}

struct LiteralCase {
  TFieldType type;
  Variant value;
  std::string literal;
};

TEST(ValueLiterals, EachTypeWritesTheExactValue) {
  const std::string zero_byte("a\0b", 3);
  const std::vector<LiteralCase> cases = {
      {ftString, Variant("O'Brien"), "'O''Brien'"},
      {ftString, Variant("Zürich"), "N'Zürich'"},
      {ftWideString, Variant("Ωmega 中文 ✓ 😀"), "N'Ωmega 中文 ✓ 😀'"},
      {ftMemo, Variant("e\xCC\x81"), "N'e\xCC\x81'"},
      {ftBlob, Variant(zero_byte), "0x610062"},
      {ftBlob, Variant(std::string("\x80\x9F\xFF", 3)), "0x809FFF"},
      {ftVarBytes, Variant(TBytes{0x00, 0x80}), "0x0080"},
      {ftFloat, Variant(0.1 + 0.2), "0.30000000000000004"},
      {ftFloat, Variant(-1e-300), "-1e-300"},
      {ftLargeint, Variant(static_cast<long long>(INT64_MIN)), "-9223372036854775808"},
      {ftCurrency, Variant(Currency::FromString("922337203685477.5807")), "922337203685477.5807"},
      {ftBCD, Variant("1234567890.0123456789"), "1234567890.0123456789"},
      {ftBCD, Variant("-99999999999999999999999999999999999999"),
       "-99999999999999999999999999999999999999"},
      {ftDateTime, VarFromDateTime(EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 7, 997)),
       "'20240229 13:45:07.997'"},
      {ftDate, VarFromDateTime(EncodeDate(1, 1, 1)), "'00010101'"},
      {ftTime, VarFromDateTime(EncodeTime(23, 59, 59, 999)), "'23:59:59.999'"},
      {ftBoolean, Variant(true), "1"},
      {ftInteger, Variant(-2147483647 - 1), "-2147483648"},
      {ftString, Null(), "null"},
  };
  for (const LiteralCase& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type) + std::string(" ") + c.literal);
    EXPECT_EQ(values::SqlLiteral(*Typed(c.type, c.value)), c.literal);
  }
}

// Hostile text through every data type: it is either a quoted literal whose
// quotes are all doubled, or refused; never written as it stands.
TEST(ValueLiterals, NoTypeWritesTextRaw) {
  const std::string hostile = "''; DELETE FROM victims; --' OR 1=1";
  for (int t = ftUnknown; t <= ftLargeint; ++t) {
    const auto type = static_cast<TFieldType>(t);
    SCOPED_TRACE(FieldTypeName(type));
    std::string literal;
    try {
      literal = values::SqlLiteral(*Typed(type, Variant(hostile)));
    } catch (const EDatabaseError& e) {
      continue;  // refused, naming the parameter
    } catch (const EConvertError&) {
      continue;  // the value is not one of the type
    } catch (const EVariantError&) {
      continue;
    }
    if (literal.rfind("0x", 0) == 0) {
      EXPECT_EQ(literal.find_first_not_of("0123456789ABCDEF", 2), std::string::npos);
      continue;
    }
    const std::size_t open = literal.rfind("N'", 0) == 0 ? 1 : 0;
    ASSERT_EQ(literal[open], '\'') << literal;
    ASSERT_EQ(literal.back(), '\'') << literal;
    const std::string inner = literal.substr(open + 1, literal.size() - open - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
      if (inner[i] != '\'') continue;
      ASSERT_LT(i + 1, inner.size()) << literal;
      ASSERT_EQ(inner[i + 1], '\'') << literal;
      ++i;
    }
  }
}

TEST(ValueLiterals, RefusesWhatHasNoExactLiteral) {
  std::vector<std::unique_ptr<TParam>> refused;
  refused.push_back(Typed(ftString, Variant(std::string("a\0b", 3))));
  refused.push_back(Typed(ftString, Variant(std::string("\xC0\x80"))));
  refused.push_back(Typed(ftFloat, Variant(std::numeric_limits<double>::infinity())));
  for (std::size_t i = 0; i < refused.size(); ++i) {
    SCOPED_TRACE(i);
    try {
      values::SqlLiteral(*refused[i]);
      ADD_FAILURE() << "accepted";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find("'p'"), std::string::npos) << e.Message();
    }
  }
}

struct TextCase {
  std::string text;
  int code_page;  // 0: a Unicode column
  values::TextFault kind;
  std::string code_point;
};

TEST(TextEncoding, FindsInvalidUtf8AndCharactersTheCodePageLacks) {
  const std::vector<TextCase> cases = {
      {"plain", 1252, values::TextFault::None, ""},
      {"café €uro ‰ Ÿ", 1252, values::TextFault::None, ""},
      {"Ωmega", 1252, values::TextFault::NotInCodePage, "U+03A9"},
      {"Ωmega", 0, values::TextFault::None, ""},
      {"x😀", 1252, values::TextFault::NotInCodePage, "U+1F600"},
      {"\xC2\x81", 1252, values::TextFault::NotInCodePage, "U+0081"},
      {"Привет, мир №1", 1251, values::TextFault::None, ""},
      {"Привет é", 1251, values::TextFault::NotInCodePage, "U+00E9"},
      {"ЖΩ", 1251, values::TextFault::NotInCodePage, "U+03A9"},
      {"Ωμέγα", 1253, values::TextFault::None, ""},
      {"Ωж", 1253, values::TextFault::NotInCodePage, "U+0436"},
      {"Łódź", 1250, values::TextFault::None, ""},
      {"日本 😀", 65001, values::TextFault::None, ""},
      {"日本ｶﾀ", 932, values::TextFault::None, ""},
      {"日本 한", 932, values::TextFault::NotInCodePage, "U+D55C"},
      {"日本 한", 437, values::TextFault::None, ""},            // no table: left to the server
      {"\xC0\x80", 0, values::TextFault::NotUtf8, ""},          // overlong
      {"\xED\xA0\x80", 0, values::TextFault::NotUtf8, ""},      // surrogate
      {"ab\x80", 0, values::TextFault::NotUtf8, ""},            // stray continuation
      {"\xE4\xB8", 0, values::TextFault::NotUtf8, ""},          // cut short
      {"\xF4\x90\x80\x80", 0, values::TextFault::NotUtf8, ""},  // past U+10FFFF
      {"Ж\x80", 1251, values::TextFault::NotUtf8, ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.text + " in " + std::to_string(c.code_page));
    const values::TextProblem problem = values::FindTextProblem(c.text, c.code_page);
    EXPECT_EQ(problem.Kind, c.kind);
    EXPECT_EQ(problem.CodePoint, c.code_point);
  }
  EXPECT_EQ(values::CodePointCount("a€😀"), 3u);
}

// How long a text is as a column counts it: UTF-16 code units in a Unicode
// column, bytes in the code page otherwise.
TEST(TextEncoding, ColumnLengthCountsAsTheColumnDoes) {
  const struct {
    std::string text;
    int code_page;
    std::size_t length;
  } cases[] = {
      {"", 0, 0},         {"abc", 0, 3},        {"Жé€", 0, 3},       {"a😀", 0, 3},
      {"😀😀", 0, 4},       {"Жé€", 1252, 3},     {"Привет", 1251, 6}, {"Привет", 65001, 12},
      {"a😀", 65001, 5},   {"カタカナ", 932, 8}, {"ｶﾀ漢", 932, 4},    {"中文a", 936, 5},
      {"한국어", 949, 6}, {"中文", 950, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text + " in " + std::to_string(c.code_page));
    EXPECT_EQ(values::ColumnLength(c.text, c.code_page), c.length);
  }
  EXPECT_TRUE(values::KnownCodePage(1251));
  EXPECT_TRUE(values::KnownCodePage(65001));
  EXPECT_TRUE(values::KnownCodePage(932));
  EXPECT_FALSE(values::KnownCodePage(437));
}

// A value the column cannot hold is refused naming the field; the value area
// is left untouched.
struct RangeCase {
  ColumnShape column;
  TFieldType field;
  std::vector<std::uint8_t> native;
};

template <typename T>
std::vector<std::uint8_t> Native(T value) {
  std::vector<std::uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::vector<std::uint8_t> Bcd(const std::string& text) {
  std::vector<std::uint8_t> bytes(kBcdSize);
  DecimalToBcd(Decimal::FromString(text), 38, bytes.data());
  return bytes;
}

TEST(ServerTypes, RefusesValuesOutsideTheColumn) {
  constexpr double kMsPerDay = 86400000.0;
  const std::vector<RangeCase> cases = {
      {{48, 1}, ftSmallint, Native<std::int16_t>(256)},
      {{48, 1}, ftSmallint, Native<std::int16_t>(-1)},
      {{122, 4}, ftCurrency, Native<std::int64_t>(2147483648LL)},  // 214748.3648
      {{59, 4}, ftFloat, Native(1e39)},
      {{62, 8}, ftFloat, Native(std::numeric_limits<double>::quiet_NaN())},
      {{106, 19, 5, 2}, ftBCD, Bcd("123456.78")},
      {{106, 19, 5, 2}, ftBCD, Bcd("1.234")},
      {{108, 19, 10, 0}, ftBCD, Bcd("12345678901")},
      {{61, 8}, ftDateTime, Native(639905 * kMsPerDay)},  // 1752-12-31
      {{58, 8}, ftDateTime, Native(759132 * kMsPerDay)},  // 2079-06-07
      {{47, 10, 0, 0, 1252}, ftString, {0xCE, 0xA9, 0}},  // 'Ω' in a varchar
  };
  for (const RangeCase& c : cases) {
    SCOPED_TRACE(values::ServerTypeName(c.column.Type));
    std::unique_ptr<TField> field(CreateFieldOfType(c.field, nullptr));
    field->SetFieldName("amount");
    std::vector<char> area(static_cast<std::size_t>(c.column.Size) + 1, '\x5A');
    const std::vector<char> before = area;
    try {
      values::NativeToSlot(c.column, *field, c.native.data(), area.data());
      ADD_FAILURE() << "accepted";
    } catch (const EDatabaseError& e) {
      EXPECT_NE(e.Message().find("'amount'"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(area, before);
  }
}

TEST(ServerTypes, ExactValuesSurviveTheSlot) {
  struct Case {
    ColumnShape column;
    TFieldType field;
    std::vector<std::uint8_t> native;
  };
  const std::vector<Case> cases = {
      {{60, 8}, ftCurrency, Native<std::int64_t>(INT64_MAX)},
      {{60, 8}, ftCurrency, Native<std::int64_t>(INT64_MIN)},
      {{122, 4}, ftCurrency, Native<std::int64_t>(-2147483648LL)},
      {{106, 19, 38, 20}, ftBCD, Bcd("123456789012345678.01234567890123456789")},
      {{106, 19, 38, 0}, ftBCD, Bcd("-99999999999999999999999999999999999999")},
      {{48, 1}, ftSmallint, Native<std::int16_t>(255)},
      {{62, 8}, ftFloat, Native(0.1 + 0.2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(values::ServerTypeName(c.column.Type));
    std::unique_ptr<TField> field(CreateFieldOfType(c.field, nullptr));
    if (auto* bcd = dynamic_cast<TBCDField*>(field.get())) {
      bcd->SetPrecision(c.column.Precision);
      bcd->SetSize(c.column.Scale);
    }
    std::vector<char> area(static_cast<std::size_t>(c.column.Size) + 1);
    values::NativeToSlot(c.column, *field, c.native.data(), area.data());
    std::vector<std::uint8_t> back(c.native.size());
    values::SlotToNative(c.column, c.field, area.data(), back.data());
    if (c.field == ftBCD) {
      EXPECT_EQ(BcdToDecimal(back.data()), BcdToDecimal(c.native.data()));
    } else {
      EXPECT_EQ(back, c.native);
    }
  }
}

}  // namespace
}  // namespace tessel
