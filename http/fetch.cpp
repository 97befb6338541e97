#include "http/fetch.h"

#include "platform/http_client.h"

namespace tarnisk {
namespace {

// A chain longer than this is taken to be a loop.
constexpr int MaxRedirectHops = 10;

constexpr std::string_view AcceptLine =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*\r\n";

bool IsSecure(std::string_view url) { return TextEquals(TextToLowerAscii(TextLeft(url, 5)), "https"); }

Text RequestHeaderBlock(std::string_view url, std::string_view body, std::string_view cookies) {
  Text block = TextConcat(AcceptLine, std::string_view("Referer: "), url,
                          std::string_view("\r\nAccept-Language: zh-cn\r\n"
                                           "Content-Type: application/x-www-form-urlencoded\r\n"
                                           "Content-Length: "),
                          IntegerToText(TextLength(body)), std::string_view("\r\n"));
  if (!cookies.empty()) block += TextConcat(std::string_view("Cookie: "), cookies, std::string_view("\r\n"));
  return block;
}

// The value of the first Location header line, without the blanks around it; empty without one.
Text LocationOf(std::string_view rawHeaders) {
  // Header lines are split at plain CR LF bytes: a header value's bytes are not GB18030 units.
  while (!rawHeaders.empty()) {
    std::size_t lineEnd = rawHeaders.find("\r\n");
    std::string_view line = rawHeaders.substr(0, lineEnd);
    rawHeaders.remove_prefix(lineEnd == std::string_view::npos ? rawHeaders.size() : lineEnd + 2);
    if (line.size() < 9 || !TextEquals(TextToLowerAscii(line.substr(0, 9)), "location:")) continue;
    std::string_view value = line.substr(9);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    return Text(value);
  }
  return Text();
}

// Where a 301 answer to url points: an absolute Location as it stands, a Location beginning with
// "/" on the scheme, host and port of url; any other form (or none) gives the empty text, which
// ends the chain.
Text FollowUpUrl(std::string_view rawHeaders, std::string_view url) {
  Text location = LocationOf(rawHeaders);
  // The scheme may come in any case; URL splitting looks for it in lower case.
  for (std::string_view scheme : {std::string_view("http://"), std::string_view("https://")}) {
    if (TextFind(location, scheme, 1, true) == 1) {
      return TextConcat(scheme, TextRight(location, TextLength(location) - TextLength(scheme)));
    }
  }
  if (TextFind(location, "/") != 1) return Text();
  const bool secure = IsSecure(url);
  const std::int32_t port = UrlPort(url);
  Text origin = TextConcat(std::string_view(secure ? "https://" : "http://"), UrlHost(url));
  if (port != (secure ? 443 : 80)) origin += TextConcat(std::string_view(":"), IntegerToText(port));
  return TextConcat(origin, location);
}

}  // namespace

Text FetchUrl(const Text& url, const Text& method, const Text& body, std::int32_t cookieGroup,
              bool decodeUtf8) {
  const Text verb = method.empty() ? Text("GET") : method;
  Text current = url;
  for (int hop = 0;; ++hop) {
    if (current.empty()) return Text();
    const Text cookieFile = CookieFilePath();
    const Text cookies = LoadCookieHeader(cookieFile, cookieGroup);

    platform::HttpRequest request;
    request.host = UrlHost(current);
    request.port = UrlPort(current);
    request.secure = IsSecure(current);
    request.verb = verb;
    request.path = UrlPath(current);
    request.userAgent = std::string(UserAgentText);
    request.headerBlock = RequestHeaderBlock(current, body, cookies);
    request.sendBody = !TextEquals(verb, "GET");
    if (request.sendBody) request.body = body;
    platform::HttpResponse response = platform::PerformHttpRequest(request);

    SaveResponseCookies(response.rawHeaders, cookieFile, cookieGroup);
    if (TextEquals(ExtractBetween(response.rawHeaders, "HTTP/1.1 ", " Moved", false), "301")) {
      if (hop == MaxRedirectHops) return Text();
      current = FollowUpUrl(response.rawHeaders, current);
      continue;
    }
    ByteArray received{std::move(response.body)};
    return decodeUtf8 ? Utf8ToLocal(received) : BytesToText(received);
  }
}

}  // namespace tarnisk
