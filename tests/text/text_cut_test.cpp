// Measuring, cutting, byte codes and byte arrays.

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "text/text_test_support.h"
#include "text/text.h"

namespace tarnisk {
namespace {

using namespace std::string_literals;
using testing_support::RowName;

enum class Cut { Left, Right, Mid, RemoveSpan };

struct CutRow {
  const char* name;
  Cut cut;
  std::string text;
  int first;
  int second;
  std::string expected;
  friend void PrintTo(const CutRow& row, std::ostream* out) { *out << row.name; }
};

Text Apply(const CutRow& row) {
  switch (row.cut) {
    case Cut::Left:
      return TextLeft(row.text, row.first);
    case Cut::Right:
      return TextRight(row.text, row.first);
    case Cut::Mid:
      return TextMid(row.text, row.first, row.second);
    case Cut::RemoveSpan:
      return TextRemoveSpan(row.text, row.first, row.second);
  }
  return Text();
}

class TextCutTest : public ::testing::TestWithParam<CutRow> {};

TEST_P(TextCutTest, CountsPlainBytes) { EXPECT_EQ(Apply(GetParam()), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Edges, TextCutTest,
    ::testing::Values(
        CutRow{"MidRunsToEnd", Cut::Mid, "abcdef", 3, 100, "cdef"},
        CutRow{"MidFromZeroIsEmpty", Cut::Mid, "abcdef", 0, 3, ""},
        CutRow{"MidFromNegativeIsEmpty", Cut::Mid, "abcdef", -1, 3, ""},
        CutRow{"MidPastEnd", Cut::Mid, "abcdef", 7, 1, ""},
        CutRow{"MidLastByte", Cut::Mid, "abcdef", 6, 1, "f"},
        CutRow{"MidInside", Cut::Mid, "abcdef", 2, 2, "bc"},
        CutRow{"MidZeroCount", Cut::Mid, "abcdef", 3, 0, ""},
        CutRow{"MidNegativeCount", Cut::Mid, "abcdef", 3, -4, ""},
        CutRow{"MidLargestCount", Cut::Mid, "abcdef", 1, INT_MAX, "abcdef"},
        CutRow{"MidHalvesAUnit", Cut::Mid, "\xD6\xD0\xD6\xD0", 2, 2, "\xD0\xD6"},
        CutRow{"LeftNegative", Cut::Left, "abc", -2, 0, ""},
        CutRow{"LeftZero", Cut::Left, "abc", 0, 0, ""},
        CutRow{"LeftPart", Cut::Left, "abc", 2, 0, "ab"},
        CutRow{"LeftWhole", Cut::Left, "abc", 3, 0, "abc"},
        CutRow{"LeftPastEnd", Cut::Left, "abc", 5, 0, "abc"},
        CutRow{"LeftHalvesAUnit", Cut::Left, "\xD6\xD0", 1, 0, "\xD6"},
        CutRow{"RightPastEnd", Cut::Right, "abc", 5, 0, "abc"},
        CutRow{"RightPart", Cut::Right, "abc", 2, 0, "bc"},
        CutRow{"RightZero", Cut::Right, "abc", 0, 0, ""},
        CutRow{"RightNegative", Cut::Right, "abc", -1, 0, ""},
        CutRow{"RightLargest", Cut::Right, "abc", INT_MAX, 0, "abc"},
        CutRow{"RemoveFromNegative", Cut::RemoveSpan, "abcdef", -1, 4, "ef"},
        CutRow{"RemoveFromMostNegative", Cut::RemoveSpan, "abcdef", INT_MIN, 1, "bcdef"},
        CutRow{"RemoveFromZero", Cut::RemoveSpan, "abcdef", 0, 2, "cdef"},
        CutRow{"RemoveFromOne", Cut::RemoveSpan, "abcdef", 1, 2, "cdef"},
        CutRow{"RemoveRunsToEnd", Cut::RemoveSpan, "abcdef", 5, 4, "abcd"},
        CutRow{"RemoveZeroCount", Cut::RemoveSpan, "abcdef", 3, 0, "abcdef"},
        CutRow{"RemoveNegativeCount", Cut::RemoveSpan, "abcdef", 3, -5, "abcdef"},
        CutRow{"RemovePastEnd", Cut::RemoveSpan, "abcdef", 7, 2, "abcdef"},
        CutRow{"RemoveFarPastEnd", Cut::RemoveSpan, "abcdef", INT_MAX, 2, "abcdef"},
        CutRow{"RemoveLargestCount", Cut::RemoveSpan, "abcdef", 3, INT_MAX, "ab"}),
    RowName{});

struct ByteCodeRow {
  const char* name;
  std::string text;
  int code;
  friend void PrintTo(const ByteCodeRow& row, std::ostream* out) { *out << row.name; }
};

class TextFirstByteCodeTest : public ::testing::TestWithParam<ByteCodeRow> {};

TEST_P(TextFirstByteCodeTest, ReadsASignedByteAndGivesItBack) {
  const ByteCodeRow& row = GetParam();
  EXPECT_EQ(TextFirstByteCode(row.text), row.code);
  EXPECT_EQ(TextFromByteCode(TextFirstByteCode(row.text)), TextLeft(row.text, 1));
}

INSTANTIATE_TEST_SUITE_P(Edges, TextFirstByteCodeTest,
                         ::testing::Values(ByteCodeRow{"DoubleByteLead", "\xD6\xD0", -42},
                                           ByteCodeRow{"Ascii", "A", 65},
                                           ByteCodeRow{"Empty", "", 0},
                                           ByteCodeRow{"HighestByte", "\xFF", -1},
                                           ByteCodeRow{"LowestHighByte", "\x80", -128},
                                           ByteCodeRow{"HighestAscii", "\x7F", 127}),
                         RowName{});

struct FromByteCodeRow {
  const char* name;
  int code;
  std::string expected;
  friend void PrintTo(const FromByteCodeRow& row, std::ostream* out) { *out << row.name; }
};

class TextFromByteCodeTest : public ::testing::TestWithParam<FromByteCodeRow> {};

TEST_P(TextFromByteCodeTest, KeepsTheLowEightBits) {
  EXPECT_EQ(TextFromByteCode(GetParam().code), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Edges, TextFromByteCodeTest,
                         ::testing::Values(FromByteCodeRow{"Negative", -42, "\xD6"},
                                           FromByteCodeRow{"Ascii", 65, "A"},
                                           FromByteCodeRow{"Zero", 0, ""},
                                           FromByteCodeRow{"LowBitsZero", 256, ""},
                                           FromByteCodeRow{"AboveAByte", 0x141, "A"},
                                           FromByteCodeRow{"Unsigned", 0xD6, "\xD6"}),
                         RowName{});

TEST(TextMeasureTest, LengthEqualityAndConcatenation) {
  EXPECT_EQ(TextLength(""), 0);
  EXPECT_EQ(TextLength("\xD6\xD0" "a"), 3);
  EXPECT_TRUE(TextEquals("", ""));
  EXPECT_TRUE(TextEquals("ab", "ab"));
  EXPECT_FALSE(TextEquals("ab", "aB"));
  EXPECT_FALSE(TextEquals("", "a"));
  EXPECT_FALSE(TextEquals("ab", "abc"));
  EXPECT_EQ(TextConcat(Text("a"), "", std::string_view("bc"), Text()), "abc");
  EXPECT_EQ(TextConcat(Text(), Text()), "");
}

TEST(BlankTextTest, CountsSpaces) {
  EXPECT_EQ(BlankText(-1), "");
  EXPECT_EQ(BlankText(0), "");
  EXPECT_EQ(BlankText(3), "   ");
}

TEST(BytesTest, TextStopsAtTheFirstZeroByte) {
  EXPECT_EQ(BytesToText(ByteArray{"a\0b"s}), "a");
  EXPECT_EQ(BytesToText(ByteArray{"\0a"s}), "");
  EXPECT_EQ(BytesToText(ByteArray{"ab"}), "ab");
  EXPECT_EQ(BytesToText(ByteArray{}), "");
}

TEST(BytesTest, TextBecomesItsBytes) {
  EXPECT_EQ(TextToBytes("ab"), ByteArray{"ab"});
  EXPECT_EQ(BytesLength(TextToBytes("ab")), 2);
  EXPECT_EQ(TextToBytes(""), ByteArray{});
}

TEST(BytesTest, ZeroBytesCountsZeros) {
  EXPECT_EQ(ZeroBytes(3), ByteArray{"\0\0\0"s});
  EXPECT_EQ(BytesLength(ZeroBytes(3)), 3);
  EXPECT_EQ(ZeroBytes(0), ByteArray{});
  EXPECT_EQ(ZeroBytes(-2), ByteArray{});
}

TEST(BytesTest, LeftAndConcatKeepZeroBytes) {
  const ByteArray bytes{"a\0bc"s};
  EXPECT_EQ(BytesLeft(bytes, -1), ByteArray{});
  EXPECT_EQ(BytesLeft(bytes, 0), ByteArray{});
  EXPECT_EQ(BytesLeft(bytes, 2), ByteArray{"a\0"s});
  EXPECT_EQ(BytesLeft(bytes, 10), bytes);
  EXPECT_EQ(BytesConcat(bytes, ByteArray{}, ZeroBytes(1)), ByteArray{"a\0bc\0"s});
  EXPECT_EQ(BytesConcat(ByteArray{}, ByteArray{}), ByteArray{});
  EXPECT_EQ(BytesLength(ByteArray{}), 0);
}

}  // namespace
}  // namespace tarnisk
