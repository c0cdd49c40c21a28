// Exact numbers through fields and parameters: decimal(p, s) and money keep
// every digit from text, variants and the native forms, and refuse what they
// cannot hold, naming the field and the value, instead of rounding it.

#include <gtest/gtest.h>

#include <cstring>

#include "framework/params.h"
#include "mem_dataset.h"

namespace tessel::test {
namespace {

const char* const kMoneyRange =
    " is not a valid value for field 'M'. The allowed range is -922337203685477.5808 to "
    "922337203685477.5807";

// N decimal(5,2), W decimal(38,20), M money.
std::unique_ptr<TMemDataSet> MakeExact() {
  auto ds = std::make_unique<TMemDataSet>(
      nullptr, std::vector<Column>{
                   {"N", ftBCD, 2, false, 5}, {"W", ftBCD, 20, false, 38}, {"M", ftCurrency}});
  ds->Open();
  ds->Append();
  return ds;
}

template <class Fn>
std::string ErrorOf(Fn fn) {
  try {
    fn();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "(no error)";
}

TEST(ExactFields, BcdFieldTakesPrecisionAndScaleFromItsDefinition) {
  auto ds = MakeExact();
  auto* n = dynamic_cast<TBCDField*>(ds->FieldByName("N"));
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->Precision(), 5);
  EXPECT_EQ(n->Size(), 2);
  EXPECT_EQ(n->DataSize(), kBcdSize);
  EXPECT_EQ(ds->FieldByName("M")->DataSize(), 8);
  EXPECT_THROW(n->SetPrecision(10), EDatabaseError) << "the dataset is open";
  TBCDField loose(nullptr);
  EXPECT_EQ(loose.Precision(), 38);
}

// Text in, exact text out; a refusal names the field and the value and
// leaves the previous value in place.
TEST(ExactFields, TextInAndOut) {
  struct Case {
    const char* field;
    const char* in;
    const char* out;  // AsString after, or the error message
  };
  const Case cases[] = {
      {"N", "123.45", "123.45"},
      {"N", " -1.5 ", "-1.50"},
      {"N", "1.500", "1.50"},
      {"N", "123456.78",
       "123456.78 is not a valid value for field 'N'. The allowed range is -999.99 to 999.99"},
      {"N", "1.234", "'1.234' has more decimals than field 'N' holds (2)"},
      {"N", "999.995", "'999.995' has more decimals than field 'N' holds (2)"},
      {"N", "abc", "'abc' is not a valid decimal value for field 'N'"},
      {"W", "1000", "1000.00000000000000000000"},
      {"W", "123456789012345678.12345678901234567891", "123456789012345678.12345678901234567891"},
      {"W", "1234567890123456789",
       "1234567890123456789 is not a valid value for field 'W'. The allowed range is "
       "-999999999999999999.99999999999999999999 to 999999999999999999.99999999999999999999"},
      {"M", "922337203685477.5807", "922337203685477.5807"},
      {"M", "-922337203685477.5808", "-922337203685477.5808"},
      {"M", "1.23450", "1.2345"},
      {"M", "1.23456", "'1.23456' has more decimals than field 'M' holds (4)"},
      {"M", "1e3", "1000"},
      {"M", "12,5", "'12,5' is not a valid currency value for field 'M'"},
  };
  auto ds = MakeExact();
  for (const Case& c : cases) {
    TField* field = ds->FieldByName(c.field);
    field->SetAsString("0");
    const std::string before = field->AsString();
    const std::string error = ErrorOf([&] { field->SetAsString(c.in); });
    if (error == "(no error)") {
      EXPECT_EQ(field->AsString(), c.out) << c.in;
    } else {
      EXPECT_EQ(error, c.out) << c.in;
      EXPECT_EQ(field->AsString(), before) << c.in;
    }
  }
  EXPECT_EQ(ErrorOf([&] { ds->FieldByName("M")->SetAsString("922337203685477.5808"); }),
            std::string("922337203685477.5808") + kMoneyRange);
  for (const char* name : {"N", "M"}) {
    ds->FieldByName(name)->SetAsString(" ");
    EXPECT_TRUE(ds->FieldByName(name)->IsNull()) << "empty text is null";
    EXPECT_EQ(ds->FieldByName(name)->AsString(), "");
  }
}

TEST(ExactFields, DoublesRoundToTheScaleAndAreRangeChecked) {
  auto ds = MakeExact();
  TField* n = ds->FieldByName("N");
  TField* w = ds->FieldByName("W");
  TField* m = ds->FieldByName("M");
  n->SetAsFloat(1.005);  // 1.00499999999999989...
  EXPECT_EQ(n->AsString(), "1.00");
  n->SetAsFloat(-2.675);
  EXPECT_EQ(n->AsString(), "-2.67");
  EXPECT_EQ(n->AsFloat(), -2.67);
  EXPECT_EQ(ErrorOf([&] { n->SetAsFloat(123456.78); }),
            "123456.78 is not a valid value for field 'N'. The allowed range is -999.99 to 999.99");
  EXPECT_EQ(ErrorOf([&] { n->SetAsFloat(1e300); }).substr(0, 8), "1E300 is");
  EXPECT_EQ(n->AsString(), "-2.67");
  w->SetAsFloat(1000);
  EXPECT_EQ(w->AsString(), "1000.00000000000000000000");
  w->SetAsFloat(0.1 + 0.2);
  EXPECT_EQ(w->AsString(), "0.30000000000000004441");

  m->SetAsFloat(0.1 + 0.2);
  EXPECT_EQ(m->AsString(), "0.3");
  EXPECT_EQ(ErrorOf([&] { m->SetAsFloat(1e15); }), std::string("1E15") + kMoneyRange);
  EXPECT_EQ(m->AsString(), "0.3");
  m->SetAsFloat(-2.5);
  EXPECT_EQ(m->AsInteger(), -3);
  n->SetAsFloat(2.5);
  EXPECT_EQ(n->AsInteger(), 3);
}

TEST(ExactFields, VariantsAndNativeForms) {
  auto ds = MakeExact();
  auto* n = dynamic_cast<TBCDField*>(ds->FieldByName("N"));
  auto* w = dynamic_cast<TBCDField*>(ds->FieldByName("W"));
  auto* m = dynamic_cast<TCurrencyField*>(ds->FieldByName("M"));

  n->SetAsString("-123.45");
  EXPECT_EQ(n->AsVariant().VarType(), varString);
  EXPECT_EQ(n->AsVariant().AsString(), "-123.45");
  unsigned char bcd[kBcdSize] = {};
  ASSERT_TRUE(n->GetData(bcd));
  const unsigned char expected[kBcdSize] = {5, 2, 0, 12345 % 256, 12345 / 256};
  EXPECT_EQ(std::memcmp(bcd, expected, kBcdSize), 0);

  w->SetAsVariant(Variant(Currency::FromScaled(12345)));
  EXPECT_EQ(w->AsString(), "1.23450000000000000000");
  EXPECT_EQ(ErrorOf([&] { n->SetAsVariant(Variant(Currency::FromScaled(12345))); }),
            "'1.2345' has more decimals than field 'N' holds (2)");
  n->SetAsVariant(Variant(7));
  EXPECT_EQ(n->AsString(), "7.00");
  n->SetAsVariant(Variant(2.5));
  EXPECT_EQ(n->AsString(), "2.50");
  n->SetAsDecimal(Decimal::FromString("1.5"));
  EXPECT_EQ(n->AsDecimal(), Decimal::FromString("1.50"));
  EXPECT_EQ(n->DisplayText(), "1.50");
  n->SetAsVariant(Null());
  EXPECT_TRUE(n->IsNull());

  m->SetAsString("922337203685477.5807");
  std::int64_t scaled = 0;
  ASSERT_TRUE(m->GetData(&scaled));
  EXPECT_EQ(scaled, INT64_MAX);
  EXPECT_EQ(m->AsVariant().VarType(), varCurrency);
  EXPECT_EQ(m->AsVariant().AsCurrency().Scaled(), INT64_MAX);
  m->SetAsMoney(Currency::FromScaled(INT64_MIN));
  EXPECT_EQ(m->AsString(), "-922337203685477.5808");
  m->SetAsVariant(Variant("120.1"));
  EXPECT_EQ(m->DisplayText(), "120.10");
  EXPECT_EQ(ErrorOf([&] { m->SetAsVariant(Variant(INT64_MAX)); }),
            "9223372036854775807" + std::string(kMoneyRange));
  EXPECT_EQ(m->AsMoney(), Currency::FromScaled(1201000));
}

TEST(ExactFields, LocateComparesDecimalsByValue) {
  auto ds = std::make_unique<TMemDataSet>(nullptr, std::vector<Column>{{"N", ftBCD, 2, false, 5}});
  ds->Open();
  ds->AddRow({"1.25"});
  ds->AddRow({"1.50"});
  ds->First();
  EXPECT_TRUE(ds->Locate("N", Variant("1.5"), 0));
  EXPECT_EQ(ds->FieldByName("N")->AsString(), "1.50");
  EXPECT_TRUE(ds->Locate("N", Variant(Currency::FromString("1.25")), 0));
  EXPECT_FALSE(ds->Locate("N", Variant("1.3"), 0));
}

TEST(ExactParams, MoneyAndDecimalsStayExact) {
  TParams params;
  TParam* b = params.CreateParam(ftBCD, "B", ptInput);
  const Decimal wide = Decimal::FromString("12345678901234567890.123456789012345678");
  b->SetAsBCD(wide);
  EXPECT_EQ(b->DataType(), ftBCD);
  EXPECT_EQ(b->Value().VarType(), varString);
  EXPECT_EQ(b->AsString(), "12345678901234567890.123456789012345678");
  EXPECT_EQ(b->AsBCD(), wide);
  EXPECT_EQ(b->DataSize(), kBcdSize);
  unsigned char bcd[kBcdSize] = {};
  b->GetData(bcd);
  EXPECT_EQ(bcd[0], 38);
  EXPECT_EQ(BcdToDecimal(bcd), wide);
  b->Clear();
  b->SetData(bcd);
  EXPECT_EQ(b->AsString(), wide.ToString());
  b->SetText("0.123456789");
  EXPECT_EQ(b->AsString(), "0.123456789") << "not cut to four decimals";
  b->SetValue(Variant(0.1));
  EXPECT_EQ(b->AsString(), "0.1");
  EXPECT_THROW(b->SetText("abc"), EConvertError);

  TParam* m = params.CreateParam(ftCurrency, "M", ptInput);
  m->SetText("922337203685477.5807");
  EXPECT_EQ(m->Value().VarType(), varCurrency);
  EXPECT_EQ(m->AsString(), "922337203685477.5807");
  EXPECT_EQ(m->DataSize(), 8);
  std::int64_t scaled = 0;
  m->GetData(&scaled);
  EXPECT_EQ(scaled, INT64_MAX);
  scaled = INT64_MIN;
  m->SetData(&scaled);
  EXPECT_EQ(m->AsString(), "-922337203685477.5808");
  EXPECT_THROW(m->SetText("1.23456"), EConvertError) << "a fifth decimal is not rounded away";
  EXPECT_THROW(m->SetAsCurrency(1e300), EConvertError);
}

TEST(ExactParams, FieldValuesMoveExactly) {
  auto ds = MakeExact();
  ds->FieldByName("W")->SetAsString("-98765432109876543.21098765432109876543");
  ds->FieldByName("M")->SetAsString("-922337203685477.5808");
  TParam p;
  p.AssignField(ds->FieldByName("W"));
  EXPECT_EQ(p.DataType(), ftBCD);
  EXPECT_EQ(p.AsString(), "-98765432109876543.21098765432109876543");
  p.AssignField(ds->FieldByName("M"));
  EXPECT_EQ(p.DataType(), ftCurrency);
  EXPECT_EQ(p.Value().AsCurrency().Scaled(), INT64_MIN);

  TParam back;
  back.SetAsBCD(Decimal::FromString("999.99"));
  ds->FieldByName("N")->Assign(&back);
  EXPECT_EQ(ds->FieldByName("N")->AsString(), "999.99");
}

}  // namespace
}  // namespace tessel::test
