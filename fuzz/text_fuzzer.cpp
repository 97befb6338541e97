// The text primitives and marker extraction against the slow models of model.h: random texts,
// markers, positions and counts, the positions and counts reaching past both ends and to the
// limits of a 32-bit integer.

#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

#include "fuzz/model.h"
#include "text/text.h"

namespace {

using namespace tarnisk;
using namespace tarnisk::fuzz;

// Random bytes seldom repeat a marker; a small alphabet of ASCII bytes, lead bytes and the bytes
// that matter to the walk makes matches, half matches and cut units common.
constexpr char Alphabet[] = {'a', 'b', 'A', '[', ']', '=', '/', ':', '\\', '\x81', '\x5C', '\xD6', '\xFF', '\x80', '>', '<'};

std::string DrawText(FuzzedDataProvider& data, bool squeezed, std::size_t maxLength) {
  std::string text = data.ConsumeRandomLengthString(maxLength);
  if (squeezed) {
    for (char& c : text) c = Alphabet[static_cast<unsigned char>(c) % sizeof Alphabet];
  }
  return text;
}

int DrawPosition(FuzzedDataProvider& data, int length) {
  switch (data.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: return INT_MIN;
    case 1: return INT_MAX;
    case 2: return INT_MAX - data.ConsumeIntegralInRange<int>(0, 3);
    default: return data.ConsumeIntegralInRange<int>(-3, length + 3);
  }
}

// The number read the way the contract describes it: folding, blanks, the longest prefix, then the
// C library's correctly rounded reading of that prefix (the fuzzer never changes the C locale).
double ModelNumber(std::string_view text) {
  std::string folded;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80 || i + 1 == text.size()) {
      folded.push_back(text[i]);
      ++i;
      continue;
    }
    const auto trail = static_cast<unsigned char>(text[i + 1]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) folded.push_back(static_cast<char>(trail - 0x80));
    else if (lead == 0xA1 && trail == 0xA1) folded.push_back(' ');
    else if (lead == 0xA1 && trail == 0xAB) folded.push_back('~');
    else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) folded.push_back('*');
    else folded.append(text.substr(i, 2));
    i += 2;
  }
  std::size_t at = 0;
  while (at < folded.size() && std::strchr(" \t\n\v\f\r", folded[at]) != nullptr && folded[at] != '\0') ++at;
  std::string prefix;
  if (at < folded.size() && (folded[at] == '+' || folded[at] == '-')) prefix.push_back(folded[at++]);
  bool digits = false;
  bool point = false;
  while (at < folded.size() && ((folded[at] >= '0' && folded[at] <= '9') || (folded[at] == '.' && !point))) {
    if (folded[at] == '.') point = true;
    else digits = true;
    prefix.push_back(folded[at++]);
  }
  if (!digits) return 0.0;
  if (at < folded.size() && std::strchr("eEdD", folded[at]) != nullptr && folded[at] != '\0') {
    std::string exponent = "e";
    std::size_t j = at + 1;
    if (j < folded.size() && (folded[j] == '+' || folded[j] == '-')) exponent.push_back(folded[j++]);
    std::size_t exponentDigits = 0;
    while (j < folded.size() && folded[j] >= '0' && folded[j] <= '9') {
      exponent.push_back(folded[j++]);
      ++exponentDigits;
    }
    if (exponentDigits > 0) prefix += exponent;
  }
  errno = 0;
  return std::strtod(prefix.c_str(), nullptr);
}

void CheckSearching(std::string_view text, std::string_view sought, int start, bool ignoreCase) {
  Check(TextFind(text, sought, start, ignoreCase) == ModelFind(text, sought, start, ignoreCase), "TextFind");
  Check(TextFindLast(text, sought) == ModelFindLast(text, sought), "TextFindLast");
  Check(TextReplaceAll(text, sought, "<>") == ModelReplaceAll(text, sought, "<>"), "TextReplaceAll");
  Check(TextReplaceAll(text, sought, "") == ModelReplaceAll(text, sought, ""), "TextReplaceAll to empty");
  Check(TextSplit(text, sought) == ModelSplit(text, sought), "TextSplit");
}

void CheckCutting(std::string_view text, int position, int count) {
  Check(TextLeft(text, count) == ModelLeft(text, count), "TextLeft");
  Check(TextRight(text, count) == ModelRight(text, count), "TextRight");
  Check(TextMid(text, position, count) == ModelMid(text, position, count), "TextMid");
  Check(TextRemoveSpan(text, position, count) == ModelRemoveSpan(text, position, count), "TextRemoveSpan");
  ByteArray bytes = TextToBytes(text);
  Check(bytes.bytes == text, "TextToBytes");
  Check(BytesLeft(bytes, count).bytes == ModelLeft(text, count), "BytesLeft");
  Check(BytesToText(bytes) == std::string(text.substr(0, text.find('\0'))), "BytesToText");
}

void CheckBytesAndNumbers(std::string_view text, int count) {
  Check(TextToLowerAscii(text) == ModelLower(text), "TextToLowerAscii");
  const int code = TextFirstByteCode(text);
  Check(code == (text.empty() ? 0 : static_cast<signed char>(text[0])), "TextFirstByteCode");
  if (!text.empty() && text[0] != '\0') Check(TextFromByteCode(code) == text.substr(0, 1), "TextFromByteCode");
  Check(TextFromByteCode(count) == (count % 256 == 0 ? std::string() : std::string(1, static_cast<char>(count))),
        "TextFromByteCode of an integer");
  const int small = count < -8 ? -8 : (count > 4096 ? 4096 : count);
  Check(BlankText(small) == std::string(small > 0 ? small : 0, ' '), "BlankText");
  Check(ZeroBytes(small).bytes == std::string(small > 0 ? small : 0, '\0'), "ZeroBytes");
  Check(IntegerToText(count) == std::to_string(count), "IntegerToText");

  const double number = TextToNumber(text);
  const double expected = ModelNumber(text);
  Check(number == expected && std::signbit(number) == std::signbit(expected), "TextToNumber");
  const std::int32_t truncated = TruncateToInteger(number);
  if (number >= 2147483648.0) Check(truncated == INT_MAX, "TruncateToInteger above");
  else if (number <= -2147483649.0) Check(truncated == INT_MIN, "TruncateToInteger below");
  else Check(truncated == static_cast<std::int32_t>(std::trunc(number)), "TruncateToInteger");
  if (std::isfinite(number)) {
    const Text printed = NumberToText(number);
    char reference[64];
    std::snprintf(reference, sizeof reference, "%.13g", number);
    Check(std::strtod(printed.c_str(), nullptr) == std::strtod(reference, nullptr), "NumberToText value");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const bool squeezed = data.ConsumeBool();
  const std::string text = DrawText(data, squeezed, 512);
  const std::string startMarker = DrawText(data, squeezed, 8);
  const std::string endMarker = DrawText(data, squeezed, 8);
  const bool ignoreCase = data.ConsumeBool();
  const int position = DrawPosition(data, static_cast<int>(text.size()));
  const int count = DrawPosition(data, static_cast<int>(text.size()));

  CheckSearching(text, startMarker, position, ignoreCase);
  CheckSearching(text, endMarker, count, !ignoreCase);
  CheckCutting(text, position, count);
  CheckBytesAndNumbers(text, count);
  for (bool fromEnd : {false, true}) {
    Check(ExtractBetween(text, startMarker, endMarker, fromEnd) ==
              ModelExtractBetween(text, startMarker, endMarker, fromEnd),
          fromEnd ? "ExtractBetween from the end" : "ExtractBetween forward");
  }
  Check(TextConcat(text, startMarker, endMarker) == text + startMarker + endMarker, "TextConcat");
  Check(TextEquals(text, startMarker) == (text == startMarker), "TextEquals");
  Check(TextLength(text) == static_cast<int>(text.size()), "TextLength");
  return 0;
}
