#pragma once
#include "text/text.h"

namespace tarnisk {

// The host after "http://" (or "https://", any case), lower-cased; with keepPort the ":port" too.
Text UrlHost(std::string_view url, bool keepPort = false);
// The port after the host's colon; 80 without one (443 for an "https://" URL).
std::int32_t UrlPort(std::string_view url);
// Everything from the first "/" after the host, or "/".
Text UrlPath(std::string_view url);

}  // namespace tarnisk
