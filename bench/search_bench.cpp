#include <benchmark/benchmark.h>

#include <string>

#include "search/in_memory_desktop.h"
#include "search/search.h"

namespace tarnisk {
namespace {

// A result page of about pageBytes in GB18030 with results entries, each with a highlighted name, a
// size and a link, spread through filler markup the way a real result page spreads them.
Text ResultPage(std::size_t pageBytes, int results) {
  const std::string filler =
      "<div class=\"c-span\"><span class=\"m\">\xB0\xD9\xB6\xC8\xBF\xEC\xD5\xD5</span>"
      "<a class=\"c-showurl\" style=\"text-decoration:none;\">pan.example/s/1...</a></div>\r\n";
  const std::size_t perResult = pageBytes / static_cast<std::size_t>(results);
  Text page;
  page.reserve(pageBytes + 1024);
  for (int i = 0; i < results; ++i) {
    page.append("<h3><a href=\"http://").append(SearchHost()).append("/link?url=Tk");
    page.append(std::to_string(i)).append("xQ-9fZ_abcdefghijklmnopqrstuvwxyz\">");
    page.append(testing::kNameMarker).append("<em>\xB5\xE7\xD3\xB0</em>_part").append(std::to_string(i));
    page.append(".mkv ").append(testing::kSizeMarker).append("1.2G ").append(testing::kSharerMarker);
    page.append("user</a></h3>\r\n");
    const std::size_t target = perResult * static_cast<std::size_t>(i + 1);
    while (page.size() + filler.size() <= target) page.append(filler);
  }
  return page;
}

void BM_ParseResultPage(benchmark::State& run) {
  AppState state;
  state.CurrentPageHtml = ResultPage(std::size_t{1} << 20, 100);
  testing::InMemoryWindow window;
  for (auto _ : run) {
    ParseResultPage(state, window);
    benchmark::DoNotOptimize(window.rows.data());
  }
  if (state.ResultNames.size() != 100 || state.ResultSizes.size() != 100 ||
      state.ResultLinks.size() != 100 || window.rows.size() != 100) {
    run.SkipWithError("the page did not give 100 results");
  }
  run.SetBytesProcessed(static_cast<std::int64_t>(run.iterations()) *
                        static_cast<std::int64_t>(state.CurrentPageHtml.size()));
  run.counters["page_bytes"] = static_cast<double>(state.CurrentPageHtml.size());
}
BENCHMARK(BM_ParseResultPage)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarnisk

BENCHMARK_MAIN();
