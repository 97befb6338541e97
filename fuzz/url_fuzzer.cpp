// The URL splitters on random texts, held against their rules composed of the model primitives.

#include <cstdint>
#include <string>

#include "fuzz/model.h"
#include "http/url.h"

namespace {

using namespace tarnisk;
using namespace tarnisk::fuzz;

bool ModelSecure(std::string_view url) {
  return url.size() >= 8 && ModelSameAt(url, 0, "https://", true);
}

int ModelHostStart(std::string_view url) {
  if (ModelSecure(url)) return 9;
  const int scheme = ModelFind(url, "http://");
  return scheme != -1 ? scheme + 7 : 1;
}

std::string ModelHost(std::string_view url, bool keepPort) {
  const int start = ModelHostStart(url);
  const int slash = ModelFind(url, "/", start);
  std::string host = slash != -1 ? ModelMid(url, start, slash - start)
                                 : ModelMid(url, start, static_cast<int>(url.size()) - start + 1);
  if (!keepPort) {
    const int colon = ModelFind(host, ":");
    if (colon != -1) host = ModelLeft(host, colon - 1);
  }
  return ModelLower(host);
}

std::string ModelPath(std::string_view url) {
  const std::string host = ModelHost(url, false);
  const int start = ModelHostStart(url);
  int hostStart = ModelFind(url, host, start, true);
  if (hostStart == -1) hostStart = start;
  const int slash = ModelFind(url, "/", hostStart, true);
  if (slash <= 0) return "/";
  return ModelRight(url, static_cast<int>(url.size()) - slash + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string url(reinterpret_cast<const char*>(data), size);
  const Text host = UrlHost(url);
  const Text hostAndPort = UrlHost(url, true);
  Check(host == ModelHost(url, false), "UrlHost");
  Check(hostAndPort == ModelHost(url, true), "UrlHost keeping the port");
  Check(hostAndPort.compare(0, host.size(), host) == 0, "the host begins the host with its port");

  const int colon = ModelFind(hostAndPort, ":");
  const std::int32_t port = UrlPort(url);
  if (colon == -1) {
    Check(port == (ModelSecure(url) ? 443 : 80), "UrlPort default");
  } else {
    Check(port == TruncateToInteger(TextToNumber(ModelRight(hostAndPort, static_cast<int>(hostAndPort.size()) - colon))),
          "UrlPort");
  }

  const Text path = UrlPath(url);
  Check(path == ModelPath(url), "UrlPath");
  Check(!path.empty() && path[0] == '/', "the path begins with a slash");
  return 0;
}
