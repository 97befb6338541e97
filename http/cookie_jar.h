#pragma once
#include "text/text.h"

namespace tarnisk {

// Part of the cookie file format: a file written with one key reads back only with the same key.
inline constexpr std::int32_t CookieKey = 417;

// RunDirectory + "/Dat/cookies.dat".
Text CookieFilePath();

// The Cookie header value of group cookieGroup: name=value pairs of "[cookies<N>]", empty when
// there is nothing to send. Entries with an empty stored value, or whose name or value holds a
// control byte, are left out: they would run into the next pair or break the request's header.
Text LoadCookieHeader(const Text& cookieFile, std::int32_t cookieGroup);

// Stores every "Set-Cookie: name=value;" of a raw response header block in "[cookies<N>]", skipping
// names that hold "USER_RS" or "[".
void SaveResponseCookies(std::string_view rawHeaders, const Text& cookieFile, std::int32_t cookieGroup);

Text ScrambleCookieValue(std::string_view value, std::int32_t key = CookieKey);
Text UnscrambleCookieValue(std::string_view stored, std::int32_t key = CookieKey);

}  // namespace tarnisk
