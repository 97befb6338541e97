// Numbers to and from text.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "text/text_test_support.h"
#include "text/text.h"

namespace tarnisk {
namespace {

using testing_support::RowName;

constexpr double Infinity = std::numeric_limits<double>::infinity();

struct FromTextRow {
  const char* name;
  std::string text;
  double expected;
  friend void PrintTo(const FromTextRow& row, std::ostream* out) { *out << row.name; }
};

class TextToNumberTest : public ::testing::TestWithParam<FromTextRow> {};

TEST_P(TextToNumberTest, ReadsTheLongestNumberPrefix) {
  EXPECT_EQ(TextToNumber(GetParam().text), GetParam().expected);
}

const std::string ManyZeros(400, '0');

INSTANTIATE_TEST_SUITE_P(
    Edges, TextToNumberTest,
    ::testing::Values(
        FromTextRow{"Integer", "12", 12},
        FromTextRow{"LeadingSpaceTrailingWord", " 3\xD2\xB3", 3},
        FromTextRow{"FullWidthDigits", "\xA3\xB2\xA3\xB0", 20},
        FromTextRow{"FullWidthSignAndPoint", "\xA3\xAD\xA3\xB3\xA3\xAE\xA3\xB5", -3.5},
        FromTextRow{"IdeographicSpaceSkipped", "\xA1\xA1" "7", 7},
        FromTextRow{"FoldingFollowsTheUnitWalk", "\x81\xA3\xB2", 0},
        FromTextRow{"Fraction", "2.5", 2.5},
        FromTextRow{"NegativeWithTrailingText", "-7x", -7},
        FromTextRow{"ExplicitPlus", "+5", 5},
        FromTextRow{"NoDigits", "abc", 0},
        FromTextRow{"Empty", "", 0},
        FromTextRow{"SignOnly", "-", 0},
        FromTextRow{"PointOnly", ".", 0},
        FromTextRow{"LeadingPoint", ".5", 0.5},
        FromTextRow{"TrailingPoint", "5.", 5},
        FromTextRow{"SecondPointEnds", "1.2.3", 1.2},
        FromTextRow{"CommaEnds", "2,5", 2},
        FromTextRow{"AllWhiteSpace", "\t\n\v\f\r 8", 8},
        FromTextRow{"LowerE", "1e3", 1000},
        FromTextRow{"UpperE", "1E3", 1000},
        FromTextRow{"LowerD", "1d3", 1000},
        FromTextRow{"UpperDNegativeExponent", "1D-2", 0.01},
        FromTextRow{"ExponentPlus", "2e+2x", 200},
        FromTextRow{"MarkerWithoutDigits", "2e", 2},
        FromTextRow{"MarkerAndSignWithoutDigits", "2e+", 2},
        FromTextRow{"HexIsNotANumber", "0x10", 0},
        FromTextRow{"InfinityIsNotANumber", "inf", 0},
        FromTextRow{"NanIsNotANumber", "nan", 0},
        FromTextRow{"Overflow", "1e999", Infinity},
        FromTextRow{"NegativeOverflow", "-1e999", -Infinity},
        FromTextRow{"HugeExponent", "1e99999999999999999999999", Infinity},
        FromTextRow{"Underflow", "1e-999", 0},
        FromTextRow{"LongIntegerPart", "1" + ManyZeros, Infinity},
        FromTextRow{"LongFractionWithExponent", "0." + ManyZeros + "1e400", 0.1},
        FromTextRow{"SmallestSubnormal", "4.9406564584124654e-324", 4.9406564584124654e-324}),
    RowName{});

struct ToTextRow {
  const char* name;
  double value;
  std::string expected;
  friend void PrintTo(const ToTextRow& row, std::ostream* out) { *out << row.name; }
};

class NumberToTextTest : public ::testing::TestWithParam<ToTextRow> {};

TEST_P(NumberToTextTest, WritesThirteenDigitsAndThreeExponentDigits) {
  EXPECT_EQ(NumberToText(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, NumberToTextTest,
    ::testing::Values(ToTextRow{"PageOffset", (3 - 1) * 10.0, "20"},
                      ToTextRow{"NegativeWhole", -10, "-10"},
                      ToTextRow{"Fraction", 2.5, "2.5"},
                      ToTextRow{"Zero", 0, "0"},
                      ToTextRow{"TenToTheThirteen", 1e13, "1e+013"},
                      ToTextRow{"TenToTheMinusFive", 1e-5, "1e-005"},
                      ToTextRow{"SmallestPlainFraction", 0.0001, "0.0001"},
                      ToTextRow{"LargestPlainWhole", 9999999999999.0, "9999999999999"},
                      ToTextRow{"ThreeDigitExponent", 1e100, "1e+100"},
                      ToTextRow{"RoundedMantissa", 1234567890123456.0, "1.234567890123e+015"},
                      ToTextRow{"NegativeSmall", -1.5e-7, "-1.5e-007"},
                      ToTextRow{"ThirteenDigits", 1.0 / 3, "0.3333333333333"},
                      ToTextRow{"RoundingHidesError", 0.1 + 0.2, "0.3"},
                      ToTextRow{"Subnormal", 4.9406564584124654e-324, "4.940656458412e-324"}),
    RowName{});

// The C library's "%.13g" in the "C" locale, with the exponent widened to three digits.
std::string PrintfReference(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.13g", value);
  std::string text(buffer);
  const std::size_t marker = text.find('e');
  if (marker != std::string::npos && text.size() - (marker + 2) < 3) {
    text.insert(marker + 2, 3 - (text.size() - (marker + 2)), '0');
  }
  return text;
}

TEST(NumberToTextTest, AgreesWithPrintfOverManyMagnitudes) {
  std::mt19937_64 random(77);
  std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
  std::uniform_int_distribution<int> exponent(-320, 308);
  for (int i = 0; i < 20000; ++i) {
    const double value = mantissa(random) * std::pow(10.0, exponent(random));
    ASSERT_EQ(NumberToText(value), PrintfReference(value)) << value;
    const double whole = std::trunc(mantissa(random) * 1e6);
    ASSERT_EQ(NumberToText(whole), PrintfReference(whole)) << whole;
  }
}

TEST(NumberTextRoundTripTest, ThirteenDigitsReadBackExactly) {
  for (double value : {20.0, -10.0, 2.5, 1e13, 1e-5, 123456.789, -0.000123}) {
    EXPECT_EQ(TextToNumber(NumberToText(value)), value) << NumberToText(value);
  }
}

struct IntegerRow {
  const char* name;
  std::int32_t value;
  std::string expected;
  friend void PrintTo(const IntegerRow& row, std::ostream* out) { *out << row.name; }
};

class IntegerToTextTest : public ::testing::TestWithParam<IntegerRow> {};

TEST_P(IntegerToTextTest, WritesPlainDecimal) {
  EXPECT_EQ(IntegerToText(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, IntegerToTextTest,
    ::testing::Values(IntegerRow{"MinusOne", -1, "-1"}, IntegerRow{"Zero", 0, "0"},
                      IntegerRow{"NoGrouping", 1234567, "1234567"},
                      IntegerRow{"Smallest", std::numeric_limits<std::int32_t>::min(), "-2147483648"},
                      IntegerRow{"Largest", std::numeric_limits<std::int32_t>::max(), "2147483647"}),
    RowName{});

struct TruncateRow {
  const char* name;
  double value;
  std::int32_t expected;
  friend void PrintTo(const TruncateRow& row, std::ostream* out) { *out << row.name; }
};

class TruncateToIntegerTest : public ::testing::TestWithParam<TruncateRow> {};

TEST_P(TruncateToIntegerTest, RoundsTowardZeroAndSaturates) {
  EXPECT_EQ(TruncateToInteger(GetParam().value), GetParam().expected);
}

constexpr std::int32_t Largest = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t Smallest = std::numeric_limits<std::int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Edges, TruncateToIntegerTest,
    ::testing::Values(TruncateRow{"PositiveFraction", 4.7, 4},
                      TruncateRow{"NegativeFraction", -2.9, -2},
                      TruncateRow{"SmallNegative", -0.5, 0},
                      TruncateRow{"JustBelowLargest", 2147483647.9, Largest},
                      TruncateRow{"JustAboveLargest", 2147483648.0, Largest},
                      TruncateRow{"Huge", 1e300, Largest},
                      TruncateRow{"PositiveInfinity", Infinity, Largest},
                      TruncateRow{"JustAboveSmallest", -2147483648.9, Smallest},
                      TruncateRow{"JustBelowSmallest", -2147483649.0, Smallest},
                      TruncateRow{"NegativeInfinity", -Infinity, Smallest},
                      TruncateRow{"NotANumber", std::numeric_limits<double>::quiet_NaN(), 0}),
    RowName{});

}  // namespace
}  // namespace tarnisk
