#include "http/url.h"

namespace tarnisk {
namespace {

bool IsSecureUrl(std::string_view url) { return TextEquals(TextToLowerAscii(TextLeft(url, 8)), "https://"); }

}  // namespace

Text UrlHost(std::string_view url, bool keepPort) {
  int start = 1;
  if (IsSecureUrl(url)) {
    start = 9;
  } else {
    int scheme = TextFind(url, "http://");
    if (scheme != NotFound) start = scheme + 7;
  }
  int slash = TextFind(url, "/", start);
  Text host = slash != NotFound ? TextMid(url, start, slash - start)
                                : TextMid(url, start, TextLength(url) - start + 1);
  if (!keepPort) {
    int colon = TextFind(host, ":");
    if (colon != NotFound) host = TextLeft(host, colon - 1);
  }
  return TextToLowerAscii(host);
}

std::int32_t UrlPort(std::string_view url) {
  Text host = UrlHost(url, true);
  int colon = TextFind(host, ":");
  if (colon == NotFound) return IsSecureUrl(url) ? 443 : 80;
  return TruncateToInteger(TextToNumber(TextRight(host, TextLength(host) - colon)));
}

Text UrlPath(std::string_view url) {
  Text host = UrlHost(url, false);
  int hostStart = TextFind(url, host, 1, true);
  int slash = TextFind(url, "/", hostStart, true);
  if (slash == NotFound || slash <= 0) return "/";
  return TextRight(url, TextLength(url) - slash + 1);
}

}  // namespace tarnisk
