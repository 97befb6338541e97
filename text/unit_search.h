#pragma once
// Searching by units, shared by the search, replace and split primitives. Internal to text/.

#include <cstddef>
#include <string_view>
#include <vector>

namespace tarnisk::unit_search {

inline constexpr std::size_t None = static_cast<std::size_t>(-1);

// Yields every byte-exact occurrence of a needle, in increasing order of position. memmem does the
// work while restarts stay cheap; a needle that keeps matching where the unit walk refuses it, or
// that overlaps itself, would make every restart cost the needle's length again, so once that
// overhead passes the haystack's length (plus a little) the rest is scanned with KMP, which reads
// each byte once.
class Occurrences {
 public:
  Occurrences(std::string_view haystack, std::string_view needle);

  // The first occurrence starting at `from` or later, or None. Each call passes a `from` greater
  // than the occurrence the previous call returned.
  std::size_t Next(std::size_t from);

 private:
  std::size_t NextByMemmem(std::size_t from);
  std::size_t NextByKmp(std::size_t from);
  void StartKmp(std::size_t from);

  std::string_view haystack_;
  std::string_view needle_;
  std::size_t overhead_ = 0;
  bool kmp_ = false;
  std::vector<std::size_t> border_;
  std::size_t scanned_ = 0;
  std::size_t matched_ = 0;
};

// Tells whether a position starts a unit of the walk that begins at a given position. A byte below
// 0x80 always ends a unit, so only the run of bytes of 0x80 and above before the position matters,
// and never further back than the last position already classified: linear over a whole search.
class UnitStarts {
 public:
  UnitStarts(std::string_view text, std::size_t walkStart)
      : bytes_(reinterpret_cast<const unsigned char*>(text.data())), known_(walkStart) {}

  // Positions are asked in increasing order, none before the last Restart.
  bool IsStart(std::size_t position) {
    std::size_t runStart = position;
    while (runStart > known_ && bytes_[runStart - 1] >= 0x80) --runStart;
    const bool start = (position - runStart) % 2 == 0;
    known_ = start ? position : position + 1;
    return start;
  }

  // The walk goes on from this position whatever the bytes before it (after a match).
  void Restart(std::size_t position) { known_ = position; }

 private:
  const unsigned char* bytes_;
  std::size_t known_;
};

// The first occurrence at `from` or later that starts a unit, or None.
inline std::size_t NextUnitMatch(Occurrences& occurrences, UnitStarts& units, std::size_t from) {
  for (std::size_t at = occurrences.Next(from); at != None; at = occurrences.Next(at + 1)) {
    if (units.IsStart(at)) return at;
  }
  return None;
}

}  // namespace tarnisk::unit_search
