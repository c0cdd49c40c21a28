// The engine's value routines on their own: calendar arithmetic, date
// strings, conversions, LIKE and the case-insensitive comparison, and the
// SQLite functions behind the xml methods.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "convert.h"
#include "datetime.h"
#include "errors.h"
#include "exact.h"
#include "functions.h"
#include "types.h"
#include "xml_path.h"

namespace tessel::sqld::engine {
namespace {

TEST(Calendar, DaysRoundTripAcrossTheWholeRange) {
  EXPECT_EQ(daysFromCivil(1900, 1, 1), 0);
  EXPECT_EQ(daysFromCivil(1753, 1, 1), -53690);
  for (std::int64_t d = -53690; d <= 2958463; d += 97) {
    CivilDate c = civilFromDays(d);
    ASSERT_EQ(daysFromCivil(c.year, c.month, c.day), d) << d;
  }
  // 1900-01-01 was a Monday; with DATEFIRST 7 Sunday is day 1.
  EXPECT_EQ(datePart(6, daysFromCivil(1999, 3, 7) * kTicksPerDay, 7), 1);
  EXPECT_EQ(datePart(6, daysFromCivil(1999, 3, 7) * kTicksPerDay, 1), 7);
}

TEST(DateStrings, FormsSqlServerAccepts) {
  auto ticks = [](int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return daysFromCivil(y, mo, d) * kTicksPerDay + (h * 3600 + mi * 60 + s) * 300 +
           ticksFromMilliseconds(ms);
  };
  EXPECT_EQ(parseDateTime("19990305", DateOrder::MDY), ticks(1999, 3, 5));
  EXPECT_EQ(parseDateTime("19990305 12:34:56", DateOrder::MDY), ticks(1999, 3, 5, 12, 34, 56));
  EXPECT_EQ(parseDateTime("1999-03-05T12:34:56.123", DateOrder::MDY),
            ticks(1999, 3, 5, 12, 34, 56, 123));
  EXPECT_EQ(parseDateTime("03/05/1999 1:05 PM", DateOrder::MDY), ticks(1999, 3, 5, 13, 5));
  EXPECT_EQ(parseDateTime("05/03/1999", DateOrder::DMY), ticks(1999, 3, 5));
  EXPECT_EQ(parseDateTime("Mar 5 1999 12:00AM", DateOrder::MDY), ticks(1999, 3, 5));
  EXPECT_EQ(parseDateTime("5 March 1999", DateOrder::MDY), ticks(1999, 3, 5));
  EXPECT_EQ(parseDateTime("12:30", DateOrder::MDY), ticks(1900, 1, 1, 12, 30));
  for (const char* bad : {"19990230", "1999-13-01", "abc", "25:00", "12:61", "1/2/3/4"})
    EXPECT_FALSE(parseDateTime(bad, DateOrder::MDY)) << bad;
}

TEST(DateStrings, StylesAndRounding) {
  std::int64_t t = daysFromCivil(1999, 3, 5) * kTicksPerDay + (13 * 3600 + 4 * 60 + 5) * 300 + 37;
  EXPECT_EQ(formatDateTime(t, 0), "Mar  5 1999  1:04PM");
  EXPECT_EQ(formatDateTime(t, 121), "1999-03-05 13:04:05.123");
  EXPECT_EQ(formatDateTime(t, 1), "03/05/99");
  EXPECT_EQ(formatDateTime(t, 112), "19990305");
  EXPECT_EQ(formatDateTime(t, 109), "Mar  5 1999  1:04:05:123PM");
  // Milliseconds land on 1/300 s: .001 -> .000, .002 -> .003, .005 -> .007.
  EXPECT_EQ(millisecondsFromTicks(ticksFromMilliseconds(1)), 0);
  EXPECT_EQ(millisecondsFromTicks(ticksFromMilliseconds(2)), 3);
  EXPECT_EQ(millisecondsFromTicks(ticksFromMilliseconds(5)), 7);
  // smalldatetime: 29.998 s rounds down, 30 s up.
  std::int64_t base = daysFromCivil(1999, 3, 5) * kTicksPerDay;
  EXPECT_EQ(toSmallDateTime(base + 29 * 300 + 299), base);
  EXPECT_EQ(toSmallDateTime(base + 30 * 300), base + 60 * 300);
}

TEST(Conversions, ExactNumbersKeepTheirScale) {
  Settings st;
  TypeInfo vc = makeType(SqlType::VarChar, 30);
  TypeInfo dec = makeType(SqlType::Decimal, 0, 10, 3);
  EXPECT_EQ(convertValue(Stored::text("-12.3456"), vc, dec, 0, st).i, -12346);
  EXPECT_EQ(convertValue(Stored::integer(-12346), dec, vc, 0, st).s, "-12.346");
  EXPECT_EQ(convertValue(Stored::integer(5), dec, vc, 0, st).s, "0.005");
  TypeInfo money = makeType(SqlType::Money, 0, 19, 4);
  EXPECT_EQ(convertValue(Stored::integer(12345678), money, vc, 0, st).s, "1234.57");
  EXPECT_EQ(convertValue(Stored::integer(-12345678), money, vc, 1, st).s, "-1,234.57");
  EXPECT_THROW(convertValue(Stored::text("1e"), vc, dec, 0, st), SqlError);
  EXPECT_EQ(rescale(15, 1, 0, dec), 2);
  EXPECT_EQ(rescale(-15, 1, 0, dec), -2);
}

__int128 parse128(const char* digits) {
  __int128 v = 0;
  bool neg = *digits == '-';
  for (const char* p = digits + neg; *p; ++p) v = v * 10 + (*p - '0');
  return neg ? -v : v;
}

TEST(ExactNumbers, WideStorageSortsBytewiseInNumericOrder) {
  // Stored BLOBs compare with memcmp; their order must be the numbers' order.
  const __int128 values[] = {-parse128("99999999999999999999999999999999999999"),
                             -parse128("18446744073709551616"),
                             INT64_MIN,
                             -1,
                             0,
                             1,
                             255,
                             256,
                             INT64_MAX,
                             parse128("18446744073709551616"),
                             parse128("99999999999999999999999999999999999999")};
  for (std::size_t i = 0; i < std::size(values); ++i) {
    std::string b = exact::toBytes(values[i]);
    ASSERT_EQ(b.size(), 16u);
    EXPECT_TRUE(exact::fromBytes(b) == values[i]) << i;
    if (i > 0) {
      EXPECT_LT(exact::toBytes(values[i - 1]), b) << i;
    }
  }
}

TEST(ExactNumbers, ArithmeticKeepsEveryDigitBeforeRounding) {
  __int128 r;
  // 38-digit operands whose product needs 256 bits before it is scaled down.
  ASSERT_TRUE(exact::apply(exact::Op::Multiply, parse128("15000000000000000000000000000000000000"),
                           37, parse128("20000000000000000000000000000000000000"), 37, 35, r));
  EXPECT_EQ(exact::toString(r, 35), "3.00000000000000000000000000000000000");
  // Quotients whose numerator is scaled by more than 10^38.
  ASSERT_TRUE(exact::apply(exact::Op::Divide, 1, 0, 3, 0, 37, r));
  EXPECT_EQ(exact::toString(r, 37), "0.3333333333333333333333333333333333333");
  ASSERT_TRUE(exact::apply(exact::Op::Divide, -2, 0, 3, 0, 6, r));
  EXPECT_EQ(exact::toString(r, 6), "-0.666667");
  ASSERT_TRUE(exact::apply(exact::Op::Divide, -2, 0, 3, 0, 6, r, true));
  EXPECT_EQ(exact::toString(r, 6), "-0.666666");
  // Half away from zero when a sum loses scale.
  ASSERT_TRUE(exact::apply(exact::Op::Add, 125, 3, -250, 3, 2, r));
  EXPECT_EQ(exact::toString(r, 2), "-0.13");
  ASSERT_TRUE(exact::apply(exact::Op::Modulo, -700000, 5, 300, 2, 5, r));
  EXPECT_EQ(exact::toString(r, 5), "-1.00000");
  // Past 128 bits is reported, never wrapped.
  EXPECT_FALSE(exact::apply(exact::Op::Multiply, parse128("99999999999999999999999999999999999999"),
                            0, parse128("99999999999999999999999999999999999999"), 0, 0, r));
  EXPECT_EQ(exact::compare(parse128("10000000000000000000"), 0, 1, 38), 1);
  EXPECT_EQ(exact::compare(-5, 1, -50, 2), 0);
  EXPECT_EQ(exact::compare(-6, 1, -50, 2), -1);
}

TEST(ExactNumbers, RescaleRoundsHalfAwayFromZeroAndChecksPrecision) {
  __int128 r;
  ASSERT_TRUE(exact::rescale(-25, 1, 0, r));
  EXPECT_TRUE(r == -3);
  ASSERT_TRUE(exact::rescale(-25, 1, 0, r, true));
  EXPECT_TRUE(r == -2);
  EXPECT_FALSE(exact::rescale(parse128("99999999999999999999999999999999999999"), 0, 2, r));
  TypeInfo d38 = makeType(SqlType::Decimal, 0, 38, 2);
  EXPECT_TRUE(exact::fits(parse128("99999999999999999999999999999999999999"), d38));
  EXPECT_FALSE(exact::fits(parse128("100000000000000000000000000000000000000"), d38));
  EXPECT_TRUE(exact::isWide(d38));
  EXPECT_FALSE(exact::isWide(makeType(SqlType::Numeric, 0, 18, 2)));
  EXPECT_FALSE(exact::fits(parse128("9223372036854775808"), makeType(SqlType::Money, 0, 19, 4)));
}

TEST(Conversions, WideDecimalsThroughEveryForm) {
  Settings st;
  TypeInfo d38 = makeType(SqlType::Numeric, 0, 38, 10);
  TypeInfo text = makeType(SqlType::VarChar, 60);
  Stored v =
      convertValue(Stored::text("-1234567890123456789012345678.0123456789"), text, d38, 0, st);
  ASSERT_EQ(v.kind, Stored::Kind::Blob);
  EXPECT_EQ(convertValue(v, d38, text, 0, st).s, "-1234567890123456789012345678.0123456789");
  Value api = valueFromStored(v, d38);
  auto* dec = std::get_if<DecimalValue>(&api.data());
  ASSERT_NE(dec, nullptr);
  EXPECT_EQ(exact::toString(dec->unscaled, dec->scale), "-1234567890123456789012345678.0123456789");
  EXPECT_EQ(storedFromValue(api, d38).s, v.s);
  // An integer value for a wide column takes the wide form too.
  EXPECT_EQ(storedFromValue(Value(std::int64_t{5}), d38).kind, Stored::Kind::Blob);
  EXPECT_DOUBLE_EQ(convertValue(v, d38, makeType(SqlType::Float), 0, st).r, -1.2345678901234568e27);
  EXPECT_THROW(convertValue(v, d38, makeType(SqlType::BigInt), 0, st), SqlError);
  Stored narrow = convertValue(Stored::integer(123), makeType(SqlType::Int),
                               makeType(SqlType::Decimal, 0, 18, 2), 0, st);
  ASSERT_EQ(narrow.kind, Stored::Kind::Int);
  EXPECT_EQ(narrow.i, 12300);
}

TEST(Conversions, TruncationFollowsAnsiWarnings) {
  Settings st;
  TypeInfo vc3 = makeType(SqlType::VarChar, 3);
  TypeInfo vc10 = makeType(SqlType::VarChar, 10);
  EXPECT_EQ(convertValue(Stored::text("abcdef"), vc10, vc3, 0, st, true).s, "abc");
  st.ansiWarnings = true;
  try {
    convertValue(Stored::text("abcdef"), vc10, vc3, 0, st, true);
    FAIL();
  } catch (const SqlError& e) {
    EXPECT_EQ(e.message().number, 8152);
  }
  // Trailing blanks may go without an error; CONVERT itself never raises.
  EXPECT_EQ(convertValue(Stored::text("abc   "), vc10, vc3, 0, st, true).s, "abc");
  EXPECT_EQ(convertValue(Stored::text("abcdef"), vc10, vc3, 0, st, false).s, "abc");
  // Multi-byte characters count once.
  EXPECT_EQ(convertValue(Stored::text("\xC3\xBC\xC3\xBC\xC3\xBCx"), vc10, vc3, 0, st).s,
            "\xC3\xBC\xC3\xBC\xC3\xBC");
}

TEST(Conversions, GuidTextAndBytes) {
  GuidValue g;
  ASSERT_TRUE(guidFromText("6F9619FF-8B86-D011-B42D-00C04FC964FF", g));
  EXPECT_EQ(g.bytes[0], 0xFF);
  EXPECT_EQ(g.bytes[3], 0x6F);
  EXPECT_EQ(g.bytes[8], 0xB4);
  EXPECT_EQ(guidToText(g), "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_FALSE(guidFromText("6F9619FF-8B86-D011-B42D-00C04FC964F", g));
  EXPECT_FALSE(guidFromText("6F9619FF+8B86-D011-B42D-00C04FC964FF", g));
}

TEST(Collation, CaseAndTrailingBlanks) {
  EXPECT_EQ(compareCaseInsensitive("abc", "ABC  "), 0);
  EXPECT_LT(compareCaseInsensitive("abc", "abd"), 0);
  EXPECT_LT(compareCaseInsensitive("ab", "abc"), 0);
  EXPECT_EQ(compareCaseInsensitive("\xC3\xBC", "\xC3\x9C"), 0);  // u-umlaut both cases
  EXPECT_NE(compareCaseInsensitive("\xC3\xBC", "u"), 0);
}

// Accents count, case does not, and a letter with an accent sorts with its
// letter, not after z as its code point would.
TEST(Collation, AccentsCountAndLettersSortWithTheirAccents) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  const Case cases[] = {
      {"école", "ÉCOLE", 0},
      {"ecole", "école", -1},
      {"école", "zebra", -1},
      {"één", "xx", -1},
      {"e\xCC\x81"
       "cole",
       "École", 0},  // e + combining acute is é
      {"résumé", "RESUME", 1},
      {"résumé", "RESUMES", -1},
      {"Zebra", "apple", 1},
      {"Ångström", "angstrom", 1},
      {"ÿ", "z", -1},
      {"Пример", "пример", 0},
      {"", " ", 0},
  };
  for (const Case& c : cases) {
    auto sign = [](int x) { return (x > 0) - (x < 0); };
    EXPECT_EQ(sign(compareCaseInsensitive(c.a, c.b)), c.order) << c.a << " vs " << c.b;
    EXPECT_EQ(sign(compareCaseInsensitive(c.b, c.a)), -c.order) << c.b << " vs " << c.a;
  }
}

TEST(Like, PatternsOfTransactSql) {
  EXPECT_TRUE(likeMatch("a%", "ABC", -1));
  EXPECT_TRUE(likeMatch("%b%", "abc", -1));
  EXPECT_TRUE(likeMatch("a_c", "abc", -1));
  EXPECT_FALSE(likeMatch("a_c", "abbc", -1));
  EXPECT_TRUE(likeMatch("[a-c]%", "b", -1));
  EXPECT_FALSE(likeMatch("[^a-c]%", "b", -1));
  EXPECT_TRUE(likeMatch("100!%", "100%", '!'));
  EXPECT_FALSE(likeMatch("100!%", "1000", '!'));
  EXPECT_TRUE(likeMatch("%", "", -1));
  EXPECT_FALSE(likeMatch("_", "", -1));
  EXPECT_TRUE(likeMatch("_", "\xC3\xBC", -1));
  EXPECT_TRUE(likeMatch("[", "[", -1));
  // Ranges follow the collation; single characters ignore case, not accents.
  EXPECT_TRUE(likeMatch("[a-z]cole",
                        "\xC3\x89"
                        "cole",
                        -1));
  EXPECT_FALSE(likeMatch("[^a-z]cole",
                         "\xC3\xA9"
                         "cole",
                         -1));
  EXPECT_TRUE(
      likeMatch("\xC3\x89"
                "C%",
                "\xC3\xA9"
                "cole",
                -1));
  EXPECT_FALSE(likeMatch("EC%",
                         "\xC3\xA9"
                         "cole",
                         -1));
}

TEST(Errors, MessagesCarryNumbersSeveritiesAndArguments) {
  Message m = makeMessage(208, {"orders"});
  EXPECT_EQ(m.number, 208);
  EXPECT_EQ(m.severity, 16);
  EXPECT_EQ(m.text, "Invalid object name 'orders'.");
  EXPECT_EQ(makeMessage(102, {"x"}).severity, 15);
  EXPECT_EQ(makeMessage(5701, {"db"}).severity, 0);
  EXPECT_EQ(errorDef(102).scope, ErrorScope::Batch);
  EXPECT_EQ(errorDef(2627).scope, ErrorScope::Statement);
}

// Calls of the xml method functions as the binder writes them (with the
// namespaces of WITH XMLNAMESPACES) and as SQL kept in a database file from
// before has them (without), each with and without a reference after them.
TEST(XmlMethodFunctions, TakeCallsWithAndWithoutNamespaces) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  registerXmlMethodFunctions(db);
  struct Case {
    const char* call;
    const char* expected;
  } cases[] = {
      {"t_xml_value('<a>5</a>', -1, '(/a)[1]', '', '', 'x')", "5"},
      {"t_xml_value('<a>5</a>', -1, '(/a)[1]', '', '', 'x', '')", "5"},
      {"t_xml_value('<p:a xmlns:p=\"urn:p\">5</p:a>', -1, '(/q:a)[1]', '', '', 'x', '1:q5:urn:p')",
       "5"},
      {"t_xml_value('<a xmlns=\"urn:d\">5</a>', -1, '(/a)[1]', '', '', 'x', '0:5:urn:d')", "5"},
      {"t_xml_value('<a/>', -1, 'sql:variable(\"@v\")', 'n', '', 'x', 7)", "7"},
      {"t_xml_value('<a/>', -1, 'sql:variable(\"@v\")', 'n', '', 'x', '', 7)", "7"},
  };
  for (const Case& c : cases) {
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, (std::string("SELECT ") + c.call).c_str(), -1, &st, nullptr),
              SQLITE_OK)
        << c.call;
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW) << c.call;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    EXPECT_STREQ(text ? text : "NULL", c.expected) << c.call;
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
}

}  // namespace
}  // namespace tessel::sqld::engine
