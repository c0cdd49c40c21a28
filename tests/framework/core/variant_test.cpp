#include "framework/variant.h"

#include <gtest/gtest.h>

#include "framework/exceptions.h"

namespace tessel {
namespace {

TEST(Variant, UnassignedAndNullAreDistinct) {
  const Variant empty;
  const Variant null = Null();
  EXPECT_TRUE(VarIsEmpty(empty));
  EXPECT_FALSE(VarIsNull(empty));
  EXPECT_TRUE(VarIsNull(null));
  EXPECT_FALSE(VarIsEmpty(null));
  EXPECT_EQ(VarType(empty), varEmpty);
  EXPECT_EQ(VarType(null), varNull);
  EXPECT_NE(empty, null);
  EXPECT_EQ(null, Null());
  EXPECT_EQ(empty, Unassigned());
  // Unassigned reads as the empty value; Null does not convert.
  EXPECT_EQ(empty.AsInteger(), 0);
  EXPECT_EQ(empty.AsString(), "");
  EXPECT_FALSE(empty.AsBoolean());
  EXPECT_THROW(null.AsInteger(), EVariantError);
  EXPECT_THROW(null.AsString(), EVariantError);
  EXPECT_EQ(VarToStr(null), "");
}

TEST(Variant, KindsReportTheirType) {
  EXPECT_EQ(VarType(Variant(42)), varInteger);
  EXPECT_EQ(VarType(Variant(1.5)), varDouble);
  EXPECT_EQ(VarType(Variant(Currency::FromScaled(15000))), varCurrency);
  EXPECT_EQ(VarType(Variant(true)), varBoolean);
  EXPECT_EQ(VarType(VarFromDateTime(36224.5)), varDate);
  EXPECT_EQ(VarType(Variant("x")), varString);
  EXPECT_EQ(VarType(Variant(TBytes{1, 2})), varBytes);
  EXPECT_EQ(VarType(VarArrayOf({1, "a"})), varVariantArray);
}

TEST(Variant, Conversions) {
  EXPECT_EQ(Variant("  42 ").AsInteger(), 42);
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);  // half to even
  EXPECT_EQ(Variant(3.5).AsInteger(), 4);
  EXPECT_EQ(Variant(-2.5).AsInteger(), -2);
  EXPECT_EQ(Variant(Currency::FromString("2.5")).AsInteger(), 2);
  EXPECT_EQ(Variant(Currency::FromString("-3.5")).AsInteger(), -4);
  EXPECT_EQ(Variant(true).AsInteger(), -1);
  EXPECT_EQ(Variant(false).AsString(), "False");
  EXPECT_EQ(Variant(1.5).AsString(), "1.5");
  EXPECT_EQ(Variant(0.1 + 0.2).AsString(), "0.3");
  EXPECT_EQ(Variant(-7).AsString(), "-7");
  EXPECT_DOUBLE_EQ(Variant("1.25").AsFloat(), 1.25);
  EXPECT_TRUE(Variant("TRUE").AsBoolean());
  EXPECT_FALSE(Variant("0").AsBoolean());
  EXPECT_TRUE(Variant(0.5).AsBoolean());
  EXPECT_EQ(Variant("1999-03-05").AsDateTime(), EncodeDate(1999, 3, 5));
  EXPECT_EQ(VarFromDateTime(EncodeDate(1999, 3, 5)).AsString(), "03/05/1999");
  EXPECT_EQ(Variant(TBytes{'a', 0, 'b'}).AsString(), std::string("a\0b", 3));
  EXPECT_EQ(Variant("ab").AsBytes(), (TBytes{'a', 'b'}));
  EXPECT_EQ(VarAsType(Variant("12"), varInteger), Variant(12));
  EXPECT_EQ(VarType(VarAsType(Variant(3), varString)), varString);
  EXPECT_THROW(VarAsType(Variant(40000), varSmallint), EVariantError);
}

TEST(Variant, CurrencyKeepsFourDecimalsExactly) {
  const Currency c = Variant("1234.56785").AsCurrency();
  EXPECT_EQ(c.Scaled(), 12345679);
  EXPECT_EQ(c.ToString(), "1234.5679");
  EXPECT_EQ(Variant(0.1).AsCurrency().Scaled(), 1000);
  EXPECT_EQ(Currency::FromString("-0.0001").ToString(), "-0.0001");
  EXPECT_EQ(Currency::FromString("1e3").ToString(), "1000");
  EXPECT_EQ(Variant(Currency::FromScaled(30000)).AsString(), "3");
  EXPECT_THROW(Currency::FromDouble(1e300), EConvertError);
  EXPECT_THROW(Currency::FromString("12,5"), EConvertError);
  EXPECT_THROW(Variant(INT64_MAX).AsCurrency(), EConvertError);
}

TEST(Variant, ErrorsNameTheValue) {
  try {
    Variant("abc").AsInteger();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' is not a valid integer value");
  }
  try {
    Variant("yes please").AsBoolean();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message().find("yes please"), std::string::npos);
  }
  try {
    Variant(1e30).AsInteger();
    FAIL();
  } catch (const EVariantError& e) {
    EXPECT_NE(e.Message().find("1E30"), std::string::npos) << e.Message();
  }
  try {
    Null().AsFloat();
    FAIL();
  } catch (const EVariantError& e) {
    EXPECT_EQ(e.Message(), "Could not convert variant of type (Null) into type (Double)");
  }
  EXPECT_THROW(Variant("2023-02-30").AsDateTime(), EConvertError);
  EXPECT_THROW(Variant(TBytes{1}).AsInteger(), EVariantError);
  EXPECT_THROW(Variant(true).AsDateTime(), EVariantError);
  EXPECT_THROW(Variant(1).ArrayCount(), EVariantError);
  EXPECT_THROW(VarArrayOf({1})[1], EVariantError);
}

TEST(Variant, Comparisons) {
  // Numbers by value whatever their kind.
  EXPECT_EQ(Variant(1), Variant(1.0));
  EXPECT_EQ(Variant(Currency::FromScaled(15000)), Variant(1.5));
  EXPECT_LT(Variant(1), Variant(1.5));
  EXPECT_EQ(Variant(true), Variant(-1));
  EXPECT_LT(Variant(false), Variant(true));
  EXPECT_EQ(VarFromDateTime(36224.0), Variant(36224));
  // Strings byte for byte; text against a number by value when it parses.
  EXPECT_NE(Variant("abc"), Variant("ABC"));
  EXPECT_LT(Variant("ABC"), Variant("abc"));
  EXPECT_EQ(Variant("10"), Variant(10));
  EXPECT_LT(Variant("9"), Variant(10));
  EXPECT_NE(Variant("x"), Variant(0));
  EXPECT_EQ(Variant("1999-03-05"), VarFromDateTime(EncodeDate(1999, 3, 5)));
  EXPECT_EQ(Variant(TBytes{'a'}), Variant("a"));
  // Null and Unassigned sort first and equal only themselves.
  EXPECT_LT(Unassigned(), Null());
  EXPECT_LT(Null(), Variant(-1000));
  EXPECT_LT(Null(), Variant(""));
  EXPECT_NE(Null(), Variant(0));
  EXPECT_NE(Unassigned(), Variant(0));
  // Arrays element by element.
  EXPECT_EQ(VarArrayOf({1, "a"}), VarArrayOf({1.0, "a"}));
  EXPECT_LT(VarArrayOf({1, "a"}), VarArrayOf({1, "b"}));
  EXPECT_EQ(VarArrayOf({1, Null()})[1], Null());
  const Variant copy = VarArrayOf({1, 2});
  Variant other = copy;
  other = Variant(5);
  EXPECT_EQ(copy.ArrayCount(), 2);
}

}  // namespace
}  // namespace tessel
