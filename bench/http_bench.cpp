// FetchUrl of a 1 MiB body from a loopback server beside a bare libcurl easy fetch of the same URL
// in the same run. The program runs a QCoreApplication on the benchmark's thread, so the fetch's
// event pump does real work between its waits, as it does on the window thread.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <filesystem>
#include <string>

#include "bench/bare_curl.h"
#include "http/fetch.h"
#include "platform/http_client.h"
#include "platform/run_directory.h"
#include "support/loopback_server.h"
#include "support/temp_folder.h"

namespace {

using namespace tarnisk;

constexpr std::size_t BodySize = 1 << 20;

const std::string& Body() {
  static const std::string body = [] {
    std::string text(BodySize, 'x');
    for (std::size_t i = 0; i < text.size(); i += 64) text[i] = '\n';
    return text;
  }();
  return body;
}

testing::LoopbackServer& Server() {
  static testing::LoopbackServer server(testing::FixedResponse(testing::PlainResponse(200, "OK", Body())));
  return server;
}

void BM_FetchUrl(benchmark::State& state) {
  testing::TempFolder folder;
  std::filesystem::create_directory(folder.File("Dat"));
  platform::testing::OverrideRunDirectory(folder.path());
  platform::testing::MapHostToLoopback("bench.test", 80, Server().port());
  for (auto _ : state) {
    Text page = FetchUrl("http://bench.test/big", "", "", 0, false);
    if (page.size() != BodySize) state.SkipWithError("short body");
    benchmark::DoNotOptimize(page.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BodySize));
  platform::testing::ClearHostMappings();
  platform::testing::OverrideRunDirectory("");
}
BENCHMARK(BM_FetchUrl)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BareCurlEasy(benchmark::State& state) {
  const std::string url = Server().Url("/big");
  for (auto _ : state) {
    std::string body;
    if (!bench::BareCurlFetch(url, body) || body.size() != BodySize) state.SkipWithError("bare fetch failed");
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BodySize));
}
BENCHMARK(BM_BareCurlEasy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  return tarnisk::bench::RunBenchmarksWithCurl(argc, argv);
}
