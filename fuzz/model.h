#pragma once
// Slow byte-by-byte models of the unit walk and the text primitives, written from their contracts
// alone, for the fuzzers to hold the real implementations against. Nothing here is fast on
// purpose: every step looks at one byte, so a fault of the fast search cannot hide in both.

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tarnisk::fuzz {

// Stops the run with a message that names what disagreed; libFuzzer then keeps the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "model disagrees: %s\n", what);
  std::abort();
}

inline void Check(bool holds, const char* what) {
  if (!holds) Fail(what);
}

// The byte offsets (0-based) at which a walk over text starting at offset first tries a match.
inline std::vector<std::size_t> ModelUnitStarts(std::string_view text, std::size_t first) {
  std::vector<std::size_t> starts;
  std::size_t i = first;
  while (i < text.size()) {
    starts.push_back(i);
    i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
  }
  return starts;
}

inline char ModelFold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline bool ModelSameAt(std::string_view text, std::size_t at, std::string_view sought, bool ignoreCase) {
  if (text.size() - at < sought.size()) return false;
  for (std::size_t k = 0; k < sought.size(); ++k) {
    char a = text[at + k];
    char b = sought[k];
    if (ignoreCase) {
      a = ModelFold(a);
      b = ModelFold(b);
    }
    if (a != b) return false;
  }
  return true;
}

inline int ModelFind(std::string_view text, std::string_view sought, int start = 1, bool ignoreCase = false) {
  const long long first = start < 1 ? 1 : start;
  if (first > static_cast<long long>(text.size())) return -1;
  if (sought.empty()) return 1;
  for (std::size_t at : ModelUnitStarts(text, static_cast<std::size_t>(first - 1))) {
    if (ModelSameAt(text, at, sought, ignoreCase)) return static_cast<int>(at + 1);
  }
  return -1;
}

inline int ModelFindLast(std::string_view text, std::string_view sought) {
  if (text.empty()) return -1;
  if (sought.empty()) return 1;
  int found = -1;
  for (std::size_t at : ModelUnitStarts(text, 0)) {
    if (ModelSameAt(text, at, sought, false)) found = static_cast<int>(at + 1);
  }
  return found;
}

inline std::string ModelLeft(std::string_view text, int count) {
  if (count <= 0) return std::string();
  if (static_cast<long long>(count) >= static_cast<long long>(text.size())) return std::string(text);
  return std::string(text.substr(0, static_cast<std::size_t>(count)));
}

inline std::string ModelRight(std::string_view text, int count) {
  if (count <= 0) return std::string();
  if (static_cast<long long>(count) >= static_cast<long long>(text.size())) return std::string(text);
  return std::string(text.substr(text.size() - static_cast<std::size_t>(count)));
}

inline std::string ModelMid(std::string_view text, int start, int count) {
  if (start < 1 || static_cast<long long>(start) > static_cast<long long>(text.size()) || count <= 0) {
    return std::string();
  }
  std::string piece;
  for (long long i = start - 1; i < static_cast<long long>(text.size()) && i < start - 1LL + count; ++i) {
    piece.push_back(text[static_cast<std::size_t>(i)]);
  }
  return piece;
}

inline std::string ModelRemoveSpan(std::string_view text, int start, int count) {
  const long long length = static_cast<long long>(text.size());
  long long offset = start - 1LL;
  if (offset < 0) offset = 0;
  if (offset > length) offset = length;
  if (count <= 0) return std::string(text);
  long long removed = count < length - offset ? count : length - offset;
  std::string kept;
  for (long long i = 0; i < length; ++i) {
    if (i < offset || i >= offset + removed) kept.push_back(text[static_cast<std::size_t>(i)]);
  }
  return kept;
}

inline std::string ModelReplaceAll(std::string_view text, std::string_view sought, std::string_view with) {
  if (text.empty() || sought.empty()) return std::string(text);
  std::string result;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.size() - i < sought.size()) {
      result.append(text.substr(i));
      break;
    }
    if (ModelSameAt(text, i, sought, false)) {
      result.append(with);
      i += sought.size();
      continue;
    }
    std::size_t unit = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
    if (unit > text.size() - i) unit = text.size() - i;
    result.append(text.substr(i, unit));
    i += unit;
  }
  return result;
}

inline std::vector<std::string> ModelSplit(std::string_view text, std::string_view delimiter) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  if (delimiter.empty()) return {std::string(text)};
  std::size_t pieceStart = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    if (ModelSameAt(text, i, delimiter, false)) {
      pieces.emplace_back(text.substr(pieceStart, i - pieceStart));
      i += delimiter.size();
      pieceStart = i;
      continue;
    }
    i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
  }
  if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

inline std::string ModelLower(std::string_view text) {
  std::string lowered(text);
  std::size_t i = 0;
  while (i < lowered.size()) {
    if (static_cast<unsigned char>(lowered[i]) >= 0x80) {
      i += 2;
      continue;
    }
    lowered[i] = ModelFold(lowered[i]);
    ++i;
  }
  return lowered;
}

// The two modes of marker extraction, composed of the model primitives step by step as they are
// defined, with no test of whether a marker was found.
inline std::string ModelExtractBetween(std::string_view text, std::string_view startMarker,
                                       std::string_view endMarker, bool fromEnd) {
  const int length = static_cast<int>(text.size());
  const int k = static_cast<int>(startMarker.size());
  if (!fromEnd) {
    const int p = ModelFind(text, startMarker);
    const std::string rest = ModelMid(text, p + k, length);
    const int q = ModelFind(rest, endMarker);
    return ModelLeft(rest, q - 1);
  }
  const int q = ModelFindLast(text, endMarker);
  const std::string head = ModelLeft(text, q - 1);
  const int p = ModelFindLast(head, startMarker);
  return ModelRight(head, static_cast<int>(head.size()) - (p + k - 1));
}

}  // namespace tarnisk::fuzz
