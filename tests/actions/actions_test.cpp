#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "actions/actions.h"
#include "platform/threads.h"
#include "search/in_memory_desktop.h"
#include "search/search.h"
#include "search/service_stand_in.h"

namespace tarnisk {
namespace {

using namespace std::chrono_literals;
using testing::Gb;
using testing::InMemoryClipboard;
using testing::InMemoryShell;
using testing::InMemoryWindow;
using testing::LoopbackExchange;
using testing::OkPage;
using testing::PageCaption;
using testing::ServiceStandIn;

constexpr auto kWorkerBound = 10s;

std::string RowAddress(std::string_view token) {
  return std::string("http://").append(SearchHost()).append("/link?url=").append(token);
}

std::string NetdiskUrl(std::string_view path) {
  return std::string("http://").append(NetdiskDomain()).append(path);
}

// The search engine's link page: an anchor whose href leads to the share page.
std::string LinkPage(std::string_view href) {
  return std::string("<html><body><a href=\"").append(href).append("\">go</a><a href=\"/other\">x</a></body></html>");
}

// The share page carries the direct link inside a script, escaped as JSON inside a string.
std::string SharePage(std::string_view escapedLink) {
  return std::string("<script>var data = \"{\\\"fs_id\\\":1,\\\"dlink\\\":\\\"")
      .append(escapedLink)
      .append("\\\",\\\"size\\\":9}\";</script>");
}

TEST(CopySelectedAddress, CopiesTheSecondRowsAddressAndSaysSo) {
  AppState state;
  state.ResultLinks = {"first", "abc"};
  InMemoryWindow window;
  window.selectedRow = 1;
  window.pageLabel = PageCaption("3");
  InMemoryClipboard clipboard;

  CopySelectedAddress(state, window, clipboard);

  EXPECT_EQ(clipboard.text, RowAddress("abc"));
  EXPECT_EQ(clipboard.text, LinkPrefix() + "abc");
  EXPECT_EQ(window.pageLabel, testing::kCopied);
}

TEST(CopySelectedAddress, RefusedByTheClipboardLeavesTheCaption) {
  AppState state;
  state.ResultLinks = {"abc"};
  InMemoryWindow window;
  window.selectedRow = 0;
  window.pageLabel = PageCaption("3");
  InMemoryClipboard clipboard;
  clipboard.accepts = false;

  CopySelectedAddress(state, window, clipboard);

  EXPECT_EQ(clipboard.placements, 1);
  EXPECT_EQ(window.pageLabel, PageCaption("3"));
  EXPECT_EQ(window.labelWrites, 0);
}

struct NoTokenCase {
  const char* name;
  int selectedRow;
  std::size_t links;
};

void PrintTo(const NoTokenCase& c, std::ostream* out) { *out << c.name; }

class RowWithoutToken : public ::testing::TestWithParam<NoTokenCase> {};

TEST_P(RowWithoutToken, BothCommandsDoNothing) {
  const NoTokenCase& c = GetParam();
  ServiceStandIn standIn(testing::FixedResponse(OkPage("")));
  AppState state;
  for (std::size_t i = 0; i < c.links; ++i) state.ResultLinks.push_back("t" + std::to_string(i));
  state.WorkerHandles = {7, 0, 0};
  InMemoryWindow window;
  window.selectedRow = c.selectedRow;
  InMemoryClipboard clipboard;
  InMemoryShell shell;

  CopySelectedAddress(state, window, clipboard);
  DownloadSelected(state, window, shell);
  ASSERT_TRUE(platform::WaitForWorkers(kWorkerBound));

  EXPECT_EQ(clipboard.placements, 0);
  EXPECT_EQ(window.labelWrites, 0);
  EXPECT_EQ(state.WorkerHandles, (std::array<std::int32_t, 3>{7, 0, 0}));
  EXPECT_EQ(standIn.server().RequestCount(), 0u);
  EXPECT_TRUE(shell.Opened().empty());
}

INSTANTIATE_TEST_SUITE_P(Selections, RowWithoutToken,
                         ::testing::Values(NoTokenCase{"NoRowSelected", -1, 2},
                                           NoTokenCase{"RowBeyondTheLinks", 2, 2},
                                           NoTokenCase{"NoLinksAtAll", 0, 0}),
                         [](const ::testing::TestParamInfo<NoTokenCase>& info) {
                           return std::string(info.param.name);
                         });

struct AddressCase {
  const char* name;
  std::string address;
  bool safe;
};

void PrintTo(const AddressCase& c, std::ostream* out) { *out << c.name; }

class BrowserAddresses : public ::testing::TestWithParam<AddressCase> {};

TEST_P(BrowserAddresses, OnlyWebAddressesWithoutBlanksOrControls) {
  EXPECT_EQ(IsSafeBrowserAddress(GetParam().address), GetParam().safe);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, BrowserAddresses,
    ::testing::Values(AddressCase{"Http", "http://d.example/f.zip", true},
                      AddressCase{"HttpsUpperCase", "HTTPS://d.example/f", true},
                      AddressCase{"MixedCase", "HtTp://d.example/f", true},
                      AddressCase{"BackslashPairAfterColon", "http:\\\\host/f", true},
                      AddressCase{"ChineseInPath", "http://d.example/\xD6\xD0.zip", true},
                      AddressCase{"Empty", "", false},
                      AddressCase{"NoScheme", "d.example/f", false},
                      AddressCase{"File", "file:///etc/passwd", false},
                      AddressCase{"Javascript", "javascript:alert(1)", false},
                      AddressCase{"LocalProgram", "/usr/bin/xterm", false},
                      AddressCase{"DriveLetter", "C:\\Windows\\calc.exe", false},
                      AddressCase{"OtherScheme", "ftp://d.example/f", false},
                      AddressCase{"SchemeWithSuffix", "httpx://d.example/f", false},
                      AddressCase{"LeadingSpace", " http://d.example/f", false},
                      AddressCase{"InnerSpace", "http://d.example/a b", false},
                      AddressCase{"Tab", "http://d.example/a\tb", false},
                      AddressCase{"LineFeed", "http://d.example/\n--option", false},
                      AddressCase{"Delete", "http://d.example/\x7F", false}),
    [](const ::testing::TestParamInfo<AddressCase>& info) { return std::string(info.param.name); });

// A whole download: link page, share page, the direct link handed to the shell.
struct ResolveCase {
  const char* name;
  std::string href;             // the first href of the link page
  std::string sharePath;        // the share page's request target the href must lead to
  std::string escapedLink;      // the direct link as the share page writes it
  std::vector<std::string> opened;
};

void PrintTo(const ResolveCase& c, std::ostream* out) { *out << c.name; }

class ResolveDownload : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveDownload, HandsTheDirectLinkToTheShell) {
  const ResolveCase& c = GetParam();
  ServiceStandIn standIn([&c](LoopbackExchange& exchange) {
    const std::string& target = exchange.request().target;
    if (target == "/link?url=tok") {
      exchange.Send(OkPage(LinkPage(c.href)));
    } else if (target == c.sharePath) {
      exchange.Send(OkPage(SharePage(c.escapedLink)));
    } else {
      exchange.Send(testing::PlainResponse(404, "Not Found", ""));
    }
  });
  AppState state;
  state.ResultLinks = {"other", "tok"};
  InMemoryWindow window;
  window.selectedRow = 1;
  InMemoryShell shell;

  DownloadSelected(state, window, shell);
  ASSERT_TRUE(platform::WaitForWorkers(kWorkerBound));

  EXPECT_NE(state.WorkerHandles[0], 0);
  std::vector<std::string> targets = standIn.Targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[1], c.sharePath);
  EXPECT_EQ(shell.Opened(), c.opened);
}

INSTANTIATE_TEST_SUITE_P(
    Links, ResolveDownload,
    ::testing::Values(
        ResolveCase{"EscapedLinkOfTheWorkedExample", NetdiskUrl("/s/1abc?uk=1&amp;shareid=2"),
                    "/s/1abc?uk=1&shareid=2", "http:\\\\/\\\\/d.example\\\\/f",
                    {"http:\\\\d.example/f"}},
        ResolveCase{"CharacterReferenceReplacedInOnePass", NetdiskUrl("/s/t?a&amp;amp;b"), "/s/t?a&amp;b",
                    "https://d.example/f.zip", {"https://d.example/f.zip"}},
        ResolveCase{"LinkWithoutTheSequenceKeepsItsStart", NetdiskUrl("/s/p"), "/s/p",
                    "http://d.example/file.zip?fid=1&amp;e=2", {"http://d.example/file.zip?fid=1&amp;e=2"}},
        ResolveCase{"OnlyTheFirstSequenceIsRemoved", NetdiskUrl("/s/p"), "/s/p",
                    "http://h/\\\\/a/\\\\/b", {"http://ha//b"}},
        ResolveCase{"FileAddressRefused", NetdiskUrl("/s/p"), "/s/p", "file:\\\\/\\\\/\\\\/etc\\\\/passwd", {}},
        ResolveCase{"LocalProgramRefused", NetdiskUrl("/s/p"), "/s/p", "\\\\/usr\\\\/bin\\\\/xterm", {}},
        ResolveCase{"ShortLinkRefused", NetdiskUrl("/s/p"), "/s/p", "abc", {}},
        ResolveCase{"LinkWithSpaceRefused", NetdiskUrl("/s/p"), "/s/p", "http://d.example/a b", {}}),
    [](const ::testing::TestParamInfo<ResolveCase>& info) { return std::string(info.param.name); });

TEST(ResolveDownloadLink, MissingDirectLinkOpensNothing) {
  ServiceStandIn standIn([](LoopbackExchange& exchange) {
    if (exchange.request().target == "/link?url=tok") {
      exchange.Send(OkPage(LinkPage(NetdiskUrl("/s/p"))));
    } else {
      exchange.Send(OkPage("<html>this share has expired</html>"));
    }
  });
  InMemoryShell shell;
  ResolveDownloadLink(RowAddress("tok"), shell);
  EXPECT_EQ(standIn.server().RequestCount(), 2u);
  EXPECT_TRUE(shell.Opened().empty());
}

TEST(ResolveDownloadLink, FailedFirstFetchOpensNothing) {
  ServiceStandIn standIn([](LoopbackExchange& exchange) { exchange.Close(); });
  InMemoryShell shell;
  ResolveDownloadLink(RowAddress("tok"), shell);
  EXPECT_EQ(standIn.Targets(), std::vector<std::string>{"/link?url=tok"});
  EXPECT_TRUE(shell.Opened().empty());
}

// Link pages for tokens "a" and "b" answer late, so that both workers are under way together.
testing::LoopbackHandler TwoFileServer() {
  return [](LoopbackExchange& exchange) {
    const std::string& target = exchange.request().target;
    if (target.starts_with("/link?url=")) {
      exchange.Pause(150ms);
      exchange.Send(OkPage(LinkPage(NetdiskUrl("/s/" + target.substr(10)))));
    } else if (target.starts_with("/s/")) {
      exchange.Send(OkPage(SharePage("http:\\\\/\\\\/d.example\\\\/" + target.substr(3))));
    } else {
      exchange.Send(OkPage(std::string("<div>文件名:new 文件大小:1分享者:") +
                           "<a href=\"http://" + SearchHost() + "/link?url=z\">"));
    }
  };
}

TEST(DownloadSelected, TwoDownloadsAtOnceBothReachTheShell) {
  ServiceStandIn standIn(TwoFileServer());
  AppState state;
  state.ResultLinks = {"a", "b"};
  InMemoryWindow window;
  InMemoryShell shell;

  window.selectedRow = 0;
  DownloadSelected(state, window, shell);
  const std::int32_t first = state.WorkerHandles[0];
  window.selectedRow = 1;
  DownloadSelected(state, window, shell);
  const std::int32_t second = state.WorkerHandles[0];
  ASSERT_TRUE(platform::WaitForWorkers(kWorkerBound));

  EXPECT_NE(first, 0);
  EXPECT_NE(second, 0);
  EXPECT_NE(second, first);
  EXPECT_EQ(state.WorkerHandles[1], 0);
  EXPECT_EQ(state.WorkerHandles[2], 0);
  std::vector<std::string> opened = shell.Opened();
  std::sort(opened.begin(), opened.end());
  EXPECT_EQ(opened, (std::vector<std::string>{"http:\\\\d.example/a", "http:\\\\d.example/b"}));
}

TEST(DownloadSelected, SearchDuringADownloadLeavesItUnchanged) {
  ServiceStandIn standIn(TwoFileServer());
  AppState state;
  state.ResultLinks = {"a"};
  InMemoryWindow window;
  window.selectedRow = 0;
  window.keyword = "next";
  InMemoryShell shell;

  DownloadSelected(state, window, shell);
  ASSERT_TRUE(standIn.server().WaitForRequests(1, kWorkerBound));
  RunSearch(state, window);
  ASSERT_TRUE(platform::WaitForWorkers(kWorkerBound));

  EXPECT_EQ(state.ResultLinks, TextList{"z"});
  EXPECT_EQ(shell.Opened(), std::vector<std::string>{"http:\\\\d.example/a"});
}

}  // namespace
}  // namespace tarnisk
