#include "text/unit_search.h"

#include <cstring>

namespace tarnisk::unit_search {

namespace {

// Charged per memmem call beyond the needle's length: the call and its set-up.
constexpr std::size_t CallCost = 16;
// Restarts allowed on top of the haystack's length, so that short texts never build a KMP table.
constexpr std::size_t OverheadSlack = 1024;

}  // namespace

Occurrences::Occurrences(std::string_view haystack, std::string_view needle)
    : haystack_(haystack), needle_(needle) {}

std::size_t Occurrences::Next(std::size_t from) {
  if (needle_.empty() || from > haystack_.size() || haystack_.size() - from < needle_.size()) {
    return None;
  }
  return kmp_ ? NextByKmp(from) : NextByMemmem(from);
}

std::size_t Occurrences::NextByMemmem(std::size_t from) {
  overhead_ += needle_.size() + CallCost;
  if (overhead_ > haystack_.size() + OverheadSlack) {
    StartKmp(from);
    return NextByKmp(from);
  }
  const void* found = memmem(haystack_.data() + from, haystack_.size() - from, needle_.data(),
                             needle_.size());
  if (found == nullptr) return None;
  return static_cast<std::size_t>(static_cast<const char*>(found) - haystack_.data());
}

void Occurrences::StartKmp(std::size_t from) {
  kmp_ = true;
  const std::size_t n = needle_.size();
  // border_[k]: length of the longest proper border of the needle's first k bytes.
  border_.assign(n + 1, 0);
  std::size_t k = 0;
  for (std::size_t i = 1; i < n; ++i) {
    while (k > 0 && needle_[i] != needle_[k]) k = border_[k];
    if (needle_[i] == needle_[k]) ++k;
    border_[i + 1] = k;
  }
  scanned_ = from;
  matched_ = 0;
}

std::size_t Occurrences::NextByKmp(std::size_t from) {
  const std::size_t n = needle_.size();
  if (from >= scanned_) {
    scanned_ = from;
    matched_ = 0;
  } else {
    // Keep only the partial matches that begin at `from` or later; they are the borders.
    while (matched_ > 0 && scanned_ - matched_ < from) matched_ = border_[matched_];
  }
  while (scanned_ < haystack_.size()) {
    const char c = haystack_[scanned_];
    while (matched_ > 0 && needle_[matched_] != c) matched_ = border_[matched_];
    if (needle_[matched_] == c) ++matched_;
    ++scanned_;
    if (matched_ == n) return scanned_ - n;
  }
  return None;
}

}  // namespace tarnisk::unit_search
