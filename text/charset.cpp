#include <cerrno>
#include <iconv.h>

#include "text/text.h"

namespace tarnisk {

namespace {

// Enough for the two conversions the tool makes (at most two enlargements) while bounding the work
// for any other pair, including calls that make no progress at all.
constexpr int MaxConversionCalls = 12;

class Converter {
 public:
  Converter(const char* sourceCharset, const char* targetCharset)
      : handle_(iconv_open(targetCharset, sourceCharset)) {}
  ~Converter() {
    if (IsOpen()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool IsOpen() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t Handle() const { return handle_; }

 private:
  iconv_t handle_;
};

ByteArray ConvertAll(iconv_t converter, const std::string& input) {
  const std::size_t n = input.size();
  std::string output(n, '\0');
  // iconv takes a non-const input pointer but only reads through it.
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = n;
  std::size_t written = 0;
  for (int call = 1; call <= MaxConversionCalls; ++call) {
    char* out = output.data() + written;
    std::size_t outLeft = output.size() - written;
    const std::size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
    written = static_cast<std::size_t>(out - output.data());
    if (result != static_cast<std::size_t>(-1)) {
      output.resize(written);
      return ByteArray{std::move(output)};
    }
    if (errno != E2BIG || call == MaxConversionCalls) break;
    output.resize(output.size() + n / 2 + 128);
  }
  return ByteArray{};
}

}  // namespace

ByteArray ConvertCharset(const ByteArray& input, const char* sourceCharset, const char* targetCharset) {
  if (sourceCharset == nullptr || targetCharset == nullptr) return ByteArray{};
  const Converter converter(sourceCharset, targetCharset);
  if (!converter.IsOpen() || input.bytes.empty()) return ByteArray{};
  return ConvertAll(converter.Handle(), input.bytes);
}

Text Utf8ToLocal(const ByteArray& utf8) {
  return BytesToText(ConvertCharset(utf8, "UTF-8", "GB18030"));
}

Text PercentEncode(std::string_view text, char spaceReplacement) {
  static constexpr char HexDigits[] = "0123456789ABCDEF";
  Text encoded;
  encoded.reserve(text.size());
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    const bool kept = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                      (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_';
    if (kept) {
      encoded.push_back(c);
    } else if (byte == ' ') {
      // A text holds no zero byte, so a zero replacement drops the space.
      if (spaceReplacement != '\0') encoded.push_back(spaceReplacement);
    } else {
      encoded.push_back('%');
      encoded.push_back(HexDigits[byte >> 4]);
      encoded.push_back(HexDigits[byte & 0x0F]);
    }
  }
  return encoded;
}

Text EncodeKeyword(std::string_view keyword) {
  return PercentEncode(BytesToText(ConvertCharset(TextToBytes(keyword), "GB18030", "UTF-8")), '+');
}

}  // namespace tarnisk
