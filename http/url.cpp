#include "http/url.h"

namespace tarnisk {
namespace {

bool IsSecureUrl(std::string_view url) { return TextEquals(TextToLowerAscii(TextLeft(url, 8)), "https://"); }

// Where the host begins: after "https://" at the start (any case), else after the first "http://",
// else at the first byte.
int HostStart(std::string_view url) {
  if (IsSecureUrl(url)) return 9;
  int scheme = TextFind(url, "http://");
  return scheme != NotFound ? scheme + 7 : 1;
}

}  // namespace

Text UrlHost(std::string_view url, bool keepPort) {
  const int start = HostStart(url);
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
  // Searched from where the host begins: a short host such as "h" or "t" also occurs inside the
  // scheme, and a match there would make the scheme's "//" the path.
  const int start = HostStart(url);
  int hostStart = TextFind(url, host, start, true);
  if (hostStart == NotFound) hostStart = start;
  int slash = TextFind(url, "/", hostStart, true);
  if (slash == NotFound || slash <= 0) return "/";
  return TextRight(url, TextLength(url) - slash + 1);
}

}  // namespace tarnisk
