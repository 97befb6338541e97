#pragma once
// The reference the network benchmarks measure against: a plain libcurl easy fetch with nothing of
// the tool around it, and the main() that readies curl and the benchmark library.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

namespace tarnisk::bench {

inline std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

// GETs url directly (no proxy) into body; false when the transfer failed.
inline bool BareCurlFetch(const std::string& url, std::string& body) {
  CURL* easy = curl_easy_init();
  if (easy == nullptr) return false;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PROXY, "");
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, AppendToString);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
  const bool ok = curl_easy_perform(easy) == CURLE_OK;
  curl_easy_cleanup(easy);
  return ok;
}

// Runs the benchmarks named on the command line with curl readied; call with the Qt application
// the benchmarks need already created.
inline int RunBenchmarksWithCurl(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  curl_global_cleanup();
  return 0;
}

}  // namespace tarnisk::bench
