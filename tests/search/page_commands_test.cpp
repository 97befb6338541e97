#include <gtest/gtest.h>

#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/event_pump.h"
#include "search/in_memory_desktop.h"
#include "search/search.h"
#include "search/service_stand_in.h"

namespace tarnisk {
namespace {

using namespace std::chrono_literals;
using testing::Gb;
using testing::InMemoryWindow;
using testing::LoopbackExchange;
using testing::OkPage;
using testing::PageCaption;
using testing::ServiceStandIn;

// The request target of a query for an encoded keyword, as the server sees it.
std::string QueryTarget(std::string_view encodedKeyword) {
  return std::string("/s?ie=utf-8&wd=").append(encodedKeyword).append("+site%3A").append(NetdiskDomain());
}

// A UTF-8 result page with one entry per name, as the search engine sends it.
std::string ResultPage(std::initializer_list<std::string_view> names) {
  std::string page = "<html><body>";
  for (std::string_view name : names) {
    page.append("<div>文件名:").append(name).append(" 文件大小:1 KB 分享者:x</div>");
    page.append("<a href=\"http://").append(SearchHost()).append("/link?url=tok-").append(name).append("\">");
  }
  return page.append("</body></html>");
}

// A page shown before paging (GB18030, as CurrentPageHtml holds it) with both markers and the
// current page number as the engine marks it up.
Text ShownPage(std::string_view pageNumber) {
  return Gb(std::string("<a>上一页</a><strong><span class=\"pc\">")
                .append(pageNumber)
                .append("</span></strong><a>下一页</a>"));
}

enum class Command { Search, Jump, Next, Previous };

void RunCommand(Command command, AppState& state, WindowControls& window) {
  switch (command) {
    case Command::Search: RunSearch(state, window); break;
    case Command::Jump: JumpToPage(state, window); break;
    case Command::Next: GoNextPage(state, window); break;
    case Command::Previous: GoPreviousPage(state, window); break;
  }
}

struct UrlCase {
  const char* name;
  Command command;
  std::string input;      // the keyword for a search, the page box for a jump
  Text shownPage;         // CurrentPageHtml before a step
  std::string target;     // the request target expected
  std::string caption;    // the page label expected
};

void PrintTo(const UrlCase& c, std::ostream* out) { *out << c.name; }

class CommandUrls : public ::testing::TestWithParam<UrlCase> {};

TEST_P(CommandUrls, RequestCaptionAndRows) {
  const UrlCase& c = GetParam();
  ServiceStandIn standIn(testing::FixedResponse(OkPage(ResultPage({"served"}))));
  AppState state;
  state.EncodedKeyword = "abc";
  state.CurrentPageHtml = c.shownPage;
  InMemoryWindow window;
  (c.command == Command::Search ? window.keyword : window.pageBox) = c.input;

  RunCommand(c.command, state, window);

  EXPECT_EQ(standIn.Targets(), std::vector<std::string>{c.target});
  EXPECT_EQ(window.pageLabel, c.caption);
  ASSERT_EQ(window.rows.size(), 1u);
  EXPECT_EQ(window.rows[0][0], "served ");
  EXPECT_EQ(state.ResultLinks, TextList{"tok-served"});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandUrls,
    ::testing::Values(
        UrlCase{"SearchPlainKeyword", Command::Search, "abc", "", QueryTarget("abc"), PageCaption("1")},
        UrlCase{"SearchEncodesKeyword", Command::Search, Gb("中 文+~"), "",
                QueryTarget("%E4%B8%AD+%E6%96%87%2B%7E"), PageCaption("1")},
        UrlCase{"SearchEmptyKeyword", Command::Search, "", "", QueryTarget(""), PageCaption("1")},
        UrlCase{"JumpPageOne", Command::Jump, "1", "", QueryTarget("abc") + "&pn=0", PageCaption("1")},
        UrlCase{"JumpFractionalPage", Command::Jump, "2.5", "", QueryTarget("abc") + "&pn=15",
                PageCaption("2.5")},
        UrlCase{"JumpPageZero", Command::Jump, "0", "", QueryTarget("abc") + "&pn=-10", PageCaption("0")},
        UrlCase{"JumpEmptyBox", Command::Jump, "", "", QueryTarget("abc") + "&pn=-10", PageCaption("0")},
        UrlCase{"JumpNoLeadingNumber", Command::Jump, "-x", "", QueryTarget("abc") + "&pn=-10",
                PageCaption("0")},
        UrlCase{"JumpFullWidthDigits", Command::Jump, Gb("１２"), "", QueryTarget("abc") + "&pn=110",
                PageCaption("12")},
        UrlCase{"JumpNearTenToTheTwelfth", Command::Jump, "1000000000000", "",
                QueryTarget("abc") + "&pn=9999999999990", PageCaption("1000000000000")},
        UrlCase{"JumpOffsetInExponentForm", Command::Jump, "1000000000001", "",
                QueryTarget("abc") + "&pn=1e+013", PageCaption("1000000000001")},
        UrlCase{"NextFromPageThree", Command::Next, "", ShownPage("3"), QueryTarget("abc") + "&pn=30",
                PageCaption("4")},
        UrlCase{"PreviousFromPageThree", Command::Previous, "", ShownPage("3"),
                QueryTarget("abc") + "&pn=10", PageCaption("2")},
        UrlCase{"PreviousFromPageTwo", Command::Previous, "", ShownPage("2"),
                QueryTarget("abc") + "&pn=0", PageCaption("1")},
        UrlCase{"NextWithoutPageNumber", Command::Next, "", Gb("<a>下一页</a>"),
                QueryTarget("abc") + "&pn=0", PageCaption("1")},
        UrlCase{"PreviousWithoutPageNumber", Command::Previous, "", Gb("<a>上一页</a>"),
                QueryTarget("abc") + "&pn=-20", PageCaption("-1")}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

TEST(RunSearch, StoresTheDecodedPageAndFillsTheRows) {
  const std::string page = ResultPage({"甲.zip", "乙.rar"});
  ServiceStandIn standIn(testing::FixedResponse(OkPage(page)));
  AppState state;
  InMemoryWindow window;
  window.keyword = Gb("电影");
  window.pageLabel = PageCaption("7");

  RunSearch(state, window);

  EXPECT_EQ(state.EncodedKeyword, "%E7%94%B5%E5%BD%B1");
  EXPECT_EQ(state.CurrentPageHtml, Gb(page));
  EXPECT_EQ(window.pageLabel, PageCaption("1"));
  EXPECT_EQ(state.ResultNames, (TextList{Gb("甲.zip "), Gb("乙.rar ")}));
  EXPECT_EQ(state.ResultSizes, (TextList{"1 KB ", "1 KB "}));
  EXPECT_EQ(state.ResultLinks, (TextList{Gb("tok-甲.zip"), Gb("tok-乙.rar")}));
  ASSERT_EQ(window.rows.size(), 2u);
  EXPECT_EQ(window.rows[1], (std::vector<Text>{Gb("乙.rar "), "1 KB "}));
}

struct MissingMarkerCase {
  const char* name;
  Command command;
  Text shownPage;
};

void PrintTo(const MissingMarkerCase& c, std::ostream* out) { *out << c.name; }

class StepWithoutMarker : public ::testing::TestWithParam<MissingMarkerCase> {};

TEST_P(StepWithoutMarker, ChangesNothingAndFetchesNothing) {
  const MissingMarkerCase& c = GetParam();
  ServiceStandIn standIn(testing::FixedResponse(OkPage(ResultPage({"new"}))));
  AppState state;
  state.EncodedKeyword = "abc";
  state.CurrentPageHtml = c.shownPage;
  InMemoryWindow window;
  ParseResultPage(state, window);
  window.SetPageLabel(PageCaption("5"));
  const auto rowsBefore = window.rows;

  RunCommand(c.command, state, window);

  EXPECT_EQ(standIn.server().RequestCount(), 0u);
  EXPECT_EQ(window.pageLabel, PageCaption("5"));
  EXPECT_EQ(window.labelWrites, 1);
  EXPECT_EQ(window.rows, rowsBefore);
  EXPECT_EQ(state.CurrentPageHtml, c.shownPage);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, StepWithoutMarker,
    ::testing::Values(
        MissingMarkerCase{"NextOnLastPage", Command::Next,
                          Gb("文件名:old 文件大小:1分享者:<a>上一页</a><span>9</span></strong>")},
        MissingMarkerCase{"PreviousOnFirstPage", Command::Previous,
                          Gb("文件名:old 文件大小:1分享者:<span>1</span></strong><a>下一页</a>")},
        MissingMarkerCase{"NextBeforeAnySearch", Command::Next, ""},
        MissingMarkerCase{"PreviousBeforeAnySearch", Command::Previous, ""}),
    [](const ::testing::TestParamInfo<MissingMarkerCase>& info) { return std::string(info.param.name); });

std::string CommandName(const ::testing::TestParamInfo<Command>& info) {
  switch (info.param) {
    case Command::Search: return "Search";
    case Command::Jump: return "Jump";
    case Command::Next: return "Next";
    case Command::Previous: return "Previous";
  }
  return "Unknown";
}

class FailedFetch : public ::testing::TestWithParam<Command> {};

TEST_P(FailedFetch, EmptiesTheListAndWritesTheCaption) {
  ServiceStandIn standIn([](LoopbackExchange& exchange) { exchange.Close(); });
  AppState state;
  state.EncodedKeyword = "abc";
  state.CurrentPageHtml = ShownPage("3") + Gb("文件名:old 文件大小:1分享者:");
  InMemoryWindow window;
  window.keyword = "abc";
  window.pageBox = "4";
  ParseResultPage(state, window);
  ASSERT_EQ(window.rows.size(), 1u);

  RunCommand(GetParam(), state, window);

  EXPECT_EQ(standIn.server().RequestCount(), 1u);
  EXPECT_TRUE(state.CurrentPageHtml.empty());
  EXPECT_TRUE(state.ResultNames.empty());
  EXPECT_TRUE(window.rows.empty());
  const std::string expected = GetParam() == Command::Search  ? "1"
                               : GetParam() == Command::Next  ? "4"
                               : GetParam() == Command::Jump  ? "4"
                                                              : "2";
  EXPECT_EQ(window.pageLabel, PageCaption(expected));
}

INSTANTIATE_TEST_SUITE_P(Commands, FailedFetch,
                         ::testing::Values(Command::Search, Command::Jump, Command::Next, Command::Previous),
                         CommandName);

TEST(JumpToPage, WorksBeforeAnySearchAndReplacesTheRows) {
  ServiceStandIn standIn(testing::FixedResponse(OkPage(ResultPage({"jumped"}))));
  AppState state;
  InMemoryWindow window;
  window.pageBox = "3";
  window.rows = {{"before", "1"}};

  JumpToPage(state, window);

  EXPECT_EQ(standIn.Targets(), std::vector<std::string>{QueryTarget("") + "&pn=20"});
  ASSERT_EQ(window.rows.size(), 1u);
  EXPECT_EQ(window.rows[0][0], "jumped ");
}

// A newer command that runs while an older one waits for its page decides what is shown: the
// older command, returning last, changes nothing after its fetch.
struct NestedCase {
  const char* name;
  Command outer;
  Command inner;
  std::string caption;      // expected at the end
  std::string shownName;    // the name of the one row expected at the end
  Text keyword;             // EncodedKeyword at the end
};

void PrintTo(const NestedCase& c, std::ostream* out) { *out << c.name; }

class NestedCommands : public ::testing::TestWithParam<NestedCase> {};

TEST_P(NestedCommands, NewestCommandWins) {
  const NestedCase& c = GetParam();
  // The outer command asks with keyword "slow" and gets its page late and in pieces, so that its
  // fetch dispatches events while it waits; every other request is answered at once.
  ServiceStandIn standIn([](LoopbackExchange& exchange) {
    const std::string& target = exchange.request().target;
    const bool paging = target.find("&pn=") != std::string::npos;
    if (target.find("wd=slow+") != std::string::npos && (!paging || target.ends_with("&pn=30"))) {
      exchange.Pause(300ms);
      exchange.SendInPieces(OkPage(ResultPage({"outer"})), 64, 2ms);
    } else {
      exchange.Send(OkPage(ResultPage({"inner"})));
    }
  });
  AppState state;
  state.EncodedKeyword = "slow";
  state.CurrentPageHtml = ShownPage("3");
  InMemoryWindow window;
  window.keyword = "slow";
  window.pageBox = "2";

  bool innerRan = false;
  bool outerReturned = false;
  // The stand-in serves one connection at a time, so the inner command starts once the outer
  // request has reached it; the check runs from the event dispatch inside the outer fetch.
  QTimer trigger;
  trigger.setInterval(5);
  QObject::connect(&trigger, &QTimer::timeout, [&] {
    if (standIn.server().RequestCount() == 0) return;
    trigger.stop();
    EXPECT_FALSE(outerReturned);
    window.keyword = "quick";
    RunCommand(c.inner, state, window);
    innerRan = true;
  });
  trigger.start();
  RunCommand(c.outer, state, window);
  outerReturned = true;

  ASSERT_TRUE(innerRan) << "the inner command did not run during the outer fetch";
  EXPECT_EQ(standIn.server().RequestCount(), 2u);
  EXPECT_EQ(window.pageLabel, PageCaption(c.caption));
  ASSERT_EQ(window.rows.size(), 1u);
  EXPECT_EQ(window.rows[0][0], c.shownName + " ");
  EXPECT_EQ(state.ResultNames, TextList{c.shownName + " "});
  EXPECT_NE(state.CurrentPageHtml.find(c.shownName), std::string::npos);
  EXPECT_EQ(state.EncodedKeyword, c.keyword);
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, NestedCommands,
    ::testing::Values(
        NestedCase{"SearchInsideSearch", Command::Search, Command::Search, "1", "inner", "quick"},
        NestedCase{"JumpInsideSearch", Command::Search, Command::Jump, "2", "inner", "slow"},
        NestedCase{"SearchInsideNext", Command::Next, Command::Search, "1", "inner", "quick"}),
    [](const ::testing::TestParamInfo<NestedCase>& info) { return std::string(info.param.name); });

// Closing the tool while a fetch waits: the fetch gives up at once and the command writes to no
// control, which may be gone by then. 0 when all went so.
int CloseDuringAFetch() {
  ServiceStandIn standIn([](LoopbackExchange& exchange) {
    exchange.Pause(3s);
    exchange.Send(OkPage(ResultPage({"late"})));
  });
  AppState state;
  state.CurrentPageHtml = "before";
  InMemoryWindow window;
  window.keyword = "abc";
  window.rows = {{"old", "1"}};
  QTimer trigger;
  trigger.setInterval(5);
  QObject::connect(&trigger, &QTimer::timeout, [&] {
    if (standIn.server().RequestCount() == 0) return;
    trigger.stop();
    platform::RequestShutdown();
  });
  trigger.start();
  const auto started = std::chrono::steady_clock::now();
  RunSearch(state, window);
  const bool prompt = std::chrono::steady_clock::now() - started < 2s;
  const bool untouched = window.labelWrites == 0 && window.rows.size() == 1 &&
                         state.CurrentPageHtml == "before" && state.ResultNames.empty();
  return prompt && untouched ? 0 : 1;
}

// In a child process, as the request to end cannot be taken back.
TEST(PageCommandsDeathTest, ClosingDuringAFetchLeavesTheWindowAlone) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(CloseDuringAFetch()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tarnisk
