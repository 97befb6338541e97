#pragma once
#include "http/cookie_jar.h"
#include "http/url.h"
#include "text/text.h"

namespace tarnisk {

inline constexpr std::string_view UserAgentText =
    "Mozilla/5.0 (Windows NT 6.1;WOW64) ApppleWebKit/537.17(KHTML,like Gecko) "
    "Chrome/24.0.1312.57Safari/5; MSI.17";

// The tool's one network operation. Sends the fixed headers and the cookies of cookieGroup, stores
// the cookies the response sets, follows 301 responses (at most 10 hops) and returns the body,
// converted from UTF-8 when decodeUtf8 is true. Every failure gives the empty text.
Text FetchUrl(const Text& url, const Text& method, const Text& body, std::int32_t cookieGroup,
              bool decodeUtf8);

}  // namespace tarnisk
