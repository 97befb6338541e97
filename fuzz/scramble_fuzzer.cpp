// The cookie value scramble: every value comes back from its stored form under any key, the stored
// form holds only digits, "-" and ",", and unscrambling any text at all stays defined.

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/model.h"
#include "http/cookie_jar.h"

using namespace tarnisk;
using tarnisk::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::int32_t key = data.ConsumeBool() ? CookieKey : data.ConsumeIntegral<std::int32_t>();
  std::string value = data.ConsumeRandomLengthString(4096);
  // A text holds no zero byte.
  value.erase(std::min(value.find('\0'), value.size()));

  const Text stored = ScrambleCookieValue(value, key);
  Check(stored.find_first_not_of("-,0123456789") == Text::npos, "stored form alphabet");
  Check(value.empty() == stored.empty(), "empty value, empty stored form");
  Check(UnscrambleCookieValue(stored, key) == value, "scramble round trip");
  if (key == CookieKey) Check(ScrambleCookieValue(value) == stored, "default key");

  const std::string garbage = data.ConsumeRemainingBytesAsString();
  const Text read = UnscrambleCookieValue(garbage, key);
  Check(read.find('\0') == Text::npos, "an unscrambled value holds no zero byte");
  return 0;
}
