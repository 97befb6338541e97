#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "search/in_memory_desktop.h"
#include "search/search.h"

namespace tarnisk {
namespace {

using testing::InMemoryWindow;
using testing::kNameMarker;
using testing::kSharerMarker;
using testing::kSizeMarker;

std::string Entry(std::string_view name, std::string_view size) {
  return std::string(kNameMarker).append(name).append(kSizeMarker).append(size).append(kSharerMarker);
}

std::string Link(std::string_view scheme, std::string_view token) {
  return std::string(scheme).append("://").append(SearchHost()).append("/link?url=").append(token).append("\"");
}

struct ParseCase {
  const char* name;
  std::string page;
  TextList names;
  TextList sizes;
  TextList links;
};

void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.name; }

class ParseResultPageCases : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseResultPageCases, FillsTheListsAndTheRows) {
  const ParseCase& c = GetParam();
  AppState state;
  state.CurrentPageHtml = c.page;
  InMemoryWindow window;
  ParseResultPage(state, window);
  EXPECT_EQ(state.ResultNames, c.names);
  EXPECT_EQ(state.ResultSizes, c.sizes);
  EXPECT_EQ(state.ResultLinks, c.links);
  ASSERT_EQ(window.rows.size(), c.names.size());
  for (std::size_t i = 0; i < c.names.size(); ++i) {
    EXPECT_EQ(window.rows[i][0], c.names[i]) << "row " << i;
    EXPECT_EQ(window.rows[i][1], i < c.sizes.size() ? c.sizes[i] : Text()) << "row " << i;
  }
}

const std::string kUpperEm = "<EM>big</EM>.iso";
const std::string kTwoNames = std::string("a").append(kNameMarker).append("b");

INSTANTIATE_TEST_SUITE_P(
    Pages, ParseResultPageCases,
    ::testing::Values(
        ParseCase{"BlanksStayAtTheEnds", "<p>" + Entry("report.pdf ", "1 MB ") + "</p>",
                  {"report.pdf "}, {"1 MB "}, {}},
        ParseCase{"EmTagsRemovedFromNames", Entry("<em>report</em>.pdf", "3 KB"),
                  {"report.pdf"}, {"3 KB"}, {}},
        ParseCase{"ClosingTagLeftByTheFirstPassRemoved", Entry("a</<em>em>b", "1"), {"ab"}, {"1"}, {}},
        ParseCase{"TagInsideADoubleByteCharacterStays", Entry("\x81<em>x</em>", "1"),
                  {"\x81<em>x"}, {"1"}, {}},
        ParseCase{"UpperCaseEmTagsStay", Entry(kUpperEm, "4 GB"), {kUpperEm}, {"4 GB"}, {}},
        ParseCase{"NameAcrossLineBreaks", Entry("first\r\nsecond.txt", "1"),
                  {"first\r\nsecond.txt"}, {"1"}, {}},
        ParseCase{"TwoNameMarkersGiveOneName",
                  std::string(kNameMarker) + "a" + Entry("b", "9"), {kTwoNames}, {"9"}, {}},
        ParseCase{"EmptyName", Entry("", "2 MB"), {""}, {"2 MB"}, {}},
        ParseCase{"MoreNamesThanSizes",
                  Entry("a", "1") + Entry("b", "2") + std::string(kNameMarker) + "c" +
                      std::string(kSizeMarker),
                  {"a", "b", "c"}, {"1", "2"}, {}},
        ParseCase{"SizesAndLinksWithoutNames",
                  std::string(kSizeMarker) + "5" + std::string(kSharerMarker) + Link("http", "t"),
                  {}, {"5"}, {"t"}},
        ParseCase{"HttpLinksOnlyInPageOrder",
                  Link("http", "one") + Link("https", "secure") + Link("http", "two&amp;x"),
                  {}, {}, {"one", "two&amp;x"}},
        ParseCase{"OpeningMarkerWithoutClosingGivesNothing",
                  std::string(kNameMarker) + "orphan" + std::string(kSizeMarker) + "no sharer" +
                      "http://" + SearchHost() + "/link?url=unclosed",
                  {"orphan"}, {}, {}},
        ParseCase{"ChineseNameKeepsItsBytes", Entry("\xD6\xD0\xCE\xC4.zip", "\xB4\xF3"),
                  {"\xD6\xD0\xCE\xC4.zip"}, {"\xB4\xF3"}, {}},
        ParseCase{"EmptyPage", "", {}, {}, {}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(ParseResultPage, ReplacesTheRowsAndListsOfTheLastPage) {
  AppState state;
  InMemoryWindow window;
  state.CurrentPageHtml = Entry("old1", "1") + Entry("old2", "2") + Link("http", "x");
  ParseResultPage(state, window);
  ASSERT_EQ(window.rows.size(), 2u);

  state.CurrentPageHtml = Entry("new", "3");
  ParseResultPage(state, window);
  EXPECT_EQ(state.ResultNames, TextList{"new"});
  EXPECT_TRUE(state.ResultLinks.empty());
  ASSERT_EQ(window.rows.size(), 1u);
  EXPECT_EQ(window.rows[0], (std::vector<Text>{"new", "3"}));

  state.CurrentPageHtml.clear();
  ParseResultPage(state, window);
  EXPECT_TRUE(window.rows.empty());
  EXPECT_TRUE(state.ResultNames.empty());
  EXPECT_TRUE(state.ResultSizes.empty());
}

// The parse strips the tags as two whole-text replacements would, whatever the bytes around them.
TEST(ParseResultPage, StripsTagsAsTwoReplacementPasses) {
  const std::string pieces[] = {"<em>", "</em>", "<", "/", "em>", "</", "\x81", "\xD6\xD0", "a",
                                std::string(kNameMarker), std::string(kSizeMarker),
                                std::string(kSharerMarker)};
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
  for (int round = 0; round < 3000; ++round) {
    AppState state;
    for (int i = 0; i < 24; ++i) state.CurrentPageHtml += pieces[pick(random)];
    InMemoryWindow window;
    ParseResultPage(state, window);

    const Text reference = TextReplaceAll(TextReplaceAll(state.CurrentPageHtml, "<em>", ""), "</em>", "");
    TextList names;
    TextList sizes;
    CollectMatches(reference, NamePattern(), names);
    CollectMatches(reference, SizePattern(), sizes);
    ASSERT_EQ(state.ResultNames, names) << ::testing::PrintToString(state.CurrentPageHtml);
    ASSERT_EQ(state.ResultSizes, sizes) << ::testing::PrintToString(state.CurrentPageHtml);
  }
}

TEST(LinkPattern, HostDotsMatchAnyByte) {
  // The host goes into the pattern unescaped, as the page patterns always have.
  std::string host = SearchHost();
  for (char& c : host) {
    if (c == '.') c = 'X';
  }
  if (host == SearchHost()) GTEST_SKIP() << "host has no dot";
  TextList links;
  CollectMatches("http://" + host + "/link?url=tok\"", LinkPattern(), links);
  EXPECT_EQ(links, TextList{"tok"});
}

TEST(CollectMatches, AppendsWithoutEmptyingTheList) {
  TextList list{"kept"};
  CollectMatches("<a>1</a><a>2</a>", "<a>(.*?)</a>", list);
  EXPECT_EQ(list, (TextList{"kept", "1", "2"}));
}

TEST(CollectMatches, ClosingMarkerIsNotReused) {
  TextList list;
  CollectMatches("[a][b]c]", "\\[(.*?)\\]", list);
  EXPECT_EQ(list, (TextList{"a", "b"}));
}

TEST(CollectMatches, PatternThatDoesNotCompileGivesNothing) {
  TextList list;
  CollectMatches("abc", "(unclosed", list);
  CollectMatches("abc", "a**?(", list);
  EXPECT_TRUE(list.empty());
}

TEST(CollectMatches, EmptyMatchesEnd) {
  TextList list;
  CollectMatches("abc", "(x*)", list);
  // One empty match before each byte and one at the end, then the collection stops.
  EXPECT_EQ(list, TextList(4));
}

TEST(CollectMatches, AbandonedMatchKeepsWhatWasFound) {
  // Nested repetition over a long run without the final byte makes the engine give up after the
  // first match.
  const std::string text = "<b>found</b>" + std::string(5000, 'x');
  TextList list;
  CollectMatches(text, "<b>(.*?)</b>|((x+x+)+y)", list);
  EXPECT_EQ(list, TextList{"found"});
}

TEST(CollectMatches, EmptyTextHasNoMatches) {
  TextList list;
  CollectMatches("", "(.*?)", list);
  EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace tarnisk
