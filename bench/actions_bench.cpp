// Fifty downloads started at once, each on its own worker, against a loopback stand-in whose link
// page and share page each set a cookie of their own; beside them, fifty sequential bare libcurl
// fetch pairs of the same paths on the same server in the same run. The stand-in serves one
// connection at a time, so the workers' fetches queue at the server: the figure is what fifty
// concurrent resolutions cost in all, not how fast they would overlap against a real service.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "bench/bare_curl.h"
#include "actions/actions.h"
#include "http/cookie_jar.h"
#include "platform/http_client.h"
#include "platform/threads.h"
#include "search/in_memory_desktop.h"
#include "search/service_stand_in.h"

namespace tarnisk {
namespace {

using testing::LoopbackExchange;

constexpr int kDownloads = 50;
constexpr auto kWorkerBound = std::chrono::seconds(60);

std::string Number(std::string_view target, std::string_view prefix) {
  return std::string(target.substr(prefix.size()));
}

// /link?url=tN answers a link page pointing at /s/N and sets LN=vN; /s/N answers a share page whose
// escaped direct link leads to /fN and sets SN=wN.
void StandInPages(LoopbackExchange& exchange) {
  const std::string& target = exchange.request().target;
  if (target.starts_with("/link?url=t")) {
    const std::string n = Number(target, "/link?url=t");
    const std::string page = std::string("<html><body><a href=\"http://")
                                 .append(NetdiskDomain()).append("/s/").append(n)
                                 .append("\">go</a></body></html>");
    const std::string cookie = "Set-Cookie: L" + n + "=v" + n + "; path=/";
    exchange.Send(testing::PlainResponse(200, "OK", page, {cookie}));
  } else if (target.starts_with("/s/")) {
    const std::string n = Number(target, "/s/");
    const std::string page = std::string("<script>var data = \"{\\\"fs_id\\\":1,\\\"dlink\\\":\\\"")
                                 .append("http:\\\\/\\\\/dl.test\\\\/f").append(n)
                                 .append("\\\",\\\"size\\\":9}\";</script>");
    const std::string cookie = "Set-Cookie: S" + n + "=w" + n + "; path=/";
    exchange.Send(testing::PlainResponse(200, "OK", page, {cookie}));
  } else {
    exchange.Send(testing::PlainResponse(404, "Not Found", ""));
  }
}

// The cookies the fifty downloads must leave, by name, each with the value the response set
// (its closing ";" included, as the jar keeps it).
std::map<std::string, std::string> ExpectedCookies() {
  std::map<std::string, std::string> expected;
  for (int i = 0; i < kDownloads; ++i) {
    const std::string n = std::to_string(i);
    expected["L" + n] = "v" + n + ";";
    expected["S" + n] = "w" + n + ";";
  }
  return expected;
}

// Empty when the file is one "[cookies0]" section of CR LF lines holding every expected cookie
// once with its value and nothing else; otherwise what is wrong.
std::string CookieFileFault(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "no cookie file";
  const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::map<std::string, std::string> expected = ExpectedCookies();
  int sections = 0;
  std::size_t start = 0;
  while (start < content.size()) {
    const std::size_t end = content.find("\r\n", start);
    if (end == std::string::npos) return "a line without CR LF";
    const std::string line = content.substr(start, end - start);
    start = end + 2;
    if (line == "[cookies0]") {
      ++sections;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (sections != 1 || equals == std::string::npos) return "stray line: " + line;
    const auto found = expected.find(line.substr(0, equals));
    if (found == expected.end()) return "unexpected or repeated entry: " + line;
    if (UnscrambleCookieValue(line.substr(equals + 1)) != found->second) return "wrong value: " + line;
    expected.erase(found);
  }
  if (sections != 1) return "section count " + std::to_string(sections);
  if (!expected.empty()) return std::to_string(expected.size()) + " cookies missing";
  return {};
}

void BM_FiftyDownloadsAtOnce(benchmark::State& run) {
  testing::ServiceStandIn standIn(StandInPages);
  platform::testing::ResetHttpTimeouts();
  const std::string cookieFile = CookieFilePath();
  const std::string linkPrefix = LinkPrefix();
  std::size_t reached = 0;
  std::string fault;
  for (auto _ : run) {
    run.PauseTiming();
    std::filesystem::remove(cookieFile);
    auto shell = std::make_unique<testing::InMemoryShell>();
    run.ResumeTiming();

    for (int i = 0; i < kDownloads; ++i) {
      const std::string address = linkPrefix + "t" + std::to_string(i);
      if (platform::StartWorker([address, &shell = *shell] { ResolveDownloadLink(address, shell); }) == 0) {
        fault = "a worker did not start";
      }
    }
    const bool finished = platform::WaitForWorkers(kWorkerBound);

    run.PauseTiming();
    if (!finished) {
      // The workers still hold the shell; leaving it alive is the lesser harm in a failed run.
      shell.release();
      run.SkipWithError("workers still running at the bound");
      break;
    }
    const std::vector<std::string> opened = shell->Opened();
    reached = opened.size();
    if (fault.empty() && reached != kDownloads) fault = std::to_string(reached) + " of 50 reached the shell";
    for (const std::string& address : opened) {
      if (!address.starts_with("http:\\\\dl.test/f") && fault.empty()) fault = "wrong address " + address;
    }
    if (fault.empty()) fault = CookieFileFault(cookieFile);
    run.ResumeTiming();
    if (!fault.empty()) {
      run.SkipWithError(fault.c_str());
      break;
    }
  }
  run.counters["reached_shell"] = static_cast<double>(reached);
  run.counters["cookies_ok"] = fault.empty() ? 1 : 0;
  run.SetLabel(fault.empty() ? "50/50 opened, cookie file well-formed with 100 cookies" : fault);
}
BENCHMARK(BM_FiftyDownloadsAtOnce)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FiftySequentialBareFetchPairs(benchmark::State& run) {
  testing::LoopbackServer server(StandInPages);
  for (auto _ : run) {
    for (int i = 0; i < kDownloads; ++i) {
      const std::string n = std::to_string(i);
      std::string linkPage;
      std::string sharePage;
      if (!bench::BareCurlFetch(server.Url("/link?url=t" + n), linkPage) ||
          !bench::BareCurlFetch(server.Url("/s/" + n), sharePage) ||
          linkPage.find("/s/" + n) == std::string::npos || sharePage.find("dlink") == std::string::npos) {
        run.SkipWithError("bare fetch failed");
        break;
      }
    }
  }
}
BENCHMARK(BM_FiftySequentialBareFetchPairs)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tarnisk

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  return tarnisk::bench::RunBenchmarksWithCurl(argc, argv);
}
