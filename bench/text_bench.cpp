// The text toolkit on 1 MiB of HTML-like text, each figure beside a reference from the same run:
// glibc memmem counting every match for the search primitives, a bare iconv loop for conversion.

#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <random>
#include <string>

#include "text/text.h"

namespace {

using namespace tarnisk;

constexpr std::size_t CorpusSize = 1 << 20;
constexpr const char* MissingMarker = "<div class=\"page-inner\">";
constexpr const char* FrequentMarker = "<em>";
constexpr const char* SplitDelimiter = "</div>";
constexpr const char* HighBytesMarker = "\x82\x81\x82";

// Result-page-like markup with runs of GB2312 characters (lead B0 to F7, trail A1 to FE), so that
// about 30 % of the bytes belong to double-byte characters.
std::string MakeHtml() {
  static const char* const Markup[] = {
      "<div class=\"result c-container\" id=\"", "\"><h3 class=\"t\"><a href=\"http://www.baidu.com/link?url=",
      "\" target=\"_blank\">", "<em>", "</em>", "</a></h3>", "<span class=\"c-showurl\">pan.baidu.com</span>",
      "</div>\n", "<div class=\"c-abstract\">", " size ", "<br/>", "&nbsp;", " 2023-05-01 ", ".rar "};
  std::mt19937 random(4242);
  std::uniform_int_distribution<int> markup(0, sizeof Markup / sizeof *Markup - 1);
  std::uniform_int_distribution<int> lead(0xB0, 0xF7);
  std::uniform_int_distribution<int> trail(0xA1, 0xFE);
  std::uniform_int_distribution<int> runLength(2, 10);
  std::uniform_int_distribution<int> choice(0, 99);
  std::string html;
  html.reserve(CorpusSize + 64);
  while (html.size() < CorpusSize) {
    if (choice(random) < 38) {
      for (int i = runLength(random); i > 0; --i) {
        html.push_back(static_cast<char>(lead(random)));
        html.push_back(static_cast<char>(trail(random)));
      }
    } else {
      html += Markup[markup(random)];
    }
  }
  html.resize(CorpusSize);
  return html;
}

const std::string& Html() {
  static const std::string html = MakeHtml();
  return html;
}

// The same page in UTF-8, cut to 1 MiB at a character boundary.
const std::string& Utf8Html() {
  static const std::string utf8 = [] {
    std::string bytes = ConvertCharset(TextToBytes(TextLeft(Html(), CorpusSize - 2)), "GB18030", "UTF-8").bytes;
    std::size_t end = std::min(bytes.size(), CorpusSize);
    while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
    bytes.resize(end);
    return bytes;
  }();
  return utf8;
}

// Only bytes of 0x80 and above: every candidate's look-back runs into the bytes before it.
const std::string& HighBytes() {
  static const std::string text = [] {
    std::mt19937 random(99);
    std::string bytes(CorpusSize, '\x81');
    for (char& c : bytes) c = (random() & 1) != 0 ? '\x81' : '\x82';
    return bytes;
  }();
  return text;
}

void Report(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

long MemmemCountAll(const std::string& text, const char* needle) {
  const std::size_t n = std::strlen(needle);
  long count = 0;
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  while (const void* found = memmem(at, static_cast<std::size_t>(end - at), needle, n)) {
    ++count;
    at = static_cast<const char*>(found) + 1;
  }
  return count;
}

void BM_MemmemCountAll(benchmark::State& state, const std::string& (*corpus)(), const char* needle) {
  const std::string& html = corpus();
  long count = 0;
  for (auto _ : state) {
    count = MemmemCountAll(html, needle);
    benchmark::DoNotOptimize(count);
  }
  state.counters["matches"] = static_cast<double>(count);
  Report(state, html.size());
}

void BM_TextFindMissing(benchmark::State& state) {
  const std::string& html = Html();
  for (auto _ : state) benchmark::DoNotOptimize(TextFind(html, MissingMarker));
  Report(state, html.size());
}

// Every match, one TextFind after the other, the way a caller walks a page.
void BM_TextFindFrequent(benchmark::State& state) {
  const std::string& html = Html();
  long count = 0;
  for (auto _ : state) {
    count = 0;
    for (int at = TextFind(html, FrequentMarker); at != NotFound; at = TextFind(html, FrequentMarker, at + 1)) {
      ++count;
    }
    benchmark::DoNotOptimize(count);
  }
  state.counters["matches"] = static_cast<double>(count);
  Report(state, html.size());
}

void BM_TextFindLastHighBytes(benchmark::State& state) {
  const std::string& text = HighBytes();
  for (auto _ : state) benchmark::DoNotOptimize(TextFindLast(text, HighBytesMarker));
  Report(state, text.size());
}

void BM_TextReplaceAllEm(benchmark::State& state) {
  const std::string& html = Html();
  for (auto _ : state) benchmark::DoNotOptimize(TextReplaceAll(html, "<em>", ""));
  Report(state, html.size());
}

void BM_TextSplit(benchmark::State& state) {
  const std::string& html = Html();
  std::size_t parts = 0;
  for (auto _ : state) {
    const TextList list = TextSplit(html, SplitDelimiter);
    parts = list.size();
    benchmark::DoNotOptimize(parts);
  }
  state.counters["parts"] = static_cast<double>(parts);
  Report(state, html.size());
}

void BM_ConvertCharset(benchmark::State& state) {
  const ByteArray input{Utf8Html()};
  for (auto _ : state) benchmark::DoNotOptimize(ConvertCharset(input, "UTF-8", "GB18030"));
  Report(state, input.bytes.size());
}

// The same conversion with nothing around iconv: one open, an uninitialised buffer of the input's
// size grown on demand, the calls, one close.
void BM_IconvBare(benchmark::State& state) {
  const std::string& input = Utf8Html();
  for (auto _ : state) {
    iconv_t converter = iconv_open("GB18030", "UTF-8");
    std::size_t capacity = input.size();
    char* output = static_cast<char*>(std::malloc(capacity));
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t written = 0;
    for (;;) {
      char* out = output + written;
      std::size_t outLeft = capacity - written;
      const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
      written = static_cast<std::size_t>(out - output);
      if (result != static_cast<std::size_t>(-1) || errno != E2BIG) break;
      capacity += input.size() / 2 + 128;
      output = static_cast<char*>(std::realloc(output, capacity));
    }
    benchmark::DoNotOptimize(written);
    benchmark::DoNotOptimize(output);
    std::free(output);
    iconv_close(converter);
  }
  Report(state, input.size());
}

void BM_CorpusShape(benchmark::State& state) {
  const std::string& html = Html();
  std::size_t high = 0;
  for (auto _ : state) {
    high = 0;
    for (const char c : html) high += static_cast<unsigned char>(c) >= 0x80;
    benchmark::DoNotOptimize(high);
  }
  state.counters["double_byte_share"] = static_cast<double>(high) / static_cast<double>(html.size());
  state.counters["utf8_bytes"] = static_cast<double>(Utf8Html().size());
}

BENCHMARK(BM_CorpusShape)->Iterations(1);
BENCHMARK(BM_TextFindMissing);
BENCHMARK_CAPTURE(BM_MemmemCountAll, missing_marker, Html, MissingMarker);
BENCHMARK(BM_TextFindFrequent);
BENCHMARK_CAPTURE(BM_MemmemCountAll, frequent_marker, Html, FrequentMarker);
BENCHMARK(BM_TextReplaceAllEm);
BENCHMARK(BM_TextSplit);
BENCHMARK_CAPTURE(BM_MemmemCountAll, split_delimiter, Html, SplitDelimiter);
BENCHMARK(BM_TextFindLastHighBytes);
BENCHMARK_CAPTURE(BM_MemmemCountAll, high_bytes_marker, HighBytes, HighBytesMarker);
BENCHMARK(BM_ConvertCharset);
BENCHMARK(BM_IconvBare);

}  // namespace

BENCHMARK_MAIN();
