// Searching, replacing, splitting and case folding: the unit walk.

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "text/text_test_support.h"
#include "text/text.h"
#include "text/unit_search.h"

namespace tarnisk {
namespace {

using testing_support::RowName;

// "中" in GB18030; "乗" is 81 5C, whose second byte is a backslash.
const std::string Zhong = "\xD6\xD0";
const std::string Lead81 = "\x81";

struct FindRow {
  const char* name;
  std::string text;
  std::string sought;
  int start;
  bool ignoreCase;
  int expected;
  friend void PrintTo(const FindRow& row, std::ostream* out) { *out << row.name; }
};

class TextFindTest : public ::testing::TestWithParam<FindRow> {};

TEST_P(TextFindTest, FindsFirstMatchAtAUnitStart) {
  const FindRow& row = GetParam();
  EXPECT_EQ(TextFind(row.text, row.sought, row.start, row.ignoreCase), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TextFindTest,
    ::testing::Values(
        FindRow{"SlashFromFive", "ab:/c/d", "/", 5, false, 6},
        FindRow{"SlashFromOne", "ab:/c/d", "/", 1, false, 4},
        FindRow{"StartZeroIsStartOne", "ab:/c/d", "/", 0, false, 4},
        FindRow{"NegativeStartIsStartOne", "ab:/c/d", "/", -1, false, 4},
        FindRow{"MostNegativeStart", "ab:/c/d", "/", INT_MIN, false, 4},
        FindRow{"StartPastEnd", "ab:/c/d", "/", 8, false, -1},
        FindRow{"StartFarPastEnd", "ab:/c/d", "/", INT_MAX, false, -1},
        FindRow{"NoMatchAfterStart", "ab:/c/d", "/", 7, false, -1},
        FindRow{"IgnoreCaseFolds", "xaB", "Ab", 1, true, 2},
        FindRow{"ExactDoesNotFold", "xaB", "Ab", 1, false, -1},
        FindRow{"IgnoreCaseWithoutLetters", "a-b-c", "-c", 1, true, 4},
        FindRow{"IgnoreCaseKeepsHighBytesExact", "\xC1\xE1", "\xE1", 1, true, -1},
        FindRow{"IgnoreCaseSkipsSecondBytes", Lead81 + "Aa", "A", 1, true, 3},
        FindRow{"IgnoreCaseFromStart", "aXbxcX", "x", 3, true, 4},
        FindRow{"EmptySoughtFromOne", "abc", "", 1, false, 1},
        FindRow{"EmptySoughtFromThreeIsStillOne", "abc", "", 3, false, 1},
        FindRow{"EmptySoughtPastEnd", "abc", "", 4, false, -1},
        FindRow{"EmptySoughtInEmptyText", "", "", 1, false, -1},
        FindRow{"AnythingInEmptyText", "", "a", 1, false, -1},
        FindRow{"SecondByteNeverTried", Lead81 + "\\\\", "\\", 1, false, 3},
        FindRow{"WalkBeginsAtStartEvenInsideAUnit", Lead81 + "\\\\", "\\", 2, false, 2},
        FindRow{"LoneLeadByteAtEndIsTried", "a" + Lead81, Lead81, 1, false, 2},
        FindRow{"SoughtLongerThanRegion", "abcd", "cde", 1, false, -1},
        FindRow{"MatchEndingAtLastByte", "abcd", "cd", 1, false, 3},
        FindRow{"AfterDoubleByteCharacters", Zhong + "a" + Zhong + "b", Zhong + "b", 1, false, 4},
        FindRow{"FalseCandidateThenMatch", Lead81 + "abab", "ab", 1, false, 4},
        FindRow{"RunOfHighBytesParity", "\x81\x82\x83\x84\x85\x86", "\x84\x85", 1, false, -1},
        FindRow{"RunOfHighBytesEvenOffset", "\x81\x82\x83\x84\x85\x86", "\x83\x84", 1, false, 3},
        FindRow{"RunOfHighBytesFromOddStart", "\x81\x82\x83\x84\x85\x86", "\x84\x85", 2, false, 4}),
    RowName{});

struct FindLastRow {
  const char* name;
  std::string text;
  std::string sought;
  int expected;
  friend void PrintTo(const FindLastRow& row, std::ostream* out) { *out << row.name; }
};

class TextFindLastTest : public ::testing::TestWithParam<FindLastRow> {};

TEST_P(TextFindLastTest, FindsLastMatchAtAUnitStart) {
  const FindLastRow& row = GetParam();
  EXPECT_EQ(TextFindLast(row.text, row.sought), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TextFindLastTest,
    ::testing::Values(
        FindLastRow{"ThirdOfThreeSpans", "a</span>b</span>c</span>", "</span>", 18},
        FindLastRow{"OverlappingLastWins", "aaa", "aa", 2},
        FindLastRow{"Missing", "abc", "x", -1},
        FindLastRow{"EmptyText", "", "x", -1},
        FindLastRow{"EmptySought", "abc", "", 1},
        FindLastRow{"EmptySoughtInEmptyText", "", "", -1},
        FindLastRow{"SecondByteSkipped", "\\" + Lead81 + "\\", "\\", 1},
        FindLastRow{"LoneLeadByteAtEnd", "ab" + Lead81, Lead81, 3},
        FindLastRow{"WholeText", "abc", "abc", 1}),
    RowName{});

struct ReplaceRow {
  const char* name;
  std::string text;
  std::string sought;
  std::string replacement;
  std::string expected;
  friend void PrintTo(const ReplaceRow& row, std::ostream* out) { *out << row.name; }
};

class TextReplaceAllTest : public ::testing::TestWithParam<ReplaceRow> {};

TEST_P(TextReplaceAllTest, ReplacesEveryUnitMatchInOnePass) {
  const ReplaceRow& row = GetParam();
  EXPECT_EQ(TextReplaceAll(row.text, row.sought, row.replacement), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TextReplaceAllTest,
    ::testing::Values(
        ReplaceRow{"OnePassNoRescan", "a&amp;amp;b", "&amp;", "&", "a&amp;b"},
        ReplaceRow{"RemoveEmphasis", "a<em>b</em>", "<em>", "", "ab</em>"},
        ReplaceRow{"EmptyText", "", "a", "b", ""},
        ReplaceRow{"EmptySought", "abc", "", "x", "abc"},
        ReplaceRow{"SecondByteKept", Lead81 + "\\\\", "\\", "/", Lead81 + "\\/"},
        ReplaceRow{"WalkRestartsAfterMatch", "a" + Lead81 + "a" + Lead81, "a" + Lead81, "X", "XX"},
        ReplaceRow{"MatchesDoNotOverlap", "aaa", "aa", "b", "ba"},
        ReplaceRow{"LongerReplacement", "abab", "b", "xyz", "axyzaxyz"},
        ReplaceRow{"ShortTailCopied", "abc", "cd", "", "abc"},
        ReplaceRow{"DoubleByteCharacters", Zhong + "x" + Zhong, Zhong, "y", "yxy"},
        ReplaceRow{"WholeText", "abc", "abc", "", ""}),
    RowName{});

struct SplitRow {
  const char* name;
  std::string text;
  std::string delimiter;
  TextList expected;
  friend void PrintTo(const SplitRow& row, std::ostream* out) { *out << row.name; }
};

class TextSplitTest : public ::testing::TestWithParam<SplitRow> {};

TEST_P(TextSplitTest, SplitsAtUnitMatches) {
  const SplitRow& row = GetParam();
  EXPECT_EQ(TextSplit(row.text, row.delimiter), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TextSplitTest,
    ::testing::Values(
        SplitRow{"TwoParts", "a=b", "=", {"a", "b"}},
        SplitRow{"EmptyMiddle", "a==b", "=", {"a", "", "b"}},
        SplitRow{"EmptyFirst", "=b", "=", {"", "b"}},
        SplitRow{"TrailingDelimiterAddsNothing", "a=", "=", {"a"}},
        SplitRow{"OnlyDelimiter", "=", "=", {""}},
        SplitRow{"ThreeParts", "a=b=c", "=", {"a", "b", "c"}},
        SplitRow{"NoDelimiter", "ab", "=", {"ab"}},
        SplitRow{"EmptyText", "", "=", {}},
        SplitRow{"EmptyDelimiter", "a=b", "", {"a=b"}},
        SplitRow{"SecondByteNotADelimiter", Lead81 + "=a=b", "=", {Lead81 + "=a", "b"}},
        SplitRow{"LoneLeadByteKeptInLast", "a=" + Lead81, "=", {"a", Lead81}},
        SplitRow{"LongDelimiter", "x</td>y</td></td>z", "</td>", {"x", "y", "", "z"}}),
    RowName{});

struct LowerRow {
  const char* name;
  std::string text;
  std::string expected;
  friend void PrintTo(const LowerRow& row, std::ostream* out) { *out << row.name; }
};

class TextToLowerAsciiTest : public ::testing::TestWithParam<LowerRow> {};

TEST_P(TextToLowerAsciiTest, FoldsOnlyOneByteUnits) {
  const LowerRow& row = GetParam();
  EXPECT_EQ(TextToLowerAscii(row.text), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, TextToLowerAsciiTest,
    ::testing::Values(LowerRow{"Letters", "AbC", "abc"},
                      LowerRow{"SecondByteOfUnitStays", "\xB0" "AA", "\xB0" "Aa"},
                      LowerRow{"LoneLeadByteAtEnd", "A" + Lead81, "a" + Lead81},
                      LowerRow{"NonLettersUnchanged", "@[`{Z1", "@[`{z1"},
                      LowerRow{"Empty", "", ""}),
    RowName{});

// The unit walk exactly as described, one position at a time: the reference for the fast paths.
bool UnitMatchesAt(std::string_view text, std::size_t at, std::string_view sought, bool ignoreCase) {
  if (text.size() - at < sought.size()) return false;
  for (std::size_t k = 0; k < sought.size(); ++k) {
    unsigned char a = static_cast<unsigned char>(text[at + k]);
    unsigned char b = static_cast<unsigned char>(sought[k]);
    if (ignoreCase) {
      if (a >= 'A' && a <= 'Z') a += 0x20;
      if (b >= 'A' && b <= 'Z') b += 0x20;
    }
    if (a != b) return false;
  }
  return true;
}

std::size_t UnitLength(std::string_view text, std::size_t at) {
  return static_cast<unsigned char>(text[at]) >= 0x80 ? 2 : 1;
}

int WalkFind(std::string_view text, std::string_view sought, int start, bool ignoreCase) {
  const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (from >= text.size()) return -1;
  if (sought.empty()) return 1;
  for (std::size_t at = from; at < text.size(); at += UnitLength(text, at)) {
    if (UnitMatchesAt(text, at, sought, ignoreCase)) return static_cast<int>(at) + 1;
  }
  return -1;
}

int WalkFindLast(std::string_view text, std::string_view sought) {
  if (text.empty()) return -1;
  if (sought.empty()) return 1;
  int last = -1;
  for (std::size_t at = 0; at < text.size(); at += UnitLength(text, at)) {
    if (UnitMatchesAt(text, at, sought, false)) last = static_cast<int>(at) + 1;
  }
  return last;
}

std::string WalkReplace(std::string_view text, std::string_view sought, std::string_view replacement) {
  if (text.empty() || sought.empty()) return std::string(text);
  std::string result;
  std::size_t at = 0;
  while (at < text.size()) {
    if (UnitMatchesAt(text, at, sought, false)) {
      result += replacement;
      at += sought.size();
    } else {
      const std::size_t length = std::min(UnitLength(text, at), text.size() - at);
      result += text.substr(at, length);
      at += length;
    }
  }
  return result;
}

TextList WalkSplit(std::string_view text, std::string_view delimiter) {
  if (text.empty()) return {};
  if (delimiter.empty()) return {std::string(text)};
  TextList parts;
  std::size_t partStart = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    if (UnitMatchesAt(text, at, delimiter, false)) {
      parts.emplace_back(text.substr(partStart, at - partStart));
      at += delimiter.size();
      partStart = at;
    } else {
      at += UnitLength(text, at);
    }
  }
  if (partStart < text.size()) parts.emplace_back(text.substr(partStart));
  return parts;
}

std::string RandomText(std::mt19937& random, std::string_view alphabet, std::size_t maxLength) {
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  std::string text(length(random), ' ');
  for (char& c : text) c = alphabet[pick(random)];
  return text;
}

struct AlphabetRow {
  const char* name;
  std::string alphabet;
  std::size_t maxTextLength;
  std::size_t maxSoughtLength;
  int rounds;
  friend void PrintTo(const AlphabetRow& row, std::ostream* out) { *out << row.name; }
};

class UnitWalkAgreementTest : public ::testing::TestWithParam<AlphabetRow> {};

// Small alphabets of letters, backslashes and lead bytes put matches at every kind of position,
// and long texts drive the searches past their cheap restarts onto the fallback scan.
TEST_P(UnitWalkAgreementTest, FastPathsAgreeWithTheWalk) {
  const AlphabetRow& row = GetParam();
  std::mt19937 random(20240611);
  for (int round = 0; round < row.rounds; ++round) {
    const std::string text = RandomText(random, row.alphabet, row.maxTextLength);
    const std::string sought = RandomText(random, row.alphabet, row.maxSoughtLength);
    const std::string replacement = RandomText(random, row.alphabet, 3);
    const int start = static_cast<int>(random() % (text.size() + 3)) - 1;
    SCOPED_TRACE(::testing::Message() << "round " << round);
    ASSERT_EQ(TextFind(text, sought, start, false), WalkFind(text, sought, start, false));
    ASSERT_EQ(TextFind(text, sought, start, true), WalkFind(text, sought, start, true));
    ASSERT_EQ(TextFindLast(text, sought), WalkFindLast(text, sought));
    ASSERT_EQ(TextReplaceAll(text, sought, replacement), WalkReplace(text, sought, replacement));
    ASSERT_EQ(TextSplit(text, sought), WalkSplit(text, sought));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Random, UnitWalkAgreementTest,
    ::testing::Values(AlphabetRow{"ShortMixed", "aAb\\=\x81\xA3\xD6", 24, 4, 20000},
                      AlphabetRow{"ShortTwoSymbols", "a\x81", 16, 5, 20000},
                      AlphabetRow{"LongTwoSymbols", "a\x81", 6000, 40, 60},
                      AlphabetRow{"LongHighBytesOnly", "\x81\x82", 6000, 30, 60},
                      AlphabetRow{"LongLetters", "aA", 6000, 30, 60}),
    RowName{});

// Every byte match of a needle that repeats itself, at a cost that stays linear: the scan crosses
// from memmem to its fallback partway and must neither skip nor repeat a position.
TEST(OccurrencesTest, ReportsEveryOverlappingOccurrenceAcrossTheFallback) {
  const std::string haystack(20000, 'a');
  const std::string needle(8, 'a');
  unit_search::Occurrences occurrences(haystack, needle);
  std::size_t expected = 0;
  for (std::size_t at = occurrences.Next(0); at != unit_search::None; at = occurrences.Next(at + 1)) {
    ASSERT_EQ(at, expected);
    ++expected;
  }
  EXPECT_EQ(expected, haystack.size() - needle.size() + 1);
}

TEST(OccurrencesTest, SkipsPastAMatchWhenAskedToAcrossTheFallback) {
  const std::string haystack(20000, 'a');
  const std::string needle(8, 'a');
  unit_search::Occurrences occurrences(haystack, needle);
  std::size_t expected = 0;
  for (std::size_t at = occurrences.Next(0); at != unit_search::None;
       at = occurrences.Next(at + needle.size())) {
    ASSERT_EQ(at, expected);
    expected += needle.size();
  }
  EXPECT_EQ(expected, haystack.size());
}

// A needle whose byte matches all fall on second bytes: every candidate is refused.
TEST(UnitWalkTest, RefusesEverySecondByteMatchInALongText) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "\x81" "a";
  std::string sought = "a";
  for (int i = 0; i < 20; ++i) sought += "\x81" "a";
  EXPECT_EQ(TextFind(text, sought), -1);
  EXPECT_EQ(TextFindLast(text, sought), -1);
  EXPECT_EQ(TextReplaceAll(text, sought, "x"), text);
  EXPECT_EQ(TextSplit(text, sought), TextList{text});
  EXPECT_EQ(TextFind(text, sought, 2), 2);
}

}  // namespace
}  // namespace tarnisk
