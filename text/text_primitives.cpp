#include <algorithm>
#include <climits>
#include <cstdint>

#include "text/text.h"
#include "text/unit_search.h"

namespace tarnisk {

namespace {

using unit_search::None;

// Positions are 32-bit; a longer text reports the largest one rather than wrapping.
int CountOf(std::size_t size) {
  return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

bool IsUpperAscii(unsigned char byte) { return byte >= 'A' && byte <= 'Z'; }

// Case-insensitive comparison folds ASCII letters byte by byte, wherever they stand, so folding
// both sides once turns it into the exact search; no byte changes from below to above 0x80.
Text FoldAsciiLetters(std::string_view text) {
  Text folded(text);
  for (char& c : folded) {
    if (IsUpperAscii(static_cast<unsigned char>(c))) c = static_cast<char>(c + 0x20);
  }
  return folded;
}

bool HasAsciiLetter(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return IsUpperAscii(byte) || (byte >= 'a' && byte <= 'z');
  });
}

std::size_t FirstUnitMatch(std::string_view region, std::string_view sought) {
  unit_search::Occurrences occurrences(region, sought);
  unit_search::UnitStarts units(region, 0);
  return unit_search::NextUnitMatch(occurrences, units, 0);
}

}  // namespace

int TextLength(std::string_view text) { return CountOf(text.size()); }

bool TextEquals(std::string_view a, std::string_view b) { return a == b; }

Text TextConcatViews(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (std::string_view part : parts) total += part.size();
  Text result;
  result.reserve(total);
  for (std::string_view part : parts) result.append(part);
  return result;
}

int TextFind(std::string_view text, std::string_view sought, int start, bool ignoreCase) {
  const std::size_t offset = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (offset >= text.size()) return NotFound;
  if (sought.empty()) return 1;
  const std::string_view region = text.substr(offset);
  std::size_t found;
  if (ignoreCase && HasAsciiLetter(sought)) {
    found = FirstUnitMatch(FoldAsciiLetters(region), FoldAsciiLetters(sought));
  } else {
    found = FirstUnitMatch(region, sought);
  }
  return found == None ? NotFound : CountOf(offset + found + 1);
}

int TextFindLast(std::string_view text, std::string_view sought) {
  if (text.empty()) return NotFound;
  if (sought.empty()) return 1;
  unit_search::Occurrences occurrences(text, sought);
  unit_search::UnitStarts units(text, 0);
  std::size_t last = None;
  for (std::size_t at = unit_search::NextUnitMatch(occurrences, units, 0); at != None;
       at = unit_search::NextUnitMatch(occurrences, units, at + 1)) {
    last = at;
  }
  return last == None ? NotFound : CountOf(last + 1);
}

Text TextLeft(std::string_view text, int count) {
  if (count <= 0) return Text();
  return Text(text.substr(0, static_cast<std::size_t>(count)));
}

Text TextRight(std::string_view text, int count) {
  if (count <= 0) return Text();
  const std::size_t kept = std::min(text.size(), static_cast<std::size_t>(count));
  return Text(text.substr(text.size() - kept));
}

Text TextMid(std::string_view text, int start, int count) {
  if (start < 1 || count <= 0 || static_cast<std::size_t>(start) > text.size()) return Text();
  return Text(text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(count)));
}

Text TextReplaceAll(std::string_view text, std::string_view sought, std::string_view replacement) {
  if (text.empty() || sought.empty()) return Text(text);
  unit_search::Occurrences occurrences(text, sought);
  unit_search::UnitStarts units(text, 0);
  Text result;
  result.reserve(text.size());
  std::size_t copied = 0;
  for (std::size_t at = unit_search::NextUnitMatch(occurrences, units, 0); at != None;
       at = unit_search::NextUnitMatch(occurrences, units, copied)) {
    result.append(text, copied, at - copied);
    result.append(replacement);
    copied = at + sought.size();
    units.Restart(copied);
  }
  result.append(text, copied);
  return result;
}

Text TextRemoveSpan(std::string_view text, int start, int count) {
  if (count <= 0) return Text(text);
  const std::size_t offset =
      start <= 1 ? 0 : std::min(text.size(), static_cast<std::size_t>(start) - 1);
  Text result(text.substr(0, offset));
  const std::size_t removed = std::min(static_cast<std::size_t>(count), text.size() - offset);
  result.append(text, offset + removed);
  return result;
}

TextList TextSplit(std::string_view text, std::string_view delimiter) {
  TextList parts;
  if (text.empty()) return parts;
  if (delimiter.empty()) {
    parts.emplace_back(text);
    return parts;
  }
  unit_search::Occurrences occurrences(text, delimiter);
  unit_search::UnitStarts units(text, 0);
  std::size_t partStart = 0;
  for (std::size_t at = unit_search::NextUnitMatch(occurrences, units, 0); at != None;
       at = unit_search::NextUnitMatch(occurrences, units, partStart)) {
    parts.emplace_back(text.substr(partStart, at - partStart));
    partStart = at + delimiter.size();
    units.Restart(partStart);
  }
  if (partStart < text.size()) parts.emplace_back(text.substr(partStart));
  return parts;
}

Text TextToLowerAscii(std::string_view text) {
  Text result(text);
  for (std::size_t i = 0; i < result.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(result[i]);
    if (byte >= 0x80) {
      ++i;
    } else if (IsUpperAscii(byte)) {
      result[i] = static_cast<char>(byte + 0x20);
    }
  }
  return result;
}

int TextFirstByteCode(std::string_view text) {
  if (text.empty()) return 0;
  return static_cast<signed char>(text.front());
}

Text TextFromByteCode(int code) {
  const unsigned char byte = static_cast<unsigned char>(code & 0xFF);
  if (byte == 0) return Text();
  return Text(1, static_cast<char>(byte));
}

Text BlankText(int count) {
  if (count <= 0) return Text();
  return Text(static_cast<std::size_t>(count), ' ');
}

ByteArray TextToBytes(std::string_view text) { return ByteArray{std::string(text)}; }

Text BytesToText(const ByteArray& bytes) {
  return Text(bytes.bytes.substr(0, bytes.bytes.find('\0')));
}

ByteArray ZeroBytes(int count) {
  if (count <= 0) return ByteArray{};
  return ByteArray{std::string(static_cast<std::size_t>(count), '\0')};
}

int BytesLength(const ByteArray& bytes) { return CountOf(bytes.bytes.size()); }

ByteArray BytesLeft(const ByteArray& bytes, int count) {
  if (count <= 0) return ByteArray{};
  return ByteArray{bytes.bytes.substr(0, static_cast<std::size_t>(count))};
}

ByteArray BytesConcatArrays(std::initializer_list<const ByteArray*> parts) {
  std::size_t total = 0;
  for (const ByteArray* part : parts) total += part->bytes.size();
  ByteArray result;
  result.bytes.reserve(total);
  for (const ByteArray* part : parts) result.bytes.append(part->bytes);
  return result;
}

}  // namespace tarnisk
