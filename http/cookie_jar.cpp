#include "http/cookie_jar.h"

#include <boost/regex.hpp>

#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/profile_writer.h"
#include "platform/run_directory.h"

namespace tarnisk {
namespace {

// The window thread and download workers fetch at the same time; every read and write of the
// cookie file goes through this lock so that no fetch reads a file another one is rewriting and no
// two writers lose each other's entries.
std::mutex& CookieFileMutex() {
  static std::mutex mutex;
  return mutex;
}

const boost::regex* SetCookiePattern() {
  static const std::unique_ptr<boost::regex> pattern = []() -> std::unique_ptr<boost::regex> {
    try {
      return std::make_unique<boost::regex>("Set-Cookie: (.*?)=(.*?;)", boost::regex::perl);
    } catch (const std::exception&) {
      return nullptr;
    }
  }();
  return pattern.get();
}

// A name or value holding a control byte would break the Cookie request line it goes into.
bool HoldsControlByte(std::string_view text) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return true;
  }
  return false;
}

struct FoundCookie {
  Text name;
  Text value;
};

std::vector<FoundCookie> FindSetCookies(std::string_view rawHeaders) {
  std::vector<FoundCookie> found;
  const boost::regex* pattern = SetCookiePattern();
  if (pattern == nullptr) return found;
  try {
    boost::cregex_iterator match(rawHeaders.data(), rawHeaders.data() + rawHeaders.size(), *pattern);
    for (; match != boost::cregex_iterator(); ++match) {
      found.push_back({(*match)[1].str(), (*match)[2].str()});
    }
  } catch (const std::exception&) {
    // A match too costly to finish ends the search; the cookies found before it still count.
  }
  return found;
}

}  // namespace

Text CookieFilePath() { return TextConcat(platform::RunDirectory(), std::string_view("/Dat/cookies.dat")); }

// Reader choices beyond the file format: an entry line whose stored value is empty ("name=") is
// not sent, since the value's closing ";" is what separates it from the next pair; an entry whose
// name or value holds a control byte (a zero byte, CR, LF and the like) is not sent, since it would
// break the request's header block. Both lines stay in the file untouched.
Text LoadCookieHeader(const Text& cookieFile, std::int32_t cookieGroup) {
  std::string content;
  {
    std::lock_guard<std::mutex> lock(CookieFileMutex());
    std::ifstream in(cookieFile, std::ios::binary);
    if (in) content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const Text sectionHeader = TextConcat(std::string_view("[cookies"), IntegerToText(cookieGroup),
                                        std::string_view("]"));
  Text header;
  bool inSection = false;
  std::string_view rest = content;
  while (!rest.empty()) {
    std::size_t lineFeed = rest.find('\n');
    std::string_view line = rest.substr(0, lineFeed);
    rest.remove_prefix(lineFeed == std::string_view::npos ? rest.size() : lineFeed + 1);
    if (lineFeed != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);

    if (TextFind(line, sectionHeader) != NotFound) {
      inSection = true;
    } else if (inSection && TextFind(line, "[") != NotFound) {
      break;
    } else if (inSection && TextFind(line, "=") != NotFound) {
      TextList pieces = TextSplit(line, "=");
      const Text& name = pieces[0];
      if (pieces.size() < 2 || pieces[1].empty() || HoldsControlByte(name)) continue;
      Text value = UnscrambleCookieValue(pieces[1]);
      if (HoldsControlByte(value)) continue;
      header += name;
      header += '=';
      header += value;
    }
  }
  return header;
}

void SaveResponseCookies(std::string_view rawHeaders, const Text& cookieFile, std::int32_t cookieGroup) {
  std::vector<FoundCookie> cookies = FindSetCookies(rawHeaders);
  if (cookies.empty()) return;
  const Text section = TextConcat(std::string_view("cookies"), IntegerToText(cookieGroup));
  std::lock_guard<std::mutex> lock(CookieFileMutex());
  for (const FoundCookie& cookie : cookies) {
    if (TextFind(cookie.name, "USER_RS") != NotFound) continue;
    // The reader ends the section at a line holding "[", so such a name would hide every entry
    // stored after it; no valid cookie name holds one.
    if (TextFind(cookie.name, "[") != NotFound) continue;
    platform::WriteProfileString(section, cookie.name, ScrambleCookieValue(cookie.value), cookieFile);
  }
}

Text ScrambleCookieValue(std::string_view value, std::int32_t key) {
  const std::size_t count = value.size();
  if (count == 0) return Text();
  auto code = [&](std::size_t i) -> std::int64_t {
    if (count > 1 && i == 0) i = count - 1;
    else if (count > 1 && i == count - 1) i = 0;
    return static_cast<signed char>(value[i]);
  };
  Text stored;
  stored.reserve(count * 5);
  // Every number is the sum of alternating codes plus the key, so it grows at most by 255 per two
  // bytes: 64 bits hold any value a header can carry.
  std::int64_t previous = 2 * code(0) + key;
  stored += std::to_string(previous);
  for (std::size_t i = 1; i < count; ++i) {
    previous = code(i) - previous + key;
    stored += ',';
    stored += std::to_string(previous);
  }
  return stored;
}

Text UnscrambleCookieValue(std::string_view stored, std::int32_t key) {
  TextList pieces = TextSplit(stored, ",");
  const std::size_t count = pieces.size();
  if (count == 0) return Text();
  std::vector<double> numbers;
  numbers.reserve(count);
  for (const Text& piece : pieces) numbers.push_back(TextToNumber(piece));
  std::vector<double> codes(count);
  codes[0] = (numbers[0] - key) / 2;
  for (std::size_t i = 1; i < count; ++i) codes[i] = numbers[i] + numbers[i - 1] - key;
  if (count > 1) std::swap(codes[0], codes[count - 1]);
  Text value;
  value.reserve(count);
  for (double code : codes) value += TextFromByteCode(TruncateToInteger(code));
  return value;
}

}  // namespace tarnisk
