#pragma once
// The text toolkit: byte-oriented GB18030 text with 1-based positions, marker extraction,
// character-set conversion and keyword encoding.
//
// Searching, replacing, splitting and case folding walk a text by units: a byte below 0x80 is a
// one-byte unit, a byte of 0x80 or above starts a two-byte unit with whatever byte follows it.
// Cutting (TextLeft, TextRight, TextMid, TextRemoveSpan) counts plain bytes.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tarnisk {

// GB18030 bytes, never holding a zero byte. The empty text stands for a missing one too.
using Text = std::string;

// A counted byte sequence that may hold zero bytes (response bodies, conversion input and output).
struct ByteArray {
  std::string bytes;
  bool operator==(const ByteArray&) const = default;
};

// Lists are appended to and indexed from 1 by the system's rules: entry i lives at [i - 1].
using TextList = std::vector<Text>;
using IntegerList = std::vector<std::int32_t>;

inline constexpr int NotFound = -1;

int TextLength(std::string_view text);
bool TextEquals(std::string_view a, std::string_view b);
Text TextConcatViews(std::initializer_list<std::string_view> parts);
template <typename... Parts>
Text TextConcat(const Parts&... parts) {
  return TextConcatViews({std::string_view(parts)...});
}
int TextFind(std::string_view text, std::string_view sought, int start = 1, bool ignoreCase = false);
int TextFindLast(std::string_view text, std::string_view sought);
Text TextLeft(std::string_view text, int count);
Text TextRight(std::string_view text, int count);
Text TextMid(std::string_view text, int start, int count);
Text TextReplaceAll(std::string_view text, std::string_view sought, std::string_view replacement);
Text TextRemoveSpan(std::string_view text, int start, int count);
TextList TextSplit(std::string_view text, std::string_view delimiter);
Text TextToLowerAscii(std::string_view text);
int TextFirstByteCode(std::string_view text);
Text TextFromByteCode(int code);
Text BlankText(int count);
double TextToNumber(std::string_view text);
Text IntegerToText(std::int32_t value);
Text NumberToText(double value);
// Toward zero; values beyond the 32-bit range (and NaN) saturate instead of being undefined.
std::int32_t TruncateToInteger(double value);

ByteArray TextToBytes(std::string_view text);
Text BytesToText(const ByteArray& bytes);
ByteArray ZeroBytes(int count);
int BytesLength(const ByteArray& bytes);
ByteArray BytesLeft(const ByteArray& bytes, int count);
ByteArray BytesConcatArrays(std::initializer_list<const ByteArray*> parts);
template <typename... Parts>
ByteArray BytesConcat(const Parts&... parts) {
  return BytesConcatArrays({&parts...});
}

// The text between a start and an end marker: forward takes the first start marker and the first end
// marker after it; from the end takes the last end marker and the last start marker before it.
Text ExtractBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                    bool fromEnd);

// Whole-buffer iconv conversion; the empty array on any failure.
ByteArray ConvertCharset(const ByteArray& input, const char* sourceCharset, const char* targetCharset);
Text Utf8ToLocal(const ByteArray& utf8);
Text PercentEncode(std::string_view text, char spaceReplacement);
Text EncodeKeyword(std::string_view keyword);

}  // namespace tarnisk
