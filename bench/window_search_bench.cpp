// The whole RunSearch (fetch, UTF-8 to GB18030, parse, rows into the real MainWindow's list, shown
// on the offscreen platform) against a loopback stand-in serving a result page of about 300 KiB,
// beside a bare libcurl easy fetch of the same request target from the same server in the same run.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QTreeWidget>
#include <QWindow>
#include <string>

#include "bench/bare_curl.h"
#include "http/fetch.h"
#include "platform/http_client.h"
#include "search/in_memory_desktop.h"
#include "search/search.h"
#include "search/service_stand_in.h"
#include "shell/main_window.h"

namespace tarnisk {
namespace {

constexpr std::size_t kPageBytes = 300 * 1024;
constexpr int kResults = 10;

// A result page in UTF-8, as the search engine serves it: kResults entries, each with a highlighted
// name, a size and a link, spread through filler markup with Chinese text.
const std::string& ResultPageUtf8() {
  static const std::string page = [] {
    const std::string filler =
        "<div class=\"c-abstract\"><span class=\"m\">百度快照 网盘资源 分享</span>"
        "<a class=\"c-showurl\" style=\"text-decoration:none;\">pan.example/s/1...</a></div>\r\n";
    std::string text;
    text.reserve(kPageBytes + 1024);
    for (int i = 0; i < kResults; ++i) {
      text.append("<h3><a href=\"http://").append(SearchHost()).append("/link?url=Tk");
      text.append(std::to_string(i)).append("xQ-9fZ_abcdefghijklmnopqrstuvwxyz\">文件名:<em>电影</em>_part");
      text.append(std::to_string(i)).append(".mkv 文件大小:1.2G 分享者:user</a></h3>\r\n");
      const std::size_t target = kPageBytes / kResults * static_cast<std::size_t>(i + 1);
      while (text.size() + filler.size() <= target) text.append(filler);
    }
    return text;
  }();
  return page;
}

void ShowAndWaitForExposure(QWidget& window) {
  window.show();
  while (window.windowHandle() == nullptr || !window.windowHandle()->isExposed()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  }
}

std::string g_target;  // the request target RunSearch sends, learned before either benchmark runs

void BM_RunSearchIntoMainWindow(benchmark::State& run) {
  testing::ServiceStandIn standIn(testing::FixedResponse(testing::OkPage(ResultPageUtf8())));
  platform::testing::ResetHttpTimeouts();
  AppState state;
  InitAppState(state);
  testing::InMemoryClipboard clipboard;
  testing::InMemoryShell shell;
  MainWindow window(state, clipboard, shell);
  window.findChild<QLineEdit*>(QStringLiteral("关键字框"))->setText(QStringLiteral("电影 合集"));
  auto* list = window.findChild<QTreeWidget*>(QStringLiteral("超级列表框1"));
  ShowAndWaitForExposure(window);
  for (auto _ : run) {
    RunSearch(state, window);
    if (list->topLevelItemCount() != kResults || state.ResultLinks.size() != kResults) {
      run.SkipWithError("the list did not get every result");
      break;
    }
  }
  const std::vector<testing::RecordedRequest> requests = standIn.server().Requests();
  if (!requests.empty()) g_target = requests.front().target;
  run.counters["page_bytes"] = static_cast<double>(ResultPageUtf8().size());
  run.counters["rows"] = list->topLevelItemCount();
  run.SetBytesProcessed(static_cast<std::int64_t>(run.iterations() * ResultPageUtf8().size()));
  ReleaseAppState(state);
}
BENCHMARK(BM_RunSearchIntoMainWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

// The fetch part of RunSearch alone (FetchUrl with its UTF-8 to GB18030 conversion), to tell the
// transport's share of the whole from the parse and the list's.
void BM_FetchUrlOfTheSamePage(benchmark::State& run) {
  if (g_target.empty()) {
    run.SkipWithError("run BM_RunSearchIntoMainWindow first: it learns the request target");
    return;
  }
  testing::ServiceStandIn standIn(testing::FixedResponse(testing::OkPage(ResultPageUtf8())));
  platform::testing::ResetHttpTimeouts();
  const Text url = TextConcat("http://", SearchHost(), g_target);
  for (auto _ : run) {
    Text page = FetchUrl(url, Text(), Text(), 0, true);
    if (page.size() < kPageBytes / 2) run.SkipWithError("short page");
    benchmark::DoNotOptimize(page.data());
  }
}
BENCHMARK(BM_FetchUrlOfTheSamePage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareCurlFetchOfTheSamePage(benchmark::State& run) {
  if (g_target.empty()) {
    run.SkipWithError("run BM_RunSearchIntoMainWindow first: it learns the request target");
    return;
  }
  testing::LoopbackServer server(testing::FixedResponse(testing::OkPage(ResultPageUtf8())));
  const std::string url = server.Url(g_target);
  for (auto _ : run) {
    std::string body;
    if (!bench::BareCurlFetch(url, body) || body.size() != ResultPageUtf8().size()) {
      run.SkipWithError("bare fetch failed");
    }
    benchmark::DoNotOptimize(body.data());
  }
  run.SetBytesProcessed(static_cast<std::int64_t>(run.iterations() * ResultPageUtf8().size()));
}
BENCHMARK(BM_BareCurlFetchOfTheSamePage)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tarnisk

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return tarnisk::bench::RunBenchmarksWithCurl(argc, argv);
}
