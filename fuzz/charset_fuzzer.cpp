// ConvertCharset both ways on random bytes: what converts comes back unchanged, well-formed UTF-8
// always converts, and the keyword encoding decodes back to the keyword's UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/model.h"
#include "text/text.h"

namespace {

using namespace tarnisk;
using tarnisk::fuzz::Check;

// Well-formed UTF-8 by RFC 3629: no over-long form, no surrogate, nothing above U+10FFFF.
bool WellFormedUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes PercentEncode with "+" for a space; a byte it would never write makes the result differ.
std::string PercentDecode(std::string_view encoded) {
  std::string decoded;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_';
    if (plain) {
      decoded.push_back(c);
    } else if (c == '+') {
      decoded.push_back(' ');
    } else if (c == '%' && i + 2 < encoded.size() && HexValue(encoded[i + 1]) >= 0 &&
               HexValue(encoded[i + 2]) >= 0) {
      decoded.push_back(static_cast<char>(HexValue(encoded[i + 1]) * 16 + HexValue(encoded[i + 2])));
      i += 2;
    } else {
      decoded.append("\x01?bad");
    }
  }
  return decoded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteArray input{std::string(reinterpret_cast<const char*>(data), size)};

  const ByteArray local = ConvertCharset(input, "UTF-8", "GB18030");
  Check(local.bytes.empty() == (input.bytes.empty() || !WellFormedUtf8(input.bytes)),
        "UTF-8 converts exactly when it is well formed");
  if (!local.bytes.empty()) {
    Check(ConvertCharset(local, "GB18030", "UTF-8") == input, "UTF-8 round trip");
    Check(Utf8ToLocal(input) == BytesToText(local), "Utf8ToLocal");
  }

  const ByteArray utf8 = ConvertCharset(input, "GB18030", "UTF-8");
  if (!utf8.bytes.empty()) {
    Check(WellFormedUtf8(utf8.bytes), "GB18030 gives well-formed UTF-8");
    Check(ConvertCharset(utf8, "UTF-8", "GB18030") == input, "GB18030 round trip");
  }

  Check(ConvertCharset(input, "UTF-8", "no-such-charset").bytes.empty(), "unknown charset");

  const Text keyword = BytesToText(input);
  const Text encoded = EncodeKeyword(keyword);
  Check(PercentDecode(encoded) == BytesToText(ConvertCharset(TextToBytes(keyword), "GB18030", "UTF-8")),
        "EncodeKeyword decodes to the keyword's UTF-8");
  return 0;
}
