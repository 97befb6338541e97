#include <boost/regex.hpp>

#include <algorithm>
#include <exception>

#include "search/search.h"

namespace tarnisk {

namespace {

// GB18030 bytes of the page markers.
constexpr std::string_view kNameMarker = "\xCE\xC4\xBC\xFE\xC3\xFB:";             // 文件名:
constexpr std::string_view kSizeMarker = "\xCE\xC4\xBC\xFE\xB4\xF3\xD0\xA1:";     // 文件大小:
constexpr std::string_view kSharerMarker = "\xB7\xD6\xCF\xED\xD5\xDF:";           // 分享者:

// Writes text without any occurrence of tag into into, found as TextReplaceAll finds them (unit
// starts, left to right, the walk going on after each occurrence). into keeps its capacity between
// parses: a result page is about a megabyte, and a fresh copy per parse costs more in page faults
// than the whole parse.
void RemoveTag(std::string_view text, std::string_view tag, Text& into) {
  into.clear();
  int from = 1;
  for (int at = TextFind(text, tag, from); at != NotFound; at = TextFind(text, tag, from)) {
    into.append(text.substr(static_cast<std::size_t>(from - 1), static_cast<std::size_t>(at - from)));
    from = at + TextLength(tag);
  }
  into.append(text.substr(std::min(text.size(), static_cast<std::size_t>(from - 1))));
}

}  // namespace

Text NamePattern() { return TextConcat(kNameMarker, "(.*?)", kSizeMarker); }

Text SizePattern() { return TextConcat(kSizeMarker, "(.*?)", kSharerMarker); }

// The host goes in unescaped, so each of its dots matches any byte.
Text LinkPattern() { return TextConcat(StoredLinkPrefix(), "(.*?)\""); }

void CollectMatches(std::string_view text, const Text& pattern, TextList& list) {
  if (text.empty()) return;
  // Boost.Regex reports a bad pattern, and a search it abandons as too complex, by throwing; either
  // ends the collection with what was found so far.
  try {
    const boost::regex expression(pattern, boost::regex::perl);
    // The iterator resumes where the previous match ended and steps past an empty match, so the
    // collection always ends.
    boost::cregex_iterator match(text.data(), text.data() + text.size(), expression);
    const boost::cregex_iterator end;
    for (; match != end; ++match) {
      const auto& capture = (*match)[1];
      if (capture.matched) {
        list.emplace_back(capture.first, capture.second);
      } else {
        list.emplace_back();
      }
    }
  } catch (const std::exception&) {
  }
}

void ParseResultPage(AppState& state, WindowControls& window) {
  // The page without "<em>", then without "</em>" as well.
  thread_local Text withoutOpening;
  thread_local Text stripped;
  RemoveTag(state.CurrentPageHtml, "<em>", withoutOpening);
  RemoveTag(withoutOpening, "</em>", stripped);
  window.DeleteAllRows();
  state.ResultNames.clear();
  state.ResultSizes.clear();
  state.ResultLinks.clear();
  CollectMatches(stripped, NamePattern(), state.ResultNames);
  CollectMatches(stripped, SizePattern(), state.ResultSizes);
  CollectMatches(stripped, LinkPattern(), state.ResultLinks);
  const std::size_t rows = state.ResultNames.size();
  for (std::size_t i = 1; i <= rows; ++i) {
    const int row = static_cast<int>(i - 1);
    window.InsertRow(static_cast<int>(i), state.ResultNames[i - 1]);
    // A page may give fewer sizes than names: the rows beyond the last size show an empty cell.
    window.SetCellText(row, 1, i <= state.ResultSizes.size() ? state.ResultSizes[i - 1] : Text());
  }
}

}  // namespace tarnisk
