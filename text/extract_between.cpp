#include "text/text.h"

namespace tarnisk {

// Composed only of the primitives and never checks whether a marker was found: callers rely on
// what the primitives' edge results make of a missing marker.
Text ExtractBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker,
                    bool fromEnd) {
  if (!fromEnd) {
    const int start = TextFind(text, startMarker);
    const Text rest = TextMid(text, start + TextLength(startMarker), TextLength(text));
    const int end = TextFind(rest, endMarker);
    return TextLeft(rest, end - 1);
  }
  const int end = TextFindLast(text, endMarker);
  const Text head = TextLeft(text, end - 1);
  const int start = TextFindLast(head, startMarker);
  return TextRight(head, TextLength(head) - (start + TextLength(startMarker) - 1));
}

}  // namespace tarnisk
