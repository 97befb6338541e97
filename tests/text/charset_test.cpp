// Character-set conversion over iconv, and the encoding of the search keyword.

#include <gtest/gtest.h>

#include <string>

#include "text/text_test_support.h"
#include "text/text.h"

namespace tarnisk {
namespace {

using namespace std::string_literals;
using testing_support::Repeat;
using testing_support::RowName;

const std::string GraveUtf8 = "\xC3\x80";
const std::string GraveGb = "\x81\x30\x86\x38";

struct ConvertRow {
  const char* name;
  std::string input;
  const char* source;
  const char* target;
  std::string expected;
  friend void PrintTo(const ConvertRow& row, std::ostream* out) { *out << row.name; }
};

class ConvertCharsetTest : public ::testing::TestWithParam<ConvertRow> {};

TEST_P(ConvertCharsetTest, ConvertsWholeOrGivesNothing) {
  const ConvertRow& row = GetParam();
  const ByteArray result = ConvertCharset(ByteArray{row.input}, row.source, row.target);
  EXPECT_EQ(result.bytes, row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ConvertCharsetTest,
    ::testing::Values(
        ConvertRow{"TwoEnlargements", Repeat(GraveUtf8, 200), "UTF-8", "GB18030", Repeat(GraveGb, 200)},
        ConvertRow{"OneEnlargement", Repeat(GraveUtf8, 50), "UTF-8", "GB18030", Repeat(GraveGb, 50)},
        ConvertRow{"FirstCallMakesNoProgress", GraveUtf8, "UTF-8", "GB18030", GraveGb},
        ConvertRow{"FourByteCharacter", "\xF0\x9F\x98\x80", "UTF-8", "GB18030", "\x94\x39\xFC\x36"},
        ConvertRow{"ChineseToLocal", "\xE4\xB8\xAD", "UTF-8", "GB18030", "\xD6\xD0"},
        ConvertRow{"LocalToUtf8Grows", Repeat("\xD6\xD0", 100), "GB18030", "UTF-8",
                   Repeat("\xE4\xB8\xAD", 100)},
        ConvertRow{"IdeographicSpace", "\xA1\xA1", "GB18030", "UTF-8", "\xE3\x80\x80"},
        ConvertRow{"ZeroBytesPassThrough", "a\0b"s, "UTF-8", "GB18030", "a\0b"s},
        ConvertRow{"Empty", "", "UTF-8", "GB18030", ""},
        ConvertRow{"UnknownCharset", "abc", "UTF-8", "NO-SUCH-CHARSET", ""},
        ConvertRow{"StrayByte", "a\xFF" "b", "UTF-8", "GB18030", ""},
        ConvertRow{"InvalidAfterMuchValidText", Repeat("abc", 1000) + "\xFF", "UTF-8", "GB18030", ""},
        ConvertRow{"TruncatedCharacter", "\xE4\xB8", "UTF-8", "GB18030", ""},
        ConvertRow{"EncodedSurrogate", "\xED\xA0\x80", "UTF-8", "GB18030", ""},
        ConvertRow{"OverlongForm", "\xC0\x80", "UTF-8", "GB18030", ""},
        ConvertRow{"InvalidLocalByte", "\x80", "GB18030", "UTF-8", ""},
        ConvertRow{"InvalidLocalPair", "\xFF\x41", "GB18030", "UTF-8", ""},
        ConvertRow{"TruncatedLocalLead", "a\x81", "GB18030", "UTF-8", ""},
        ConvertRow{"TruncatedLocalFourByte", "\x81\x30", "GB18030", "UTF-8", ""}),
    RowName{});

TEST(ConvertCharsetTest, MissingCharsetNamesGiveNothing) {
  EXPECT_EQ(ConvertCharset(ByteArray{"abc"}, nullptr, "UTF-8"), ByteArray{});
  EXPECT_EQ(ConvertCharset(ByteArray{"abc"}, "UTF-8", nullptr), ByteArray{});
}

struct Utf8ToLocalRow {
  const char* name;
  std::string utf8;
  std::string expected;
  friend void PrintTo(const Utf8ToLocalRow& row, std::ostream* out) { *out << row.name; }
};

class Utf8ToLocalTest : public ::testing::TestWithParam<Utf8ToLocalRow> {};

TEST_P(Utf8ToLocalTest, GivesLocalTextOrNothing) {
  EXPECT_EQ(Utf8ToLocal(ByteArray{GetParam().utf8}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, Utf8ToLocalTest,
    ::testing::Values(Utf8ToLocalRow{"Chinese", "\xE4\xB8\xAD", "\xD6\xD0"},
                      Utf8ToLocalRow{"Ascii", "ab", "ab"},
                      Utf8ToLocalRow{"StopsAtZeroByte", "a\0b"s, "a"},
                      Utf8ToLocalRow{"StrayByte", "a\xFF" "b", ""},
                      Utf8ToLocalRow{"TruncatedCharacter", "\xE4\xB8", ""},
                      Utf8ToLocalRow{"Empty", "", ""},
                      Utf8ToLocalRow{"FourByteCharacter", "\xF0\x9F\x98\x80", "\x94\x39\xFC\x36"}),
    RowName{});

struct EncodeRow {
  const char* name;
  std::string keyword;
  std::string expected;
  friend void PrintTo(const EncodeRow& row, std::ostream* out) { *out << row.name; }
};

class EncodeKeywordTest : public ::testing::TestWithParam<EncodeRow> {};

TEST_P(EncodeKeywordTest, SendsUtf8PercentEncoded) {
  EXPECT_EQ(EncodeKeyword(GetParam().keyword), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, EncodeKeywordTest,
    ::testing::Values(EncodeRow{"Letters", "abc", "abc"},
                      EncodeRow{"InnerSpace", "a b", "a+b"},
                      EncodeRow{"OuterSpacesKept", " abc ", "+abc+"},
                      EncodeRow{"SpacesNotCollapsed", "a  b", "a++b"},
                      EncodeRow{"Chinese", "\xD6\xD0", "%E4%B8%AD"},
                      EncodeRow{"ChineseWord", "\xCE\xC4\xBC\xFE", "%E6%96%87%E4%BB%B6"},
                      EncodeRow{"Plus", "a+b", "a%2Bb"},
                      EncodeRow{"Percent", "50%", "50%25"},
                      EncodeRow{"Tilde", "a~b", "a%7Eb"},
                      EncodeRow{"Star", "a*b", "a%2Ab"},
                      EncodeRow{"UnreservedKept", "x-y_z.w", "x-y_z.w"},
                      EncodeRow{"CaseKept", "AbC09", "AbC09"},
                      EncodeRow{"IdeographicSpaceIsNotASpace", "\xA1\xA1", "%E3%80%80"},
                      EncodeRow{"FourByteCharacter", "\x94\x39\xFC\x36", "%F0%9F%98%80"},
                      EncodeRow{"Empty", "", ""},
                      EncodeRow{"InvalidKeyword", "a\x80", ""},
                      EncodeRow{"TruncatedKeyword", "a\x81", ""}),
    RowName{});

struct PercentRow {
  const char* name;
  std::string text;
  char spaceReplacement;
  std::string expected;
  friend void PrintTo(const PercentRow& row, std::ostream* out) { *out << row.name; }
};

class PercentEncodeTest : public ::testing::TestWithParam<PercentRow> {};

TEST_P(PercentEncodeTest, EncodesByteByByte) {
  EXPECT_EQ(PercentEncode(GetParam().text, GetParam().spaceReplacement), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, PercentEncodeTest,
    ::testing::Values(PercentRow{"HighBytesUpperHex", "\xD6\xD0\xFF\x80", '+', "%D6%D0%FF%80"},
                      PercentRow{"ControlAndDelete", "\t\x7F", '+', "%09%7F"},
                      PercentRow{"Punctuation", "/?&=#:@", '+', "%2F%3F%26%3D%23%3A%40"},
                      PercentRow{"LetterEdges", "@AZ[`az{/09:", '+', "%40AZ%5B%60az%7B%2F09%3A"},
                      PercentRow{"OtherSpaceReplacement", "a b", '_', "a_b"},
                      PercentRow{"ZeroReplacementDropsSpace", "a b", '\0', "ab"},
                      PercentRow{"Empty", "", '+', ""}),
    RowName{});

}  // namespace
}  // namespace tarnisk
